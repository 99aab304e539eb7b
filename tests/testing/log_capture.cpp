#include "testing/log_capture.h"

#include <log4cpp/PatternLayout.hh>
#include <log4cpp/StringQueueAppender.hh>

namespace vq_testing {

LogCapture::LogCapture(const std::string& category)
    : category_(log4cpp::Category::getInstance(category)),
      appender_(new log4cpp::StringQueueAppender(category + ".capture")) {
  auto* layout = new log4cpp::PatternLayout();
  layout->setConversionPattern("%p %m");
  appender_->setLayout(layout);
  category_.setAdditivity(false);
  category_.setPriority(log4cpp::Priority::DEBUG);
  category_.addAppender(appender_);
}

LogCapture::~LogCapture() {
  category_.removeAppender(appender_);
}

std::vector<std::string> LogCapture::Take() {
  std::vector<std::string> lines;
  while (!appender_->getQueue().empty()) {
    lines.push_back(appender_->getQueue().front());
    appender_->getQueue().pop();
  }
  return lines;
}

}  // namespace vq_testing
