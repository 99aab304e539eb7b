#include <cstdio>
#include <cstdlib>
#include <string>

#include "rpn_path_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure;
  if (!CheckRpnPathInput(data, size, &failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
