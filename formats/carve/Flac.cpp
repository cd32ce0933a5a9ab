// FLAC sounds: "fLaC", metadata blocks (STREAMINFO first), then frames. A frame does not say
// how long it is: it ends where the CRC-16 of its bytes, stored in its last two, checks and
// the next frame's header (with its CRC-8 and the next frame or sample number) follows. The
// last frame is the one that brings the count of samples to STREAMINFO's total.

#include <algorithm>
#include <array>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr uint8_t kMagic[4] = {'f', 'L', 'a', 'C'};
constexpr size_t kBlockHeader = 4;
constexpr uint8_t kLastBlock = 0x80;
constexpr uint8_t kStreamInfo = 0, kInvalidBlock = 127;
constexpr uint32_t kStreamInfoSize = 34;
constexpr size_t kMaxBlocks = 4096;
constexpr size_t kMaxFrameHeader = 16;
constexpr uint32_t kMaxBlockSize = 65535;

struct StreamInfo {
  uint32_t minFrame = 0, maxFrame = 0, maxBlock = 0, channels = 0, bitsPerSample = 0;
  uint64_t totalSamples = 0;
};

constexpr std::array<uint8_t, 256> MakeCrc8() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 0x80) ? (c << 1) ^ 0x07 : c << 1;
    table[i] = static_cast<uint8_t>(c);
  }
  return table;
}
constexpr std::array<uint16_t, 256> MakeCrc16() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i << 8;
    for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
    table[i] = static_cast<uint16_t>(c);
  }
  return table;
}
constexpr std::array<uint8_t, 256> kCrc8 = MakeCrc8();
constexpr std::array<uint16_t, 256> kCrc16 = MakeCrc16();

struct FrameHeader {
  size_t length = 0;
  uint32_t blockSize = 0;
  uint64_t number = 0;  // the frame's number, or its first sample's where block sizes vary
  bool variable = false;
};

// The frame header at p (n bytes of it readable), its CRC-8 checked.
std::optional<FrameHeader> ParseFrameHeader(const uint8_t* p, size_t n) {
  if (n < 6 || p[0] != 0xFF || (p[1] & 0xFE) != 0xF8) return std::nullopt;
  FrameHeader h;
  h.variable = p[1] & 1;
  const uint8_t sizeCode = p[2] >> 4, rateCode = p[2] & 0x0F;
  const uint8_t channels = p[3] >> 4, sampleSize = (p[3] >> 1) & 7;
  if (sizeCode == 0 || rateCode == 15 || channels > 10 || sampleSize == 3 || (p[3] & 1)) return std::nullopt;
  // The frame or sample number, coded as UTF-8 is (up to seven bytes for 36 bits).
  size_t at = 4;
  const uint8_t lead = p[at];
  size_t extra = 0;
  if (lead < 0x80) extra = 0;
  else if ((lead & 0xE0) == 0xC0) extra = 1;
  else if ((lead & 0xF0) == 0xE0) extra = 2;
  else if ((lead & 0xF8) == 0xF0) extra = 3;
  else if ((lead & 0xFC) == 0xF8) extra = 4;
  else if ((lead & 0xFE) == 0xFC) extra = 5;
  else if (lead == 0xFE) extra = 6;
  else return std::nullopt;
  if (!h.variable && extra > 5) return std::nullopt;
  if (at + 1 + extra + 3 > n) return std::nullopt;
  h.number = extra == 0 ? lead : lead & (0x3F >> extra);
  for (size_t i = 1; i <= extra; ++i) {
    if ((p[at + i] & 0xC0) != 0x80) return std::nullopt;
    h.number = h.number << 6 | (p[at + i] & 0x3F);
  }
  at += 1 + extra;
  if (sizeCode == 1) h.blockSize = 192;
  else if (sizeCode <= 5) h.blockSize = 576u << (sizeCode - 2);
  else if (sizeCode == 6) h.blockSize = p[at++] + 1u;
  else if (sizeCode == 7) { h.blockSize = be16(p + at) + 1u; at += 2; }
  else h.blockSize = 256u << (sizeCode - 8);
  if (rateCode == 12) at += 1;
  else if (rateCode == 13 || rateCode == 14) at += 2;
  if (at + 1 > n) return std::nullopt;
  uint8_t crc = 0;
  for (size_t i = 0; i < at; ++i) crc = kCrc8[crc ^ p[i]];
  if (crc != p[at]) return std::nullopt;
  h.length = at + 1;
  return h;
}

