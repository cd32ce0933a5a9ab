// RIFF files (AVI videos, WAV sounds, WebP pictures): the RIFF chunk's size gives the file's
// length, and the chunks inside it must fill it. An AVI longer than 1 GiB goes on in further
// RIFF chunks of form "AVIX" right after the first.

#include <algorithm>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr size_t kChunkHeader = 8;  // identifier, size
constexpr size_t kFormHeader = 12;  // "RIFF", size, form type
constexpr size_t kMaxChunks = 1 << 20;
constexpr size_t kMaxExtensions = 4096;

bool Is(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

bool IsChunkId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

std::optional<CarvedKind> KindOfForm(const uint8_t* form) {
  if (Is(form, "AVI ")) return CarvedKind::kAvi;
  if (Is(form, "WAVE")) return CarvedKind::kWav;
  if (Is(form, "WEBP")) return CarvedKind::kWebp;
  return std::nullopt;
}

// What the chunks directly inside one RIFF chunk of [start, end) hold.
struct Chunks {
  bool fill = false;  // they fill it exactly (the last one's pad byte may be missing)
  bool format = false, data = false, header = false, movie = false, picture = false;
};

Chunks WalkChunks(ByteReader& reader, uint64_t start, uint64_t end) {
  Chunks chunks;
  uint64_t pos = start;
  for (size_t n = 0; n < kMaxChunks; ++n) {
    if (pos == end || (pos == end + 1 && n > 0)) {
      chunks.fill = true;
      return chunks;
    }
    uint8_t h[kFormHeader];
    if (pos > end || end - pos < kChunkHeader || !reader.Get(pos, h, kChunkHeader) || !IsChunkId(h)) return chunks;
    const uint32_t size = le32(h + 4);
    if (Is(h, "LIST") && size >= 4 && reader.Get(pos + kChunkHeader, h + kChunkHeader, 4)) {
      if (Is(h + 8, "hdrl")) chunks.header = true;
      if (Is(h + 8, "movi")) chunks.movie = true;
    }
    if (Is(h, "fmt ")) chunks.format = true;
    if (Is(h, "data")) chunks.data = true;
    if (n == 0 && (Is(h, "VP8 ") || Is(h, "VP8L") || Is(h, "VP8X"))) chunks.picture = true;
    pos += kChunkHeader + uint64_t{size} + (size & 1);
  }
  return chunks;
}

}  // namespace

std::optional<CarvedKind> RecognizeRiffStart(const uint8_t* head, size_t size) {
  if (size < kFormHeader + kChunkHeader || !Is(head, "RIFF") || le32(head + 4) < 4 + kChunkHeader) return std::nullopt;
  const std::optional<CarvedKind> kind = KindOfForm(head + 8);
  if (!kind || !IsChunkId(head + kFormHeader)) return std::nullopt;
  return kind;
}

std::optional<CarveResult> MeasureRiff(ByteReader& reader) {
  uint8_t h[kFormHeader];
  if (!reader.Get(0, h, sizeof h) || !Is(h, "RIFF")) return std::nullopt;
  const std::optional<CarvedKind> kind = KindOfForm(h + 8);
  if (!kind) return std::nullopt;
  const uint64_t end = kChunkHeader + uint64_t{le32(h + 4)};
  if (!reader.Holds(0, end)) return Partial(*kind, reader.Limit());
  const Chunks chunks = WalkChunks(reader, kFormHeader, end);
  bool complete = chunks.fill;
  switch (*kind) {
    case CarvedKind::kAvi: complete = complete && chunks.header && chunks.movie; break;
    case CarvedKind::kWav: complete = complete && chunks.format && chunks.data; break;
    default: complete = complete && chunks.picture; break;
  }
  if (!complete) return Partial(*kind, end);
  uint64_t length = end;
  // The further RIFF chunks of an AVI over 1 GiB; each must be whole too.
  for (size_t n = 0; *kind == CarvedKind::kAvi && n < kMaxExtensions; ++n) {
    if (!reader.Get(length, h, sizeof h) || !Is(h, "RIFF") || !Is(h + 8, "AVIX")) break;
    const uint64_t next = length + kChunkHeader + le32(h + 4);
    if (!reader.Holds(0, next)) return Partial(*kind, reader.Limit());
    if (!WalkChunks(reader, length + kFormHeader, next).fill) return Partial(*kind, next);
    length = next;
  }
  return Whole(*kind, length);
}

}  // namespace carve
