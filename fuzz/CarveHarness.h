#pragma once
// Runs the carving of files found by content on arbitrary bytes, taken as the bytes of one
// candidate file from its first byte: the recognition of its start, the measurement of every
// format family, and the search for embedded previews. Every result must lie within the
// bytes, and no measurement may read more than its budget from them; a breach aborts, so
// that the fuzzer reports it. A 512-byte block that begins with "BADSECT!" cannot be read.

#include <cstddef>
#include <cstdint>

struct CarveHarnessReport {
  bool recognised = false;
  size_t measured = 0;  // families whose measurement found a file
  size_t whole = 0;     // of them, those whose structure checked
};

CarveHarnessReport RunCarveHarness(const uint8_t* data, size_t size);
