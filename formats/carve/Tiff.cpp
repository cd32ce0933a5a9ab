// TIFF files and the camera raw formats built on them (Canon CR2, Nikon NEF, Sony ARW, Adobe
// DNG, Olympus ORF): a file is as long as the furthest byte any of its directories, their
// values and the image data they name reach.

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"
#include "formats/carve/TiffStructure.h"

namespace carve {

namespace {

constexpr size_t kMaxDirectories = 64;
constexpr uint16_t kMaxEntries = 1024;
// Strips or tiles one directory may list: a 100-megapixel raw file in 16-row strips has
// fewer than 1,000; a list longer than this is not a picture's.
constexpr uint32_t kMaxArray = 65536;
// Where a Canon raw file says what it is, and in which version.
constexpr size_t kCr2SignatureOffset = 8;
constexpr uint8_t kCr2Signature[] = {'C', 'R', 2};

// The bytes of one value of each field type (1 BYTE to 13 IFD); 0: a type this walk skips.
constexpr uint8_t kTypeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint32_t value = 0;  // the value itself when it fits in four bytes, else its offset
  const uint8_t* raw = nullptr;
  uint64_t Bytes() const { return static_cast<uint64_t>(count) * kTypeSizes[type]; }
};

// What a directory is to the walk: the first, the one after it (whose JPEG is the thumbnail
// of the first), or another.
enum class Role : uint8_t { kFirst, kSecond, kOther };

class Walker {
 public:
  Walker(ByteReader& reader, uint64_t base, uint64_t span, bool bigEndian)
      : reader_(reader), base_(base), span_(span), bigEndian_(bigEndian) {}

  TiffFacts Run(uint32_t firstIfd) {
    Queue(firstIfd, Role::kFirst);
    for (size_t next = 0; next < queued_ && !facts_.broken; ++next) ReadDirectory(queue_[next], roles_[next]);
    return facts_;
  }

 private:
  void Queue(uint32_t offset, Role role) {
    if (offset < tiff::kHeaderSize) return;
    for (size_t i = 0; i < queued_; ++i) {
      if (queue_[i] == offset) return;  // a loop, or a directory named twice
    }
    if (queued_ == kMaxDirectories) return;
    queue_[queued_] = offset;
    roles_[queued_] = role;
    ++queued_;
  }

  // Notes that the structure uses count bytes from offset on.
  bool Reach(uint64_t offset, uint64_t count) {
    if (offset > span_ || count > span_ - offset) {
      facts_.pastSpan = true;
      facts_.end = span_;
      return false;
    }
    facts_.end = std::max(facts_.end, offset + count);
    return true;
  }

  bool Get(uint64_t offset, uint8_t* dest, size_t count) {
    return offset <= span_ && count <= span_ - offset && reader_.Get(base_ + offset, dest, count);
  }

  uint32_t Number(const Entry& e) const {
    return kTypeSizes[e.type] == 2 ? u16(e.raw, bigEndian_) : e.value;
  }

