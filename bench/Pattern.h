#pragma once
// The content of the benchmark's large files: little-endian 64-bit words, each made from the
// file's seed and the word's position in the file. A byte delivered from the wrong place, or a
// run of zeros, does not match, so a read that is fast but wrong is caught.

#include <cstddef>
#include <cstdint>

namespace bench {

// The word at word index `index` of the file made with `seed`; never zero.
inline uint64_t PatternWord(uint64_t seed, uint64_t index) {
  uint64_t x = (index + 1) * 0x9E3779B97F4A7C15ull ^ seed * 0xD1B54A32D192ED03ull;
  x ^= x >> 31;
  return x | 1;
}

// The bytes [first, first + count) of the file made with `seed`, written to dest.
void FillPattern(uint8_t* dest, size_t count, uint64_t first, uint64_t seed);

// The offset of the first of data's count bytes that is not the file's byte at that offset,
// or count when all of them are.
size_t FirstPatternMismatch(const uint8_t* data, size_t count, uint64_t first, uint64_t seed);

}  // namespace bench
