#ifndef VQ_TESTS_HOST_LAUNCH_RECORD_H_
#define VQ_TESTS_HOST_LAUNCH_RECORD_H_

#include <stdlib.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "testing/file_util.h"
#include "testing/wait_for.h"

namespace host_test {

// What argv_recorder wrote: its "arg" and "fd" lines in order, the other
// keys by name.
struct LaunchRecord {
  std::vector<std::string> args, fds;
  std::map<std::string, std::string> values;
};

// Points the recorder of every program started from now on at `file`.
inline void RecordTo(const std::string& file) {
  setenv("VQ_RECORD_FILE", file.c_str(), 1);
  unsetenv("VQ_RECORD_HOLD");
}

// Waits for the record in `file`; an empty record when it never came.
inline LaunchRecord AwaitRecord(const std::string& file) {
  LaunchRecord record;
  if (!vq_testing::WaitFor([&] { return vq_testing::PathExists(file); })) {
    return record;
  }
  std::istringstream lines(vq_testing::ReadFile(file));
  std::string line;
  while (std::getline(lines, line)) {
    const std::size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "arg") record.args.push_back(value);
    else if (key == "fd") record.fds.push_back(value);
    else record.values[key] = value;
  }
  return record;
}

}  // namespace host_test

#endif  // VQ_TESTS_HOST_LAUNCH_RECORD_H_
