// libFuzzer entry point: arbitrary bytes as a source whose volumes are searched for where no
// partition table leads to them, boot sectors and their backups tried at every candidate.
#include "fuzz/Harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RunSearchHarness(data, size);
  return 0;
}
