// The libFuzzer entry of one target; VQ_FUZZ_TARGET names its function.
#include <apr_general.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (apr_initialize() != APR_SUCCESS) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string failure;
  if (!vq_fuzz::VQ_FUZZ_TARGET(data, size, &failure)) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
