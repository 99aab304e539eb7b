#include "app/logging_config.h"

#include <iostream>

#include <log4cpp/BasicLayout.hh>
#include <log4cpp/Category.hh>
#include <log4cpp/OstreamAppender.hh>
#include <log4cpp/PatternLayout.hh>
#include <log4cpp/Priority.hh>
#include <log4cpp/RollingFileAppender.hh>

void configureRollingLog(const std::string& fileName) {
  log4cpp::Category& root = log4cpp::Category::getRoot();
  // Configuring the same file again replaces its appender instead of writing
  // every line twice. The old one goes first: appenders are registered
  // process-wide by name.
  if (log4cpp::Appender* previous = root.getAppender(fileName)) {
    root.removeAppender(previous);
  }
  auto* appender = new log4cpp::RollingFileAppender(
      fileName, fileName, kLogMaxFileSize, kLogBackups, /*append=*/true,
      kLogFileMode);
  auto* layout = new log4cpp::PatternLayout();
  layout->setConversionPattern(kLogPattern);
  appender->setLayout(layout);  // The appender owns the layout.

  root.addAppender(appender);  // The root owns the appender.
  root.setPriority(log4cpp::Priority::DEBUG);
  log4cpp::Category::getInstance("transact")
      .setPriority(log4cpp::Priority::WARN);
}

void shutdownLogging() { log4cpp::Category::shutdown(); }

void vq_log4cpp_init(const char* name) {
  auto* appender = new log4cpp::OstreamAppender(name, &std::cout);
  appender->setLayout(new log4cpp::BasicLayout());
  log4cpp::Category& root = log4cpp::Category::getRoot();
  root.addAppender(appender);
  root.setPriority(log4cpp::Priority::DEBUG);
  log4cpp::Category::getInstance(name).debug(
      "log4cpp framework is initialized.");
}
