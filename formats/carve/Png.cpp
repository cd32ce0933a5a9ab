// PNG pictures: the signature, then chunks (length, type, data, CRC-32 of type and data) up
// to IEND. Every chunk's CRC is checked, so a cluster of another file inside shows.

#include <algorithm>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kChunkHeader = 8;  // length, type
constexpr size_t kCrcSize = 4;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kHeaderLength = 13;
constexpr uint8_t kIhdr[4] = {'I', 'H', 'D', 'R'};
constexpr uint8_t kIend[4] = {'I', 'E', 'N', 'D'};

bool IsChunkType(const uint8_t* t) {
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = t[i] | 0x20;
    if (c < 'a' || c > 'z') return false;
  }
  return true;
}

}  // namespace

std::optional<CarvedKind> RecognizePngStart(const uint8_t* head, size_t size) {
  if (size < sizeof kSignature + kChunkHeader) return std::nullopt;
  if (std::memcmp(head, kSignature, sizeof kSignature) != 0) return std::nullopt;
  if (be32(head + 8) != kHeaderLength || std::memcmp(head + 12, kIhdr, 4) != 0) return std::nullopt;
  return CarvedKind::kPng;
}

std::optional<CarveResult> MeasurePng(ByteReader& reader) {
  const uint8_t* p = reader.View(0, sizeof kSignature + kChunkHeader);
  if (!p || std::memcmp(p, kSignature, sizeof kSignature) != 0 || std::memcmp(p + 12, kIhdr, 4) != 0) {
    return std::nullopt;
  }
  uint64_t pos = sizeof kSignature;
  // Every chunk is at least 12 bytes long, so the limit bounds the count.
  for (;;) {
    uint8_t header[kChunkHeader];
    if (!reader.Get(pos, header, sizeof header)) return Partial(CarvedKind::kPng, reader.Limit());
    const uint32_t length = be32(header);
    if (length > kMaxChunkLength || !IsChunkType(header + 4)) return Partial(CarvedKind::kPng, pos);
    if (!reader.Holds(pos, kChunkHeader + uint64_t{length} + kCrcSize)) return Partial(CarvedKind::kPng, reader.Limit());
    const std::optional<uint32_t> crc = Crc32Over(reader, pos + 4, 4 + uint64_t{length});
    uint8_t stored[kCrcSize];
    if (!crc || !reader.Get(pos + kChunkHeader + length, stored, sizeof stored)) {
      return Partial(CarvedKind::kPng, reader.Limit());
    }
    if (*crc != be32(stored)) return Partial(CarvedKind::kPng, pos);
    pos += kChunkHeader + uint64_t{length} + kCrcSize;
    if (std::memcmp(header + 4, kIend, 4) == 0) return Whole(CarvedKind::kPng, pos);
  }
}

}  // namespace carve