  void ReadDirectory(uint32_t offset, Role role) {
    uint8_t countBytes[2];
    if (!Reach(offset, 2) || !Get(offset, countBytes, 2)) return;
    const uint16_t count = u16(countBytes, bigEndian_);
    if (count == 0 || count > kMaxEntries) {
      facts_.broken = true;
      return;
    }
    const size_t tableSize = static_cast<size_t>(count) * tiff::kEntrySize + 4;
    if (!Reach(offset, 2 + tableSize)) return;
    table_.resize(tableSize);
    if (!Get(offset + 2, table_.data(), tableSize)) {
      facts_.broken = true;
      return;
    }
    ++facts_.directories;
    Entry strips[2], tiles[2], jpeg[2];
    uint16_t compression = 1;
    size_t known = 0;
    for (uint16_t i = 0; i < count; ++i) {
      Entry e;
      e.raw = table_.data() + i * tiff::kEntrySize + 8;
      e.tag = u16(e.raw - 8, bigEndian_);
      e.type = u16(e.raw - 6, bigEndian_);
      e.count = u32(e.raw - 4, bigEndian_);
      e.value = u32(e.raw, bigEndian_);
      if (e.type == 0 || e.type >= std::size(kTypeSizes)) continue;  // readers skip fields of unknown types
      ++known;
      if (e.Bytes() > 4 && !Reach(e.value, e.Bytes())) return;
      switch (e.tag) {
        case tiff::kStripOffsets: strips[0] = e; break;
        case tiff::kStripByteCounts: strips[1] = e; break;
        case tiff::kTileOffsets: tiles[0] = e; break;
        case tiff::kTileByteCounts: tiles[1] = e; break;
        case tiff::kJpegInterchange: jpeg[0] = e; break;
        case tiff::kJpegInterchangeLength: jpeg[1] = e; break;
        case tiff::kCompression: compression = static_cast<uint16_t>(Number(e)); break;
        case tiff::kMake: ReadText(e, facts_.make.data(), facts_.make.size() - 1); break;
        case tiff::kDngVersion: facts_.dng = true; break;
        case tiff::kDngPrivateData: facts_.sonyRaw = true; break;
        case tiff::kDateTime: ReadTime(e, facts_.modified); break;
        case tiff::kDateTimeOriginal: ReadTime(e, facts_.taken); break;
        case tiff::kExifIfd:
        case tiff::kGpsIfd:
        case tiff::kInteropIfd:
          if (e.count == 1) Queue(Number(e), Role::kOther);
          break;
        case tiff::kSubIfds: QueueSubIfds(e); break;
        default: break;
      }
    }
    if (known == 0) {
      facts_.broken = true;
      return;
    }
    if (compression == tiff::kNikonRaw) facts_.nikonRaw = true;
    if (compression == tiff::kSonyRaw) facts_.sonyRaw = true;
    const bool jpegStrips = compression == tiff::kOldJpeg || compression == tiff::kJpeg;
    ReachArrays(strips, jpegStrips);
    ReachArrays(tiles, false);
    if (jpeg[0].type != 0 && jpeg[1].type != 0 && jpeg[0].count == 1 && jpeg[1].count == 1) {
      const uint32_t start = Number(jpeg[0]), length = Number(jpeg[1]);
      if (length > 0 && Reach(start, length)) {
        facts_.imageData = true;
        NoteJpeg(start, length, role == Role::kSecond);
      }
    }
    Queue(u32(table_.data() + tableSize - 4, bigEndian_), role == Role::kFirst ? Role::kSecond : Role::kOther);
  }

  void QueueSubIfds(const Entry& e) {
    facts_.subIfds = true;
    const uint32_t n = std::min<uint32_t>(e.count, kMaxDirectories);
    if (kTypeSizes[e.type] != 4) return;
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t v[4];
      if (e.count == 1) {
        Queue(e.value, Role::kOther);
      } else if (Get(static_cast<uint64_t>(e.value) + 4 * i, v, 4)) {
        Queue(u32(v, bigEndian_), Role::kOther);
      }
    }
  }

