// libFuzzer entry point: arbitrary bytes as the bytes of a file found by content.
#include "fuzz/CarveHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunCarveHarness(data, size);
  return 0;
}
