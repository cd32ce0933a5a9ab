// MP3 sounds: an optional ID3v2 tag, then MPEG audio layer III frames, each header giving the
// frame's length, until the frames stop; then the APE and ID3v1 tags that may close the file.
// A Xing or Info header in the first frame counts the frames the encoder wrote; without one,
// frames that start again shortly after the break show that the break was damage.

#include <algorithm>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr size_t kId3HeaderSize = 10;
constexpr uint8_t kId3FooterFlag = 0x10;
constexpr size_t kId3v1Size = 128;
constexpr size_t kApeFooterSize = 32;
constexpr uint32_t kApeHasHeader = 0x80000000u;
constexpr uint32_t kMaxApeSize = 16 << 20;
constexpr size_t kFrameHeader = 4;
constexpr uint32_t kXingFramesFlag = 1;
// How many consecutive frames the start of a cluster must hold to pass for an MP3, where the
// cluster's head is long enough for them, and how far after a break frames are looked for.
constexpr int kFramesToRecognize = 3;
constexpr int kFramesToResume = 4;
constexpr uint64_t kResumeWindow = 128 * 1024;
// Zero bytes some taggers leave between the ID3v2 tag and the first frame.
constexpr uint64_t kMaxPadding = 64 * 1024;

constexpr uint16_t kBitrates[2][16] = {
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},       // MPEG-2 and 2.5
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},  // MPEG-1
};
constexpr uint32_t kSampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

struct Frame {
  uint8_t version = 0;  // 0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1
  uint8_t rateIndex = 0;
  bool mono = false;
  uint32_t length = 0;
  bool SameStream(const Frame& o) const { return version == o.version && rateIndex == o.rateIndex; }
};

std::optional<Frame> ParseFrame(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  Frame f;
  f.version = (p[1] >> 3) & 3;
  const uint8_t layer = (p[1] >> 1) & 3;
  const uint8_t bitrateIndex = p[2] >> 4;
  f.rateIndex = (p[2] >> 2) & 3;
  if (f.version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || f.rateIndex == 3 || (p[3] & 3) == 2) {
    return std::nullopt;
  }
  const bool mpeg1 = f.version == 3;
  const uint32_t bitrate = kBitrates[mpeg1][bitrateIndex] * 1000u;
  const uint32_t rate = kSampleRates[f.version][f.rateIndex];
  f.length = (mpeg1 ? 144 : 72) * bitrate / rate + ((p[2] >> 1) & 1);
  f.mono = (p[3] >> 6) == 3;
  return f;
}

// Frames from pos on within n bytes of p that follow each other with one stream's settings.
int ChainedFrames(const uint8_t* p, size_t n, size_t pos, int wanted) {
  std::optional<Frame> first;
  int count = 0;
  while (count < wanted && pos + kFrameHeader <= n) {
    const std::optional<Frame> f = ParseFrame(p + pos);
    if (!f || (first && !first->SameStream(*f))) break;
    if (!first) first = f;
    ++count;
    pos += f->length;
  }
  return count;
}

uint64_t Id3v2Length(const uint8_t* p) {
  if (std::memcmp(p, "ID3", 3) != 0 || p[3] < 2 || p[3] > 4 || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  const uint64_t size = uint64_t{p[6]} << 21 | uint64_t{p[7]} << 14 | uint64_t{p[8]} << 7 | p[9];
  return kId3HeaderSize + size + (p[5] & kId3FooterFlag ? kId3HeaderSize : 0);
}

// The frame count of a Xing or Info header in the frame at p (its first bytes), if any.
std::optional<uint32_t> XingFrames(const uint8_t* p, size_t n, const Frame& f) {
  const size_t sideInfo = f.version == 3 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17);
  const size_t at = kFrameHeader + sideInfo;
  if (at + 12 > n || (std::memcmp(p + at, "Xing", 4) != 0 && std::memcmp(p + at, "Info", 4) != 0)) return std::nullopt;
  if (!(be32(p + at + 4) & kXingFramesFlag)) return std::nullopt;
  return be32(p + at + 8);
}

