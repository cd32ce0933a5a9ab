// JPEG pictures: segments from the start of image to the end of image, the entropy-coded data
// of every scan between them, and the further pictures a multi-picture index places after the
// end of the first. An EXIF thumbnail lies inside its APP1 segment, so its own start and end
// of image are stepped over with the segment.

#include <algorithm>
#include <bit>
#include <cstring>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"
#include "formats/carve/TiffStructure.h"

namespace carve {

namespace {

namespace marker {
constexpr uint8_t kPrefix = 0xFF;
constexpr uint8_t kTem = 0x01;
constexpr uint8_t kSof0 = 0xC0, kSof15 = 0xCF;
constexpr uint8_t kDht = 0xC4, kJpg = 0xC8, kDac = 0xCC;
constexpr uint8_t kRst0 = 0xD0, kRst7 = 0xD7;
constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDqt = 0xDB, kDri = 0xDD;
constexpr uint8_t kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp15 = 0xEF;
constexpr uint8_t kCom = 0xFE;
}  // namespace marker

constexpr uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kMpfId[4] = {'M', 'P', 'F', 0};
constexpr uint16_t kMpEntryTag = 0xB002;
constexpr size_t kMpEntrySize = 16;
constexpr size_t kMaxMpEntries = 16;
constexpr size_t kMaxSegments = 65536;
// The file's 512-byte blocks (clusters are made of them) that lie wholly in entropy-coded
// data are looked at: a block of printable text is a text file's cluster, not part of the
// picture (compressed data is as good as random, and 512 bytes without a byte of 0x80 or more
// are not), and this many zero bytes in a row are the empty space after a picture cut short
// (only a solid picture of many megapixels holds such runs).
constexpr size_t kBlock = 512;
constexpr unsigned kTextDistinct = 16;
constexpr size_t kZeroRun = 64 * 1024;

bool IsFrame(uint8_t m) { return m >= marker::kSof0 && m <= marker::kSof15 && m != marker::kDht && m != marker::kJpg && m != marker::kDac; }
bool IsLossless(uint8_t m) { return m == 0xC3 || m == 0xC7 || m == 0xCB || m == 0xCF; }
bool IsRestart(uint8_t m) { return m >= marker::kRst0 && m <= marker::kRst7; }
bool IsText(uint8_t b) { return (b >= 0x20 && b < 0x7F) || b == '\n' || b == '\r' || b == '\t'; }

struct Walk {
  enum class End { kImageEnd, kBroken, kTruncated } how = End::kBroken;
  uint64_t end = 0;  // after the end of image; where it broke; the limit
  bool frame = false, scan = false, lossless = false;
  uint64_t exifBase = 0, exifSpan = 0;  // the TIFF structure of the EXIF block
  uint64_t mpfBase = 0, mpfSpan = 0;    // the TIFF structure of the multi-picture index
};

enum class BlockIs { kData, kZeros, kText };

BlockIs Classify(const uint8_t* q) {
  for (size_t k = 0; k < kBlock; ++k) {
    if (q[k] >= 0x80) return BlockIs::kData;
  }
  uint64_t seen[2] = {};
  bool zeros = true, text = true;
  for (size_t k = 0; k < kBlock; ++k) {
    zeros = zeros && q[k] == 0;
    text = text && IsText(q[k]);
    seen[q[k] >> 6] |= 1ull << (q[k] & 63);
  }
  if (zeros) return BlockIs::kZeros;
  const unsigned distinct = static_cast<unsigned>(std::popcount(seen[0]) + std::popcount(seen[1]));
  return text && distinct >= kTextDistinct ? BlockIs::kText : BlockIs::kData;
}

// Finds the marker that ends the entropy-coded data from pos on: its offset, or a Walk end.
bool SkipEntropyData(ByteReader& reader, uint64_t& pos, Walk& walk) {
  uint64_t block = (pos + kBlock - 1) / kBlock * kBlock;  // the next block to look at
  uint64_t zeros = 0;
  for (;;) {
    // From the block on, which began at most a block before pos, so that it is in view whole.
    const uint64_t base = std::min(pos, block);
    const ByteReader::Stretch s = reader.StretchAt(base, kBlock + 2);
    if (s.size < pos - base + 2) {
      walk.how = Walk::End::kTruncated;
      walk.end = reader.Limit();
      return false;
    }
    const uint8_t* p = s.data;
    const size_t n = s.size - 1;  // so that the byte after a 0xFF is in view
    size_t i = static_cast<size_t>(pos - base);
    bool found = false;
    while (i < n) {
      const void* ff = std::memchr(p + i, marker::kPrefix, n - i);
      if (!ff) {
        i = n;
        break;
      }
      i = static_cast<size_t>(static_cast<const uint8_t*>(ff) - p);
      const uint8_t next = p[i + 1];
      if (next == 0 || IsRestart(next)) {
        i += 2;
      } else if (next == marker::kPrefix) {
        i += 1;  // a fill byte before a marker
      } else {
        found = true;
        break;
      }
    }
    i = std::min(i, n);
    for (; block + kBlock <= base + i; block += kBlock) {
      switch (Classify(p + (block - base))) {
        case BlockIs::kData: zeros = 0; break;
        case BlockIs::kZeros:
          zeros += kBlock;
          if (zeros >= kZeroRun) {
            walk.how = Walk::End::kBroken;
            walk.end = block + kBlock - zeros;
            return false;
          }
          break;
        case BlockIs::kText:
          walk.how = Walk::End::kBroken;
          walk.end = block;
          return false;
      }
    }
    pos = base + i;
    if (found) return true;
  }
}

// Follows a JPEG from its start of image at start. stopAtScan: only its header segments.
Walk WalkJpeg(ByteReader& reader, uint64_t start, bool stopAtScan) {
  Walk walk;
  const uint8_t* p = reader.View(start, 2);
  if (!p || p[0] != marker::kPrefix || p[1] != marker::kSoi) return walk;
  uint64_t pos = start + 2;
  for (size_t segments = 0; segments < kMaxSegments; ++segments) {
    p = reader.View(pos, 2);
    if (!p) {
      walk.how = Walk::End::kTruncated;
      walk.end = reader.Limit();
      return walk;
    }
    walk.end = pos;
    if (p[0] != marker::kPrefix) return walk;
    const uint8_t m = p[1];
    if (m == marker::kPrefix) {
      ++pos;
      continue;
    }
    if (m == marker::kEoi) {
      walk.how = walk.frame && walk.scan ? Walk::End::kImageEnd : Walk::End::kBroken;
      walk.end = pos + 2;
      return walk;
    }
    if (IsRestart(m) || m == marker::kTem) {
      pos += 2;
      continue;
    }
    if (m == marker::kSoi || m == 0) return walk;
    p = reader.View(pos + 2, 2);
    if (!p) {
      walk.how = Walk::End::kTruncated;
      walk.end = reader.Limit();
      return walk;
    }
    const uint16_t length = be16(p);
    if (length < 2) return walk;
    const uint64_t data = pos + 4, segmentEnd = pos + 2 + length;
    if (!reader.Holds(pos, 2ull + length)) {
      walk.how = Walk::End::kTruncated;
      walk.end = reader.Limit();
      return walk;
    }
    if (IsFrame(m)) {
      walk.frame = true;
      walk.lossless = IsLossless(m);
      if (stopAtScan) {
        walk.how = Walk::End::kImageEnd;
        return walk;
      }
    } else if (m == marker::kApp1 && walk.exifBase == 0 && length >= 2 + sizeof kExifId + tiff::kHeaderSize) {
      uint8_t id[sizeof kExifId];
      if (reader.Get(data, id, sizeof id) && std::memcmp(id, kExifId, sizeof id) == 0) {
        walk.exifBase = data + sizeof kExifId;
        walk.exifSpan = length - 2 - sizeof kExifId;
      }
    } else if (m == marker::kApp2 && walk.mpfBase == 0 && length >= 2 + sizeof kMpfId + tiff::kHeaderSize) {
      uint8_t id[sizeof kMpfId];
      if (reader.Get(data, id, sizeof id) && std::memcmp(id, kMpfId, sizeof id) == 0) {
        walk.mpfBase = data + sizeof kMpfId;
        walk.mpfSpan = length - 2 - sizeof kMpfId;
      }
    } else if (m == marker::kSos) {
      walk.scan = true;
      if (stopAtScan) {
        walk.how = Walk::End::kImageEnd;
        return walk;
      }
      pos = segmentEnd;
      if (!SkipEntropyData(reader, pos, walk)) return walk;
      continue;
    }
    pos = segmentEnd;
  }
  return walk;
}

// The further pictures of a multi-picture file: each must be a whole JPEG of the length its
// index entry gives, at the offset it gives (from the index's TIFF header). Returns the end
// of the last, or nothing when one does not check.
std::optional<uint64_t> FollowMultiPicture(ByteReader& reader, const Walk& first) {
  uint8_t header[tiff::kHeaderSize];
  if (!reader.Get(first.mpfBase, header, sizeof header)) return std::nullopt;
  const std::optional<TiffHeader> tiffHeader = ReadTiffHeader(header);
  if (!tiffHeader || tiffHeader->firstIfd > first.mpfSpan - 2) return std::nullopt;
  const bool be = tiffHeader->bigEndian;
  uint8_t countBytes[2];
  if (!reader.Get(first.mpfBase + tiffHeader->firstIfd, countBytes, 2)) return std::nullopt;
  const uint16_t count = std::min<uint16_t>(u16(countBytes, be), 64);
  uint64_t end = first.end;
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t entry[tiff::kEntrySize];
    if (!reader.Get(first.mpfBase + tiffHeader->firstIfd + 2 + i * tiff::kEntrySize, entry, sizeof entry)) {
      return std::nullopt;
    }
    if (u16(entry, be) != kMpEntryTag) continue;
    const uint32_t bytes = u32(entry + 4, be);
    const uint32_t at = u32(entry + 8, be);
    const size_t pictures = std::min<size_t>(bytes / kMpEntrySize, kMaxMpEntries);
    for (size_t k = 0; k < pictures; ++k) {
      uint8_t mp[kMpEntrySize];
      if (at > first.mpfSpan || !reader.Get(first.mpfBase + at + k * kMpEntrySize, mp, sizeof mp)) return std::nullopt;
      const uint32_t size = u32(mp + 4, be), offset = u32(mp + 8, be);
      if (offset == 0) continue;  // the first picture, the one already walked
      const Walk further = WalkJpeg(reader, first.mpfBase + offset, false);
      if (further.how != Walk::End::kImageEnd || further.end != first.mpfBase + offset + size) return std::nullopt;
      end = std::max(end, further.end);
    }
    break;
  }
  return end;
}

std::optional<TiffFacts> ExifFacts(ByteReader& reader, const Walk& walk) {
  if (walk.exifBase == 0) return std::nullopt;
  uint8_t header[tiff::kHeaderSize];
  if (!reader.Get(walk.exifBase, header, sizeof header)) return std::nullopt;
  const std::optional<TiffHeader> tiffHeader = ReadTiffHeader(header);
  if (!tiffHeader) return std::nullopt;
  return WalkTiff(reader, walk.exifBase, walk.exifSpan, *tiffHeader);
}

}  // namespace

