// libFuzzer entry point: arbitrary bytes as a volume whose data area is scanned for lost
// folders and for files found by their content.
#include "fuzz/Harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunScanHarness(data, size);
  return 0;
}
