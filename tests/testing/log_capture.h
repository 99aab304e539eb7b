#ifndef VQ_TESTING_LOG_CAPTURE_H_
#define VQ_TESTING_LOG_CAPTURE_H_

#include <log4cpp/Category.hh>

#include <string>
#include <vector>

namespace log4cpp {
class StringQueueAppender;
}

namespace vq_testing {

// Captures what one log4cpp category logs, as "<PRIORITY> <message>" lines,
// while the object lives. Sets the category to DEBUG and stops it passing
// lines to its parents; the destructor removes the capturing appender.
class LogCapture {
 public:
  explicit LogCapture(const std::string& category);
  ~LogCapture();

  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  log4cpp::Category& category() { return category_; }
  // The lines logged so far, oldest first; each call takes them.
  std::vector<std::string> Take();

 private:
  log4cpp::Category& category_;
  log4cpp::StringQueueAppender* appender_;  // owned by the category
};

}  // namespace vq_testing

#endif  // VQ_TESTING_LOG_CAPTURE_H_