// The tags that may follow the last frame: an APE tag, then an ID3v1 tag.
uint64_t SkipClosingTags(ByteReader& reader, uint64_t pos) {
  uint8_t h[kApeFooterSize];
  if (reader.Get(pos, h, kApeFooterSize) && std::memcmp(h, "APETAGEX", 8) == 0) {
    const uint32_t size = le32(h + 12), flags = le32(h + 20);
    if (size >= kApeFooterSize && size <= kMaxApeSize && (flags & kApeHasHeader)) {
      // A tag read from its header: the size counts the items and the footer.
      if (reader.Holds(pos, kApeFooterSize + uint64_t{size})) pos += kApeFooterSize + size;
    }
  }
  if (reader.Get(pos, h, 3) && std::memcmp(h, "TAG", 3) == 0 && reader.Holds(pos, kId3v1Size)) pos += kId3v1Size;
  return pos;
}

// Whether frames of the stream begin again within the window after end, off the sector
// boundaries another file would begin at.
bool FramesResume(ByteReader& reader, uint64_t end, const Frame& stream) {
  uint64_t pos = end;
  while (pos < end + kResumeWindow) {
    const ByteReader::Stretch s = reader.StretchAt(pos, 4096);
    if (s.size < kFrameHeader) return false;
    const size_t scan = s.size > 4096 ? s.size - 4096 : s.size;
    for (size_t i = 0; i < scan && pos + i < end + kResumeWindow; ++i) {
      if (s.data[i] != 0xFF || (pos + i) % 512 == 0) continue;
      const std::optional<Frame> f = ParseFrame(s.data + i);
      if (f && f->SameStream(stream) && ChainedFrames(s.data, s.size, i, kFramesToResume) == kFramesToResume) {
        return true;
      }
    }
    if (scan == s.size) return false;
    pos += scan;
  }
  return false;
}

}  // namespace

std::optional<CarvedKind> RecognizeMp3Start(const uint8_t* head, size_t size) {
  if (size >= kId3HeaderSize && Id3v2Length(head) > 0) return CarvedKind::kMp3;
  if (size < kFrameHeader) return std::nullopt;
  const std::optional<Frame> first = ParseFrame(head);
  if (!first) return std::nullopt;
  // As many of the first frames as the head holds must follow one another; at least two.
  int fit = 0;
  for (uint64_t end = first->length; end + kFrameHeader <= size && fit < kFramesToRecognize; end += first->length) ++fit;
  const int wanted = std::max(2, std::min(kFramesToRecognize, fit + 1));
  return ChainedFrames(head, size, 0, wanted) == wanted ? std::optional(CarvedKind::kMp3) : std::nullopt;
}

std::optional<CarveResult> MeasureMp3(ByteReader& reader) {
  const uint8_t* p = reader.View(0, kId3HeaderSize);
  if (!p) return std::nullopt;
  uint64_t pos = Id3v2Length(p);
  if (!reader.Holds(0, pos)) return Partial(CarvedKind::kMp3, reader.Limit());
  for (uint64_t skipped = 0; skipped < kMaxPadding && (p = reader.View(pos, 1)) && *p == 0; ++skipped) ++pos;
  p = reader.View(pos, kFrameHeader);
  const std::optional<Frame> first = p ? ParseFrame(p) : std::nullopt;
  if (!first) return pos > 0 ? std::optional(Partial(CarvedKind::kMp3, pos)) : std::nullopt;
  p = reader.View(pos, 64);
  const std::optional<uint32_t> xing = p ? XingFrames(p, 64, *first) : std::nullopt;
  uint64_t frames = 0;
  // Every frame is at least 24 bytes long, so the limit bounds the walk.
  for (;;) {
    p = reader.View(pos, kFrameHeader);
    const std::optional<Frame> f = p ? ParseFrame(p) : std::nullopt;
    if (!f || !f->SameStream(*first)) break;
    if (!reader.Holds(pos, f->length)) return Partial(CarvedKind::kMp3, reader.Limit());
    pos += f->length;
    ++frames;
  }
  const uint64_t end = SkipClosingTags(reader, pos);
  const uint64_t audioFrames = xing ? frames - 1 : frames;
  const bool whole = frames >= 2 && (xing ? audioFrames >= *xing : !FramesResume(reader, end, *first));
  return whole ? Whole(CarvedKind::kMp3, end) : Partial(CarvedKind::kMp3, end);
}

}  // namespace carve
