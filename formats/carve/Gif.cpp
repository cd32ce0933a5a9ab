// GIF pictures: header, logical screen and global colour table, then images and extensions,
// each a run of sub-blocks ended by an empty one, up to the trailer.

#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

constexpr size_t kHeaderSize = 13;  // signature, version, logical screen descriptor
constexpr uint8_t kColorTableFlag = 0x80;
constexpr uint8_t kImage = 0x2C, kExtension = 0x21, kTrailer = 0x3B;
constexpr size_t kImageDescriptorSize = 10;  // with its introducer
constexpr uint8_t kMaxCodeSize = 11;

uint64_t ColorTableSize(uint8_t flags) { return flags & kColorTableFlag ? 3ull << ((flags & 7) + 1) : 0; }

// Steps over a run of sub-blocks from pos on; false where it does not end within the limit.
bool SkipSubBlocks(ByteReader& reader, uint64_t& pos) {
  for (;;) {
    const uint8_t* p = reader.View(pos, 1);
    if (!p) return false;
    pos += 1 + *p;
    if (*p == 0) return true;
  }
}

}  // namespace

std::optional<CarvedKind> RecognizeGifStart(const uint8_t* head, size_t size) {
  if (size < kHeaderSize) return std::nullopt;
  if (std::memcmp(head, "GIF87a", 6) != 0 && std::memcmp(head, "GIF89a", 6) != 0) return std::nullopt;
  if (le16(head + 6) == 0 || le16(head + 8) == 0) return std::nullopt;
  // What follows the screen and its colour table is an image, an extension or the trailer.
  const uint64_t next = kHeaderSize + ColorTableSize(head[10]);
  if (next < size && head[next] != kImage && head[next] != kExtension && head[next] != kTrailer) return std::nullopt;
  return CarvedKind::kGif;
}

std::optional<CarveResult> MeasureGif(ByteReader& reader) {
  const uint8_t* p = reader.View(0, kHeaderSize);
  if (!p || (std::memcmp(p, "GIF87a", 6) != 0 && std::memcmp(p, "GIF89a", 6) != 0)) return std::nullopt;
  uint64_t pos = kHeaderSize + ColorTableSize(p[10]);
  bool image = false;
  // Each step moves on by at least one byte, so the limit bounds the walk.
  for (;;) {
    p = reader.View(pos, 1);
    if (!p) return Partial(CarvedKind::kGif, reader.Limit());
    const uint64_t blockStart = pos;
    if (*p == kTrailer) {
      if (!image) return Partial(CarvedKind::kGif, pos + 1);
      return Whole(CarvedKind::kGif, pos + 1);
    }
    if (*p == kExtension) {
      pos += 2;  // introducer, label
    } else if (*p == kImage) {
      p = reader.View(pos, kImageDescriptorSize);
      if (!p) return Partial(CarvedKind::kGif, reader.Limit());
      pos += kImageDescriptorSize + ColorTableSize(p[9]);
      p = reader.View(pos, 1);  // the LZW code size of the image data
      if (!p) return Partial(CarvedKind::kGif, reader.Limit());
      if (*p == 0 || *p > kMaxCodeSize) return Partial(CarvedKind::kGif, blockStart);
      pos += 1;
      image = true;
    } else {
      return Partial(CarvedKind::kGif, pos);
    }
    if (!SkipSubBlocks(reader, pos)) return Partial(CarvedKind::kGif, reader.Limit());
  }
}

}  // namespace carve