  // The offsets and byte counts of strips or tiles, pair by pair.
  void ReachArrays(const Entry (&arrays)[2], bool jpegStrips) {
    const Entry& offsets = arrays[0];
    const Entry& counts = arrays[1];
    if (offsets.type == 0 && counts.type == 0) return;
    const uint8_t offsetSize = kTypeSizes[offsets.type], countSize = kTypeSizes[counts.type];
    if (offsets.count != counts.count || offsets.count == 0 || offsets.count > kMaxArray ||
        (offsetSize != 2 && offsetSize != 4) || (countSize != 2 && countSize != 4)) {
      facts_.broken = true;
      return;
    }
    constexpr uint32_t kBlock = 256;
    uint8_t offsetBlock[kBlock * 4], countBlock[kBlock * 4];
    for (uint32_t first = 0; first < offsets.count; first += kBlock) {
      const uint32_t n = std::min(kBlock, offsets.count - first);
      if (!Values(offsets, first, n, offsetBlock) || !Values(counts, first, n, countBlock)) {
        facts_.broken = true;
        return;
      }
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t start = offsetSize == 2 ? u16(offsetBlock + 2 * i, bigEndian_) : u32(offsetBlock + 4 * i, bigEndian_);
        const uint32_t length = countSize == 2 ? u16(countBlock + 2 * i, bigEndian_) : u32(countBlock + 4 * i, bigEndian_);
        if (length == 0) continue;
        if (!Reach(start, length)) return;
        facts_.imageData = true;
        if (jpegStrips && offsets.count == 1) NoteJpeg(start, length, false);
      }
    }
  }

  // n values of e from index first on, into dest.
  bool Values(const Entry& e, uint32_t first, uint32_t n, uint8_t* dest) {
    const uint8_t size = kTypeSizes[e.type];
    if (e.Bytes() <= 4) {
      std::memcpy(dest, e.raw + first * size, n * size);
      return true;
    }
    return Get(static_cast<uint64_t>(e.value) + static_cast<uint64_t>(first) * size, dest, n * size);
  }

  void ReadText(const Entry& e, char* dest, size_t room) {
    if (kTypeSizes[e.type] != 1) return;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(e.count, room));
    uint8_t bytes[64] = {};
    if (e.count <= 4) {
      std::memcpy(bytes, e.raw, n);
    } else if (!Get(e.value, bytes, n)) {
      return;
    }
    std::memcpy(dest, bytes, n);
  }

  void ReadTime(const Entry& e, std::optional<CarvedTime>& time) {
    char text[20] = {};
    if (e.count < 19) return;
    ReadText(e, text, 19);
    time = ParseExifTime(reinterpret_cast<const uint8_t*>(text), 19);
  }

  void NoteJpeg(uint64_t offset, uint64_t length, bool thumbnailOfFirst) {
    if (facts_.jpegCount == facts_.jpegs.size()) return;
    facts_.jpegs[facts_.jpegCount++] = {offset, length, thumbnailOfFirst};
  }

  ByteReader& reader_;
  const uint64_t base_;
  const uint64_t span_;
  const bool bigEndian_;
  TiffFacts facts_;
  std::array<uint32_t, kMaxDirectories> queue_{};
  std::array<Role, kMaxDirectories> roles_{};
  size_t queued_ = 0;
  std::vector<uint8_t> table_;
};

bool StartsWith(const char* text, const char* prefix) { return std::strncmp(text, prefix, std::strlen(prefix)) == 0; }

CarvedKind KindOf(const TiffHeader& header, const TiffFacts& facts, bool cr2Signature) {
  if (header.olympus) return CarvedKind::kOrf;
  if (cr2Signature) return CarvedKind::kCr2;
  if (facts.dng) return CarvedKind::kDng;
  if (StartsWith(facts.make.data(), "NIKON") && (facts.nikonRaw || facts.subIfds)) return CarvedKind::kNef;
  if (StartsWith(facts.make.data(), "SONY") && facts.sonyRaw) return CarvedKind::kArw;
  return CarvedKind::kTiff;
}

}  // namespace

std::optional<TiffHeader> ReadTiffHeader(const uint8_t* p) {
  TiffHeader header;
  if (p[0] == 'I' && p[1] == 'I') {
    header.bigEndian = false;
  } else if (p[0] == 'M' && p[1] == 'M') {
    header.bigEndian = true;
  } else {
    return std::nullopt;
  }
  const uint16_t magic = u16(p + 2, header.bigEndian);
  if (magic == 0x4F52 || magic == 0x5352) {  // "RO" and "RS" read in the header's order
    header.olympus = true;
  } else if (magic != 42) {
    return std::nullopt;
  }
  header.firstIfd = u32(p + 4, header.bigEndian);
  if (header.firstIfd < tiff::kHeaderSize) return std::nullopt;
  return header;
}

TiffFacts WalkTiff(ByteReader& reader, uint64_t base, uint64_t span, const TiffHeader& header) {
  return Walker(reader, base, span, header.bigEndian).Run(header.firstIfd);
}