std::optional<FrameHeader> FrameHeaderAt(ByteReader& reader, uint64_t pos) {
  if (pos >= reader.Limit()) return std::nullopt;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(kMaxFrameHeader, reader.Limit() - pos));
  const uint8_t* p = reader.View(pos, n);
  return p ? ParseFrameHeader(p, n) : std::nullopt;
}

}  // namespace

std::optional<CarvedKind> RecognizeFlacStart(const uint8_t* head, size_t size) {
  if (size < 8 || std::memcmp(head, kMagic, 4) != 0) return std::nullopt;
  if ((head[4] & 0x7F) != kStreamInfo || be24(head + 5) != kStreamInfoSize) return std::nullopt;
  return CarvedKind::kFlac;
}

std::optional<CarveResult> MeasureFlac(ByteReader& reader) {
  uint8_t block[kBlockHeader + kStreamInfoSize];
  if (!reader.Get(0, block, 8) || std::memcmp(block, kMagic, 4) != 0) return std::nullopt;
  uint64_t pos = 4;
  StreamInfo info;
  for (size_t n = 0;; ++n) {
    if (n == kMaxBlocks || !reader.Get(pos, block, kBlockHeader)) return Partial(CarvedKind::kFlac, reader.Limit());
    const uint8_t type = block[0] & 0x7F;
    const uint32_t length = be24(block + 1);
    if (type == kInvalidBlock || (n == 0) != (type == kStreamInfo)) return n == 0 ? std::nullopt : std::optional(Partial(CarvedKind::kFlac, pos));
    if (type == kStreamInfo) {
      if (length != kStreamInfoSize || !reader.Get(pos + kBlockHeader, block + kBlockHeader, kStreamInfoSize)) {
        return std::nullopt;
      }
      const uint8_t* s = block + kBlockHeader;
      info.maxBlock = be16(s + 2);
      info.minFrame = be24(s + 4);
      info.maxFrame = be24(s + 7);
      info.channels = ((s[12] >> 1) & 7) + 1;
      info.bitsPerSample = ((s[12] & 1) << 4 | s[13] >> 4) + 1;
      info.totalSamples = uint64_t{s[13] & 0x0Fu} << 32 | be32(s + 14);
    }
    pos += kBlockHeader + length;
    if (block[0] & kLastBlock) break;
  }
  // The longest a frame can be: the encoder's own figure, else a block stored verbatim.
  const uint64_t maxFrame = info.maxFrame != 0
                                ? info.maxFrame
                                : uint64_t{info.maxBlock ? info.maxBlock : kMaxBlockSize} * info.channels *
                                          ((info.bitsPerSample + 7) / 8) + 1024;
  if (!reader.Holds(0, pos)) return Partial(CarvedKind::kFlac, reader.Limit());
  std::optional<FrameHeader> header = FrameHeaderAt(reader, pos);
  if (!header) return Partial(CarvedKind::kFlac, pos);
  uint64_t samples = 0, frames = 0;
  for (;;) {
    const bool last = info.totalSamples != 0 && samples + header->blockSize >= info.totalSamples;
    const uint64_t expected = header->variable ? samples + header->blockSize : frames + 1;
    // The end of this frame: where the CRC-16 of its bytes, the stored one included, is 0.
    uint16_t crc = 0;
    uint64_t q = pos;
    const uint64_t earliest = pos + std::max<uint64_t>(header->length + 2, info.minFrame);
    std::optional<FrameHeader> next;
    bool found = false, atLimit = false;
    uint64_t firstMatch = 0;
    while (!found && q < pos + maxFrame) {
      const ByteReader::Stretch s = reader.StretchAt(q);
      if (s.size == 0) {
        atLimit = true;
        break;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(s.size, pos + maxFrame - q));
      size_t i = 0;
      for (; i < n; ++i) {
        crc = static_cast<uint16_t>(crc << 8) ^ kCrc16[(crc >> 8) ^ s.data[i]];
        if (crc != 0 || q + i + 1 < earliest) continue;
        const uint64_t end = q + i + 1;
        q = end;
        if (last) {
          found = true;
          break;
        }
        if (firstMatch == 0) firstMatch = end;
        next = FrameHeaderAt(reader, end);  // may move the window: go on from a fresh stretch
        found = next && next->variable == header->variable && next->number == expected;
        break;
      }
      if (i == n) q += n;
    }
    if (!found) {
      // Without a total of samples the last frame is the one no frame follows.
      if (info.totalSamples == 0 && firstMatch != 0) return Whole(CarvedKind::kFlac, firstMatch);
      return Partial(CarvedKind::kFlac, atLimit ? reader.Limit() : pos);
    }
    ++frames;
    samples += header->blockSize;
    pos = q;
    if (last) return Whole(CarvedKind::kFlac, pos);
    header = next;
  }
}

}  // namespace carve
