// ISO base media files (MP4, QuickTime MOV, 3GP, HEIF): a run of top-level boxes, each with
// its size (32 bits, or 64 when the size field is 1), from the file type box to the last one.
// The movie box is walked down to its sample tables: its boxes must fill their parents
// exactly, and every chunk offset must lie within the file.

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"
#include "formats/carve/TiffStructure.h"

namespace carve {

namespace {

constexpr size_t kBoxHeader = 8;
constexpr size_t kLargeBoxHeader = 16;
constexpr uint32_t kLargeSize = 1;  // the size follows the type as 64 bits
constexpr uint32_t kToTheEnd = 0;   // the box runs to the end of the file
constexpr size_t kMaxTopLevelBoxes = 65536;
constexpr size_t kMaxInnerBoxes = 65536;
constexpr int kMaxDepth = 8;
constexpr uint32_t kMaxFileTypeSize = 1024;

constexpr uint32_t Fourcc(const char (&t)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(t[0])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(t[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(t[2])) << 8 | static_cast<uint8_t>(t[3]);
}

constexpr uint32_t kFtyp = Fourcc("ftyp"), kMoov = Fourcc("moov"), kMdat = Fourcc("mdat"), kMeta = Fourcc("meta");
constexpr uint32_t kMoof = Fourcc("moof"), kFree = Fourcc("free"), kSkip = Fourcc("skip"), kWide = Fourcc("wide");
constexpr uint32_t kPnot = Fourcc("pnot"), kStco = Fourcc("stco"), kCo64 = Fourcc("co64");

// The boxes a file may hold at its top level; anything else ends it.
constexpr uint32_t kTopLevel[] = {
    kFtyp, kMoov, kMdat, kMeta, kMoof, kFree, kSkip, kWide, kPnot, Fourcc("uuid"), Fourcc("mfra"), Fourcc("sidx"),
    Fourcc("styp"), Fourcc("pdin"), Fourcc("ssix"), Fourcc("prft"), Fourcc("emsg"), Fourcc("junk"), Fourcc("PICT"),
    Fourcc("udta"),
};
// Boxes within the movie box that hold only boxes.
constexpr uint32_t kContainers[] = {Fourcc("trak"), Fourcc("mdia"), Fourcc("minf"), Fourcc("stbl"),
                                    Fourcc("edts"), Fourcc("dinf"), Fourcc("mvex"), Fourcc("moov")};

// Brands of HEIF pictures (HEVC and AV1 coded), of QuickTime and of 3GPP.
constexpr uint32_t kHeifBrands[] = {Fourcc("heic"), Fourcc("heix"), Fourcc("heim"), Fourcc("heis"), Fourcc("hevc"),
                                    Fourcc("hevx"), Fourcc("mif1"), Fourcc("msf1"), Fourcc("avif"), Fourcc("avis")};

template <size_t N>
bool In(const uint32_t (&set)[N], uint32_t value) {
  return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

bool IsPrintableType(const uint8_t* t) {
  for (int i = 0; i < 4; ++i) {
    if ((t[i] < 0x20 || t[i] > 0x7E) && t[i] != 0xA9) return false;  // 0xA9: QuickTime's '©' boxes
  }
  return true;
}

struct Box {
  uint64_t start = 0, size = 0;
  uint32_t type = 0;
  size_t header = kBoxHeader;
  bool toTheEnd = false;
};

enum class BoxRead { kOk, kNoBox, kTruncated };

// The box at pos within [pos, end); a size of 0 runs to end.
BoxRead ReadBox(ByteReader& reader, uint64_t pos, uint64_t end, Box& box) {
  uint8_t h[kLargeBoxHeader];
  if (end - pos < kBoxHeader) return BoxRead::kNoBox;
  if (!reader.Get(pos, h, kBoxHeader)) return BoxRead::kTruncated;
  box.start = pos;
  box.type = be32(h + 4);
  box.header = kBoxHeader;
  const uint32_t size32 = be32(h);
  if (!IsPrintableType(h + 4)) return BoxRead::kNoBox;
  if (size32 == kLargeSize) {
    if (!reader.Get(pos + kBoxHeader, h + kBoxHeader, 8)) return BoxRead::kTruncated;
    box.size = be64(h + kBoxHeader);
    box.header = kLargeBoxHeader;
    if (box.size < kLargeBoxHeader) return BoxRead::kNoBox;
  } else if (size32 == kToTheEnd) {
    box.size = end - pos;
    box.toTheEnd = true;
  } else if (size32 < kBoxHeader) {
    return BoxRead::kNoBox;
  } else {
    box.size = size32;
  }
  return box.size <= end - pos ? BoxRead::kOk : BoxRead::kTruncated;
}

struct Movie {
  bool broken = false;
  uint64_t lastChunk = 0;  // the furthest chunk offset of any track
  size_t boxes = 0;
};

void ReadChunkOffsets(ByteReader& reader, const Box& box, Movie& movie) {
  const uint64_t body = box.start + box.header;
  uint8_t h[8];
  if (box.size < box.header + 8 || !reader.Get(body, h, 8)) {
    movie.broken = true;
    return;
  }
  const uint64_t entrySize = box.type == kCo64 ? 8 : 4;
  const uint64_t count = be32(h + 4);
  if (count > (box.size - box.header - 8) / entrySize) {
    movie.broken = true;
    return;
  }
  uint8_t block[4096];
  for (uint64_t done = 0; done < count;) {
    const uint64_t n = std::min<uint64_t>(count - done, sizeof block / entrySize);
    if (!reader.Get(body + 8 + done * entrySize, block, n * entrySize)) {
      movie.broken = true;
      return;
    }
    for (uint64_t i = 0; i < n; ++i) {
      const uint64_t offset = entrySize == 8 ? be64(block + 8 * i) : be32(block + 4 * i);
      movie.lastChunk = std::max(movie.lastChunk, offset);
    }
    done += n;
  }
}

// The children of [start, end) must be boxes that fill it exactly.
void WalkChildren(ByteReader& reader, uint64_t start, uint64_t end, int depth, Movie& movie) {
  uint64_t pos = start;
  while (pos < end && !movie.broken) {
    Box box;
    if (++movie.boxes > kMaxInnerBoxes || ReadBox(reader, pos, end, box) != BoxRead::kOk) {
      movie.broken = true;
      return;
    }
    if (box.type == kStco || box.type == kCo64) {
      ReadChunkOffsets(reader, box, movie);
    } else if (depth < kMaxDepth && In(kContainers, box.type)) {
      WalkChildren(reader, box.start + box.header, box.start + box.size, depth + 1, movie);
    }
    pos += box.size;
  }
}

CarvedKind KindOfBrands(const uint8_t* ftyp, size_t size) {
  // The major brand decides; among the compatible ones, a picture's brand wins.
  const uint32_t major = be32(ftyp + 8);
  if (In(kHeifBrands, major)) return CarvedKind::kHeic;
  if (major == Fourcc("qt  ")) return CarvedKind::kMov;
  if ((major >> 16) == (Fourcc("3g  ") >> 16)) return CarvedKind::k3gp;
  for (size_t at = 16; at + 4 <= size; at += 4) {
    if (In(kHeifBrands, be32(ftyp + at)) && major != Fourcc("isom") && major != Fourcc("mp42")) return CarvedKind::kHeic;
  }
  return CarvedKind::kMp4;
}

// A HEIF picture keeps its EXIF block as an item: the item information box names the item of
// type "Exif", the item location box places it, and the item begins with the offset of its
// TIFF header. Nothing where any of that does not read.
constexpr size_t kMaxMetaSize = 256 * 1024;

class MetaItems {
 public:
  explicit MetaItems(std::vector<uint8_t> body) : b_(std::move(body)) {}

  // The file offset and length of the EXIF item.
  std::optional<std::pair<uint64_t, uint64_t>> ExifItem() const {
    std::optional<uint32_t> exifId;
    std::optional<std::pair<uint64_t, uint64_t>> location;
    for (size_t pos = 4; pos + kBoxHeader <= b_.size();) {  // after the meta box's version and flags
      const uint32_t size = be32(&b_[pos]), type = be32(&b_[pos + 4]);
      if (size < kBoxHeader || size > b_.size() - pos) return std::nullopt;
      if (type == Fourcc("iinf")) exifId = FindExifId(pos + kBoxHeader, pos + size);
      pos += size;
    }
    if (!exifId) return std::nullopt;
    for (size_t pos = 4; pos + kBoxHeader <= b_.size();) {
      const uint32_t size = be32(&b_[pos]), type = be32(&b_[pos + 4]);
      if (type == Fourcc("iloc")) location = Locate(pos + kBoxHeader, pos + size, *exifId);
      pos += size;
    }
    return location;
  }

 private:
  bool Has(size_t at, size_t n, size_t end) const { return at <= end && n <= end - at; }
  uint64_t Number(size_t at, size_t bytes) const {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i) v = v << 8 | b_[at + i];
    return v;
  }

  std::optional<uint32_t> FindExifId(size_t at, size_t end) const {
    if (!Has(at, 6, end)) return std::nullopt;
    const uint8_t version = b_[at];
    size_t pos = at + 4 + (version == 0 ? 2 : 4);
    while (Has(pos, kBoxHeader + 4, end)) {
      const uint32_t size = be32(&b_[pos]);
      if (size < kBoxHeader || !Has(pos, size, end)) return std::nullopt;
      if (be32(&b_[pos + 4]) == Fourcc("infe")) {
        const uint8_t v = b_[pos + 8];
        const size_t idSize = v >= 3 ? 4 : 2;
        const size_t typeAt = pos + 12 + idSize + 2;
        if (v >= 2 && Has(typeAt, 4, pos + size) && be32(&b_[typeAt]) == Fourcc("Exif")) {
          return static_cast<uint32_t>(Number(pos + 12, idSize));
        }
      }
      pos += size;
    }
    return std::nullopt;
  }

  std::optional<std::pair<uint64_t, uint64_t>> Locate(size_t at, size_t end, uint32_t id) const {
    if (!Has(at, 8, end)) return std::nullopt;
    const uint8_t version = b_[at];
    const size_t offsetSize = b_[at + 4] >> 4, lengthSize = b_[at + 4] & 15;
    const size_t baseSize = b_[at + 5] >> 4, indexSize = version >= 1 ? (b_[at + 5] & 15) : 0;
    const size_t idSize = version < 2 ? 2 : 4;
    size_t pos = at + 6;
    if (!Has(pos, idSize, end)) return std::nullopt;
    const uint64_t count = Number(pos, idSize);
    pos += idSize;
    for (uint64_t i = 0; i < count; ++i) {
      const size_t fixed = idSize + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
      if (!Has(pos, fixed, end)) return std::nullopt;
      const uint64_t itemId = Number(pos, idSize);
      size_t q = pos + idSize;
      const uint16_t method = version >= 1 ? be16(&b_[q]) & 15 : 0;
      if (version >= 1) q += 2;
      q += 2;  // data reference index
      const uint64_t base = Number(q, baseSize);
      q += baseSize;
      const uint16_t extents = be16(&b_[q]);
      q += 2;
      const size_t extentSize = indexSize + offsetSize + lengthSize;
      if (!Has(q, size_t{extents} * extentSize, end)) return std::nullopt;
      if (itemId == id) {
        if (method != 0 || extents == 0) return std::nullopt;
        return std::pair(base + Number(q + indexSize, offsetSize), Number(q + indexSize + offsetSize, lengthSize));
      }
      pos = q + size_t{extents} * extentSize;
    }
    return std::nullopt;
  }

  std::vector<uint8_t> b_;
};

std::optional<CarvedTime> HeifTakenTime(ByteReader& reader, const Box& meta) {
  const uint64_t bodySize = meta.size - meta.header;
  if (bodySize > kMaxMetaSize) return std::nullopt;
  std::vector<uint8_t> body(static_cast<size_t>(bodySize));
  if (!reader.Get(meta.start + meta.header, body.data(), body.size())) return std::nullopt;
  const std::optional<std::pair<uint64_t, uint64_t>> item = MetaItems(std::move(body)).ExifItem();
  if (!item || item->second < 4 + tiff::kHeaderSize) return std::nullopt;
  uint8_t skip[4];
  if (!reader.Get(item->first, skip, 4)) return std::nullopt;
  const uint64_t headerOffset = be32(skip);
  if (headerOffset > item->second - 4 - tiff::kHeaderSize) return std::nullopt;
  const uint64_t base = item->first + 4 + headerOffset;
  uint8_t header[tiff::kHeaderSize];
  if (!reader.Get(base, header, sizeof header)) return std::nullopt;
  const std::optional<TiffHeader> tiffHeader = ReadTiffHeader(header);
  if (!tiffHeader) return std::nullopt;
  const TiffFacts facts = WalkTiff(reader, base, item->second - 4 - headerOffset, *tiffHeader);
  return facts.taken ? facts.taken : facts.modified;
}

}  // namespace

std::optional<CarvedKind> RecognizeIsoMediaStart(const uint8_t* head, size_t size) {
  if (size < 16 || !IsPrintableType(head + 4)) return std::nullopt;
  const uint32_t boxSize = be32(head), type = be32(head + 4);
  if (type == kFtyp) {
    if (boxSize < 16 || boxSize > kMaxFileTypeSize || boxSize % 4 != 0) return std::nullopt;
    for (int i = 8; i < 12; ++i) {
      const uint8_t c = head[i];
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ')) return std::nullopt;
    }
    return KindOfBrands(head, std::min<size_t>(boxSize, size));
  }
  // QuickTime files from before the file type box begin with the movie, its data or a
  // placeholder for it.
  // (Such a movie box, ahead of its data, is a few megabytes at most.)
  if (type == kMoov && boxSize >= 16 && boxSize < (1u << 24) && be32(head + 12) == Fourcc("mvhd")) return CarvedKind::kMov;
  if (type == kWide && boxSize == 8 && be32(head + 12) == kMdat) return CarvedKind::kMov;
  if (type == kPnot && boxSize == 20) return CarvedKind::kMov;
  return std::nullopt;
}

std::optional<CarveResult> MeasureIsoMedia(ByteReader& reader) {
  uint8_t head[64] = {};
  if (!reader.Get(0, head, 16)) return std::nullopt;
  reader.Get(16, head + 16, sizeof head - 16);
  if (!RecognizeIsoMediaStart(head, sizeof head) && !RecognizeIsoMediaStart(head, 16)) return std::nullopt;
  CarvedKind kind = CarvedKind::kMov;
  bool fileType = false, movie = false, media = false, meta = false;
  Movie facts;
  Box metaBox;
  uint64_t pos = 0;
  const uint64_t limit = reader.Limit();
  for (size_t boxes = 0; boxes < kMaxTopLevelBoxes && pos < limit; ++boxes) {
    Box box;
    const BoxRead read = ReadBox(reader, pos, limit, box);
    if (read == BoxRead::kNoBox || !In(kTopLevel, box.type)) break;  // the file ends before what is not its box
    // A box that is cut off, or that runs to an end no longer known (a recording that was
    // never finished), leaves the file's length unknown.
    if (read == BoxRead::kTruncated || box.toTheEnd) return Partial(kind, limit);
    if (box.type == kFtyp && pos == 0) {
      fileType = true;
      uint8_t ftyp[kMaxFileTypeSize];
      const size_t n = static_cast<size_t>(std::min<uint64_t>(box.size, sizeof ftyp));
      if (reader.Get(0, ftyp, n)) kind = KindOfBrands(ftyp, n);
    } else if (box.type == kMoov) {
      movie = true;
      WalkChildren(reader, box.start + box.header, box.start + box.size, 0, facts);
    } else if (box.type == kMdat || box.type == kMoof) {
      media = true;
    } else if (box.type == kMeta) {
      meta = true;
      metaBox = box;
      // A full box: version and flags before its children.
      if (box.size < box.header + 4) facts.broken = true;
      else WalkChildren(reader, box.start + box.header + 4, box.start + box.size, kMaxDepth, facts);
    }
    pos += box.size;
  }
  if (pos == 0) return std::nullopt;
  const bool complete = movie ? media : (meta && media && kind == CarvedKind::kHeic);
  const bool whole = (fileType || kind == CarvedKind::kMov) && complete && !facts.broken && facts.lastChunk < pos;
  CarveResult result = whole ? Whole(kind, pos) : Partial(kind, pos);
  if (meta && kind == CarvedKind::kHeic) result.recordedTime = HeifTakenTime(reader, metaBox);
  return result;
}

}  // namespace carve
