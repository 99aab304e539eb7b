#include "vqserve/request_log.h"

#include <cerrno>
#include <cstring>

#include "vqserve/json_text.h"

namespace vqtools {

std::unique_ptr<RequestLog> RequestLog::open(const std::string& path,
                                             std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    *error = "cannot open log " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<RequestLog>(new RequestLog(file));
}

std::string RequestLog::format(const RequestRecord& record) {
  std::string line = "{\"page\":" + jsonString(record.page) +
                     ",\"method\":" + jsonString(record.method) +
                     ",\"uri\":" + jsonString(record.uri) +
                     ",\"status\":" + std::to_string(record.status) +
                     ",\"params\":[";
  bool first = true;
  for (const auto& param : record.params) {
    if (!first)
      line.push_back(',');
    first = false;
    line +=
        "[" + jsonString(param.first) + "," + jsonString(param.second) + "]";
  }
  line += "]}";
  return line;
}

void RequestLog::write(const RequestRecord& record) {
  const std::string line = format(record) + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_.get());
  std::fflush(file_.get());
}

}  // namespace vqtools
