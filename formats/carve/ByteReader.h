#pragma once
// The bytes of one candidate file as the measurements read them: through a window of the
// source, never beyond a limit (the source's, or less where a format caps a file's length),
// and never more bytes in all than a budget a little above that limit, so that a walk over a
// hostile file costs no more than reading it once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "formats/carve/Carving.h"

namespace carve {

class ByteReader {
 public:
  static constexpr size_t kWindowSize = 64 * 1024;

  // Reads no byte at or beyond min(source.Limit(), maxLength).
  ByteReader(CarveSource& source, uint64_t maxLength);

  uint64_t Limit() const { return limit_; }

  // Copies exactly count bytes from offset on, or returns false: past the limit, where the
  // source could not be read, or once the budget is spent.
  bool Get(uint64_t offset, uint8_t* dest, size_t count);

  // count bytes from offset on (count <= kWindowSize) seen through the window, or nullptr.
  const uint8_t* View(uint64_t offset, size_t count);

  // The bytes from offset on that the window holds, at least atLeast of them unless the
  // limit comes first (then all up to it; size 0 at the end). For scans that look at every
  // byte. The bytes stay valid until the next call.
  struct Stretch {
    const uint8_t* data = nullptr;
    size_t size = 0;
  };
  Stretch StretchAt(uint64_t offset, size_t atLeast = 16);

  // Whether all count bytes from offset on lie below the limit.
  bool Holds(uint64_t offset, uint64_t count) const { return offset <= limit_ && count <= limit_ - offset; }

 private:
  // Reads the window from offset on, at least need bytes of it. The first read is small, and
  // reads double up to the window's size while the walk reads on: a candidate whose header
  // leads nowhere costs a few KiB, where a volume may hold a million of them.
  bool Fill(uint64_t offset, size_t need);
  size_t ReadSource(uint64_t offset, uint8_t* dest, size_t count);

  static constexpr size_t kFirstFill = 4096;

  CarveSource& source_;
  uint64_t limit_;
  uint64_t budget_;
  std::unique_ptr<uint8_t[]> window_;  // kWindowSize bytes, made on the first read
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
  size_t nextFill_ = kFirstFill;
};

// The CRC-32 (zlib's, as PNG and ZIP use it) of count bytes from offset on, continued from
// crc; nothing where they cannot all be read.
std::optional<uint32_t> Crc32Over(ByteReader& reader, uint64_t offset, uint64_t count, uint32_t crc = 0);

}  // namespace carve
