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

LogCapture::~LogCapture() { category_.removeAppender(appender_); }

std::vector<std::string> LogCapture::Take() {
  std::vector<std::string> lines;
  for (auto& queue = appender_->getQueue(); !queue.empty(); queue.pop())
    lines.push_back(queue.front());
  return lines;
}

}  // namespace vq_testing
