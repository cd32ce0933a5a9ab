// Ogg files (Vorbis, Opus, FLAC or Theora inside): pages, each with its CRC, from the first
// page of every logical stream to the last page of all of them.

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr size_t kPageHeader = 27;
constexpr size_t kSegmentCount = 26, kCrcAt = 22, kSerialAt = 14, kSequenceAt = 18, kGranuleAt = 6;
constexpr uint8_t kContinued = 0x01, kFirstPage = 0x02, kLastPage = 0x04;
constexpr size_t kMaxStreams = 32;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrc = MakeCrcTable();

uint32_t CrcUpdate(uint32_t crc, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) crc = crc << 8 ^ kCrc[(crc >> 24) ^ p[i]];
  return crc;
}

// The page's CRC with its own field counted as zeros, over the bytes at p.
uint32_t PageCrc(const uint8_t* p, size_t size) {
  static constexpr uint8_t kZeros[4] = {};
  uint32_t crc = CrcUpdate(0, p, kCrcAt);
  crc = CrcUpdate(crc, kZeros, 4);
  return CrcUpdate(crc, p + kCrcAt + 4, size - kCrcAt - 4);
}

bool IsPageStart(const uint8_t* p) { return std::memcmp(p, "OggS", 4) == 0 && p[4] == 0; }

}  // namespace

std::optional<CarvedKind> RecognizeOggStart(const uint8_t* head, size_t size) {
  if (size < kPageHeader || !IsPageStart(head) || head[5] != kFirstPage || le32(head + kSequenceAt) != 0 ||
      le64(head + kGranuleAt) != 0) {
    return std::nullopt;
  }
  const size_t segments = head[kSegmentCount];
  if (kPageHeader + segments > size) return CarvedKind::kOgg;
  size_t pageSize = kPageHeader + segments;
  for (size_t i = 0; i < segments; ++i) pageSize += head[kPageHeader + i];
  if (pageSize <= size && PageCrc(head, pageSize) != le32(head + kCrcAt)) return std::nullopt;
  return CarvedKind::kOgg;
}

std::optional<CarveResult> MeasureOgg(ByteReader& reader) {
  const uint8_t* p = reader.View(0, kPageHeader);
  if (!p || !IsPageStart(p) || !(p[5] & kFirstPage)) return std::nullopt;
  std::array<uint32_t, kMaxStreams> serials{};
  std::array<bool, kMaxStreams> ended{};
  size_t streams = 0, open = 0;
  uint64_t pos = 0;
  // Every page is at least 27 bytes long, so the limit bounds the walk.
  for (;;) {
    p = reader.View(pos, kPageHeader);
    if (!p) return Partial(CarvedKind::kOgg, pos < reader.Limit() ? reader.Limit() : pos);
    if (!IsPageStart(p)) return Partial(CarvedKind::kOgg, pos);
    const size_t segments = p[kSegmentCount];
    p = reader.View(pos, kPageHeader + segments);
    if (!p) return Partial(CarvedKind::kOgg, reader.Limit());
    size_t pageSize = kPageHeader + segments;
    for (size_t i = 0; i < segments; ++i) pageSize += p[kPageHeader + i];
    p = reader.View(pos, pageSize);  // at most 65,307 bytes, within the window
    if (!p) return Partial(CarvedKind::kOgg, reader.Limit());
    if (PageCrc(p, pageSize) != le32(p + kCrcAt)) return Partial(CarvedKind::kOgg, pos);
    const uint32_t serial = le32(p + kSerialAt);
    const uint8_t flags = p[5];
    const size_t index = static_cast<size_t>(std::find(serials.begin(), serials.begin() + streams, serial) - serials.begin());
    if (flags & kFirstPage) {
      // A stream that begins twice, or one too many: another file; this one ends before it.
      if (index < streams || streams == kMaxStreams) return Partial(CarvedKind::kOgg, pos);
      serials[streams] = serial;
      ended[streams] = false;
      ++streams;
      ++open;
    } else if (index == streams || ended[index] || (flags & ~(kContinued | kLastPage))) {
      return Partial(CarvedKind::kOgg, pos);
    }
    pos += pageSize;
    const size_t at = (flags & kFirstPage) ? streams - 1 : index;
    if (flags & kLastPage) {
      ended[at] = true;
      if (--open == 0) return Whole(CarvedKind::kOgg, pos);
    }
  }
}

}  // namespace carve