std::optional<CarvedKind> RecognizeJpegStart(const uint8_t* head, size_t size) {
  if (size < 6 || head[0] != marker::kPrefix || head[1] != marker::kSoi || head[2] != marker::kPrefix) {
    return std::nullopt;
  }
  const uint8_t m = head[3];
  const bool known = (m >= marker::kApp0 && m <= marker::kApp15) || m == marker::kDqt || m == marker::kDht ||
                     m == marker::kCom || m == marker::kDri || m == 0xC0 || m == 0xC2;
  const uint16_t length = be16(head + 4);
  if (!known || length < 2) return std::nullopt;
  if (m == marker::kApp0 && size >= 11 && std::memcmp(head + 6, "JFIF", 5) != 0 && std::memcmp(head + 6, "JFXX", 5) != 0) {
    return std::nullopt;
  }
  if (m == marker::kApp1 && size >= 12 && std::memcmp(head + 6, kExifId, sizeof kExifId) != 0 &&
      std::memcmp(head + 6, "http:", 5) != 0) {
    return std::nullopt;
  }
  // The next segment, where the head holds it, begins with a marker too.
  if (4u + length < size && head[4 + length] != marker::kPrefix) return std::nullopt;
  return CarvedKind::kJpeg;
}

std::optional<CarveResult> MeasureJpeg(ByteReader& reader) {
  const Walk walk = WalkJpeg(reader, 0, false);
  if (walk.end == 0) return std::nullopt;
  CarveResult result = Partial(CarvedKind::kJpeg, walk.end);
  if (walk.how == Walk::End::kImageEnd) {
    result.whole = true;
    if (walk.mpfBase != 0) {
      const std::optional<uint64_t> end = FollowMultiPicture(reader, walk);
      result.whole = end.has_value();
      if (end) result.length = *end;
    }
  }
  if (const std::optional<TiffFacts> exif = ExifFacts(reader, walk)) {
    result.recordedTime = exif->taken ? exif->taken : exif->modified;
  }
  return result;
}

bool JpegIsShowableAt(ByteReader& reader, uint64_t offset) {
  const Walk walk = WalkJpeg(reader, offset, true);
  return walk.frame && !walk.lossless;
}

std::optional<EmbeddedPreview> FindJpegThumbnail(ByteReader& reader) {
  const Walk walk = WalkJpeg(reader, 0, true);
  const std::optional<TiffFacts> exif = ExifFacts(reader, walk);
  if (!exif) return std::nullopt;
  for (size_t i = 0; i < exif->jpegCount; ++i) {
    const TiffFacts::Jpeg& jpeg = exif->jpegs[i];
    if (jpeg.thumbnailOfFirst && JpegIsShowableAt(reader, walk.exifBase + jpeg.offset)) {
      return EmbeddedPreview{walk.exifBase + jpeg.offset, jpeg.length};
    }
  }
  return std::nullopt;
}

}  // namespace carve
