#include "formats/carve/ByteReader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace carve {

namespace {
// Reads that start where the window cannot serve them may overlap what it held; a sixteenth of
// the limit and a megabyte more than the limit covers that overlap for every walk here.
constexpr uint64_t kBudgetSlack = 1024 * 1024;
}  // namespace

ByteReader::ByteReader(CarveSource& source, uint64_t maxLength)
    : source_(source), limit_(std::min(source.Limit(), maxLength)), budget_(limit_ + limit_ / 16 + kBudgetSlack) {}

size_t ByteReader::ReadSource(uint64_t offset, uint8_t* dest, size_t count) {
  if (offset >= limit_) return 0;
  count = static_cast<size_t>(std::min<uint64_t>({count, limit_ - offset, budget_}));
  if (count == 0) return 0;
  const size_t got = std::min(source_.Read(offset, dest, count), count);
  budget_ -= count;
  return got;
}

bool ByteReader::Fill(uint64_t offset, size_t need) {
  if (!window_) window_ = std::make_unique_for_overwrite<uint8_t[]>(kWindowSize);
  if (windowLength_ != 0 && offset >= windowStart_ && offset <= windowStart_ + windowLength_) {
    nextFill_ = std::min(nextFill_ * 2, kWindowSize);
  }
  windowStart_ = offset;
  windowLength_ = ReadSource(offset, window_.get(), std::min(std::max(need, nextFill_), kWindowSize));
  return windowLength_ > 0;
}

bool ByteReader::Get(uint64_t offset, uint8_t* dest, size_t count) {
  if (count == 0) return Holds(offset, 0);
  if (!Holds(offset, count)) return false;
  if (offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
      count <= windowLength_ - (offset - windowStart_)) {
    std::memcpy(dest, window_.get() + (offset - windowStart_), count);
    return true;
  }
  return ReadSource(offset, dest, count) == count;
}

const uint8_t* ByteReader::View(uint64_t offset, size_t count) {
  if (count > kWindowSize || !Holds(offset, count)) return nullptr;
  const bool inside = offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
                      count <= windowLength_ - (offset - windowStart_);
  if (!inside && !Fill(offset, count)) return nullptr;
  if (count > windowLength_ - (offset - windowStart_)) return nullptr;
  return window_.get() + (offset - windowStart_);
}

ByteReader::Stretch ByteReader::StretchAt(uint64_t offset, size_t atLeast) {
  const bool inside = offset >= windowStart_ && offset - windowStart_ < windowLength_ &&
                      (windowLength_ - (offset - windowStart_) >= atLeast || windowStart_ + windowLength_ >= limit_);
  if (!inside && !Fill(offset, atLeast)) return {};
  const size_t skip = static_cast<size_t>(offset - windowStart_);
  return {window_.get() + skip, windowLength_ - skip};
}

std::optional<uint32_t> Crc32Over(ByteReader& reader, uint64_t offset, uint64_t count, uint32_t crc) {
  uLong sum = crc;
  while (count > 0) {
    const ByteReader::Stretch s = reader.StretchAt(offset);
    if (s.size == 0) return std::nullopt;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, s.size));
    sum = crc32(sum, s.data, static_cast<uInt>(n));
    offset += n;
    count -= n;
  }
  return static_cast<uint32_t>(sum);
}

}  // namespace carve