std::optional<CarvedTime> ParseExifTime(const uint8_t* text, size_t size) {
  if (size < 19) return std::nullopt;
  auto number = [&](size_t at, size_t digits, unsigned& out) {
    unsigned value = 0;
    for (size_t i = at; i < at + digits; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
  };
  CarvedTime t;
  if (!number(0, 4, t.year) || !number(5, 2, t.month) || !number(8, 2, t.day) || !number(11, 2, t.hour) ||
      !number(14, 2, t.minute) || !number(17, 2, t.second)) {
    return std::nullopt;
  }
  if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 60) {
    return std::nullopt;
  }
  return t;
}

std::optional<CarvedKind> RecognizeTiffStart(const uint8_t* head, size_t size) {
  if (size < tiff::kHeaderSize) return std::nullopt;
  const std::optional<TiffHeader> header = ReadTiffHeader(head);
  if (!header) return std::nullopt;
  // Where the first directory lies within the head, its first entries must read as fields.
  if (header->firstIfd <= size - 2) {
    const uint16_t count = u16(head + header->firstIfd, header->bigEndian);
    if (count == 0 || count > kMaxEntries) return std::nullopt;
    for (uint16_t i = 0; i < count; ++i) {
      const uint64_t at = header->firstIfd + 2ull + i * tiff::kEntrySize;
      if (at + tiff::kEntrySize > size) break;
      const uint16_t type = u16(head + at + 2, header->bigEndian);
      if (type == 0 || type >= std::size(kTypeSizes)) return std::nullopt;
    }
  }
  if (header->olympus) return CarvedKind::kOrf;
  if (size >= kCr2SignatureOffset + sizeof kCr2Signature &&
      std::memcmp(head + kCr2SignatureOffset, kCr2Signature, sizeof kCr2Signature) == 0) {
    return CarvedKind::kCr2;
  }
  return CarvedKind::kTiff;
}

std::optional<CarveResult> MeasureTiff(ByteReader& reader) {
  uint8_t head[12] = {};
  if (!reader.Get(0, head, tiff::kHeaderSize)) return std::nullopt;
  const std::optional<TiffHeader> header = ReadTiffHeader(head);
  if (!header) return std::nullopt;
  reader.Get(kCr2SignatureOffset, head + kCr2SignatureOffset, sizeof kCr2Signature);
  const bool cr2 = std::memcmp(head + kCr2SignatureOffset, kCr2Signature, sizeof kCr2Signature) == 0;
  const TiffFacts facts = WalkTiff(reader, 0, reader.Limit(), *header);
  if (facts.directories == 0 && !facts.pastSpan) return std::nullopt;
  const CarvedKind kind = KindOf(*header, facts, cr2);
  uint64_t length = std::max<uint64_t>(facts.end, tiff::kHeaderSize);
  // Writers start every value on a word boundary, so a file whose last value has an odd
  // length ends with a zero byte of padding.
  uint8_t pad = 1;
  if (length % 2 == 1 && reader.Get(length, &pad, 1) && pad == 0) ++length;
  CarveResult result = facts.broken || facts.pastSpan || !facts.imageData ? Partial(kind, length) : Whole(kind, length);
  result.recordedTime = facts.taken ? facts.taken : facts.modified;
  return result;
}

std::optional<EmbeddedPreview> FindTiffPreview(ByteReader& reader) {
  uint8_t head[tiff::kHeaderSize];
  if (!reader.Get(0, head, sizeof head)) return std::nullopt;
  const std::optional<TiffHeader> header = ReadTiffHeader(head);
  if (!header) return std::nullopt;
  const TiffFacts facts = WalkTiff(reader, 0, reader.Limit(), *header);
  std::optional<EmbeddedPreview> best;
  for (size_t i = 0; i < facts.jpegCount; ++i) {
    const TiffFacts::Jpeg& jpeg = facts.jpegs[i];
    if (best && jpeg.length <= best->length) continue;
    // Raw image data compressed as lossless JPEG is no picture to show.
    if (JpegIsShowableAt(reader, jpeg.offset)) best = EmbeddedPreview{jpeg.offset, jpeg.length};
  }
  return best;
}

}  // namespace carve
