#include "bench/Pattern.h"

namespace bench {

namespace {

uint8_t PatternByte(uint64_t seed, uint64_t offset) {
  return static_cast<uint8_t>(PatternWord(seed, offset / 8) >> (8 * (offset % 8)));
}

}  // namespace

void FillPattern(uint8_t* dest, size_t count, uint64_t first, uint64_t seed) {
  size_t i = 0;
  for (; i < count && (first + i) % 8 != 0; ++i) dest[i] = PatternByte(seed, first + i);
  for (; i + 8 <= count; i += 8) {
    const uint64_t word = PatternWord(seed, (first + i) / 8);
    for (unsigned b = 0; b < 8; ++b) dest[i + b] = static_cast<uint8_t>(word >> (8 * b));
  }
  for (; i < count; ++i) dest[i] = PatternByte(seed, first + i);
}

size_t FirstPatternMismatch(const uint8_t* data, size_t count, uint64_t first, uint64_t seed) {
  for (size_t i = 0; i < count; ++i) {
    if ((first + i) % 8 == 0 && i + 8 <= count) {
      const uint64_t word = PatternWord(seed, (first + i) / 8);
      bool same = true;
      for (unsigned b = 0; b < 8 && same; ++b) same = data[i + b] == static_cast<uint8_t>(word >> (8 * b));
      if (same) {
        i += 7;
        continue;
      }
    }
    if (data[i] != PatternByte(seed, first + i)) return i;
  }
  return count;
}

}  // namespace bench
