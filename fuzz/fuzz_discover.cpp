// libFuzzer entry point: arbitrary bytes as a source image.
#include "fuzz/Harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunHarness(HarnessVolume::kDiscover, data, size);
  return 0;
}
