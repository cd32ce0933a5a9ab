// MPEG program streams (MPEG-1 system streams and MPEG-2 program streams, as DVD and older
// cameras write them): pack headers and the packets between them, up to the end code. Many
// writers leave the end code out; then the stream ends where no start code follows, unless a
// pack whose clock carries on from the last one's turns up shortly after: the break was
// damage, not the end.

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr uint8_t kPack = 0xBA, kEnd = 0xB9, kSystemHeader = 0xBB;
constexpr size_t kStartCode = 4;
constexpr size_t kPacketHeader = 6;  // start code, length
constexpr size_t kMpeg1PackSize = 12, kMpeg2PackSize = 14;
constexpr uint64_t kResumeWindow = 1024 * 1024;
constexpr uint64_t kClockRate = 90000;  // the system clock reference's ticks per second
constexpr uint64_t kResumeClock = 10 * kClockRate;

bool IsStartCode(const uint8_t* p) { return p[0] == 0 && p[1] == 0 && p[2] == 1; }

// The length of the pack header at p (16 bytes of it readable), or 0 where its marker bits
// do not check.
size_t PackLength(const uint8_t* p) {
  if (!IsStartCode(p) || p[3] != kPack) return 0;
  if ((p[4] & 0xC4) == 0x44) {  // MPEG-2: '01', then markers after each part of the clock
    if (!(p[6] & 0x04) || !(p[8] & 0x04) || !(p[9] & 0x01) || (p[12] & 0x03) != 0x03) return 0;
    return kMpeg2PackSize + (p[13] & 0x07);
  }
  if ((p[4] & 0xF1) == 0x21) {  // MPEG-1: '0010'
    if (!(p[6] & 0x01) || !(p[8] & 0x01) || !(p[9] & 0x80) || !(p[11] & 0x01)) return 0;
    return kMpeg1PackSize;
  }
  return 0;
}

// The system clock reference of the pack header at p, in 90 kHz ticks.
uint64_t PackClock(const uint8_t* p) {
  auto b = [p](int i) -> uint64_t { return p[i]; };
  if ((p[4] & 0xC0) == 0x40) {
    return ((b(4) >> 3) & 7) << 30 | (b(4) & 3) << 28 | b(5) << 20 | (b(6) >> 3) << 15 | (b(6) & 3) << 13 |
           b(7) << 5 | b(8) >> 3;
  }
  return ((b(4) >> 1) & 7) << 30 | b(5) << 22 | (b(6) >> 1) << 15 | b(7) << 7 | b(8) >> 1;
}

// Whether a pack whose clock follows lastClock begins within the window after end.
bool PacksResume(ByteReader& reader, uint64_t end, uint64_t lastClock) {
  for (uint64_t pos = end; pos < end + kResumeWindow;) {
    const ByteReader::Stretch s = reader.StretchAt(pos, 16);
    if (s.size < 16) return false;
    const size_t scan = s.size - 15;
    for (size_t i = 0; i < scan; ++i) {
      if (s.data[i] != 0 || s.data[i + 1] != 0 || s.data[i + 2] != 1 || s.data[i + 3] != kPack) continue;
      if (PackLength(s.data + i) == 0) continue;
      const uint64_t clock = PackClock(s.data + i);
      if (clock > lastClock && clock - lastClock <= kResumeClock) return true;
    }
    pos += scan;
  }
  return false;
}

}  // namespace

std::optional<CarvedKind> RecognizeMpegStart(const uint8_t* head, size_t size) {
  if (size < 16) return std::nullopt;
  const size_t length = PackLength(head);
  if (length == 0) return std::nullopt;
  // The next start code, where the head holds it, is a packet's or the next pack's.
  if (length + kStartCode <= size) {
    const uint8_t* next = head + length;
    if (!IsStartCode(next) || (next[3] < kSystemHeader && next[3] != kPack)) return std::nullopt;
  }
  return CarvedKind::kMpeg;
}

std::optional<CarveResult> MeasureMpeg(ByteReader& reader) {
  const uint8_t* p = reader.View(0, 16);
  if (!p || PackLength(p) == 0) return std::nullopt;
  uint64_t pos = 0, lastClock = 0;
  // Every step moves on by at least four bytes, so the limit bounds the walk.
  for (;;) {
    p = reader.View(pos, kStartCode);
    // Where the stream reaches the limit without its end code, it may go on beyond.
    if (!p) return Partial(CarvedKind::kMpeg, reader.Limit());
    if (!IsStartCode(p)) break;
    const uint8_t id = p[3];
    if (id == kEnd) return Whole(CarvedKind::kMpeg, pos + kStartCode);
    if (id == kPack) {
      p = reader.View(pos, 16);
      const size_t length = p ? PackLength(p) : 0;
      if (!p) return Partial(CarvedKind::kMpeg, reader.Limit());
      if (length == 0) break;
      lastClock = PackClock(p);
      pos += length;
      continue;
    }
    if (id < kSystemHeader) break;
    p = reader.View(pos, kPacketHeader);
    if (!p) return Partial(CarvedKind::kMpeg, reader.Limit());
    if (!reader.Holds(pos, kPacketHeader + uint64_t{be16(p + 4)})) return Partial(CarvedKind::kMpeg, reader.Limit());
    pos += kPacketHeader + be16(p + 4);
  }
  return PacksResume(reader, pos, lastClock) ? Partial(CarvedKind::kMpeg, pos) : Whole(CarvedKind::kMpeg, pos);
}

}  // namespace carve
