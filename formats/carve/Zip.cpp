// ZIP archives and the documents built on them (Office Open XML, OpenDocument, EPUB): the
// local entries from the first on, each one's data inflated (or summed, where stored) and
// checked against its CRC-32 and sizes; then the central directory, which must name as many
// entries at the same offsets; then the ZIP64 records where there are any, and the end of
// central directory record, which must point back at that directory. The names in the
// directory tell the document kinds apart.

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

namespace zip {
constexpr uint32_t kLocalSignature = 0x04034B50, kCentralSignature = 0x02014B50, kEndSignature = 0x06054B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50, kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50, kDigitalSignature = 0x05054B50;
constexpr size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22, kZip64EndSize = 56, kZip64LocatorSize = 20;
// Local header fields.
constexpr size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14, kLocalCompressed = 18, kLocalSizeField = 22;
constexpr size_t kLocalNameLength = 26, kLocalExtraLength = 28;
// Central directory header fields.
constexpr size_t kCentralNameLength = 28, kCentralExtraLength = 30, kCentralCommentLength = 32;
constexpr size_t kCentralCompressed = 20, kCentralSizeField = 24, kCentralLocalOffset = 42;
// End records.
constexpr size_t kEndEntries = 10, kEndDirectorySize = 12, kEndDirectoryOffset = 16, kEndCommentLength = 20;
constexpr size_t kZip64RecordSize = 4, kZip64Entries = 32, kZip64DirectorySize = 40, kZip64DirectoryOffset = 48;
constexpr size_t kZip64LocatorOffset = 8;
constexpr uint16_t kEncryptedFlag = 0x0001, kDataDescriptorFlag = 0x0008;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint32_t kSaturated32 = 0xFFFFFFFF;
constexpr uint16_t kSaturated16 = 0xFFFF;
}  // namespace zip

constexpr size_t kMaxEntries = 1 << 20;
constexpr size_t kMaxName = 1024;
// What the whole walk may inflate: a little more than sixteen times the bytes it may read (a
// document's XML seldom shrinks more), and never more than 1 GiB. Past it, entries whose sizes
// the local headers give are stepped over unchecked.
constexpr uint64_t kMaxInflated = 1ull << 30;
constexpr uint64_t kInflatedBase = 64ull << 20;
constexpr uint64_t kInflatedPerByte = 16;
constexpr size_t kMimeTypeMax = 64;

std::string_view Name(const uint8_t* p, size_t n) { return {reinterpret_cast<const char*>(p), n}; }

struct Sizes {
  uint64_t compressed = 0, uncompressed = 0, localOffset = 0;
};

// Replaces the 32-bit fields that are saturated with the ZIP64 extra field's values, in the
// order the format keeps them.
void ApplyZip64(const uint8_t* extra, size_t n, Sizes& sizes, bool compressedSaturated, bool sizeSaturated,
                bool offsetSaturated) {
  for (size_t at = 0; at + 4 <= n;) {
    const uint16_t id = le16(extra + at), length = le16(extra + at + 2);
    if (at + 4 + length > n) return;
    if (id == zip::kZip64Extra) {
      size_t field = at + 4;
      const size_t end = at + 4 + length;
      auto take = [&](uint64_t& value) {
        if (field + 8 <= end) {
          value = le64(extra + field);
          field += 8;
        }
      };
      if (sizeSaturated) take(sizes.uncompressed);
      if (compressedSaturated) take(sizes.compressed);
      if (offsetSaturated) take(sizes.localOffset);
      return;
    }
    at += 4 + length;
  }
}

enum class Check { kOk, kBroken, kTruncated, kUnchecked };

struct Inflation {
  Check check = Check::kBroken;
  uint64_t consumed = 0, produced = 0;
  uLong crc = 0;
};

class Walker {
 public:
  explicit Walker(ByteReader& reader)
      : reader_(reader), inflateBudget_(std::min(kMaxInflated, kInflatedBase + kInflatedPerByte * std::min(reader.Limit(), kMaxInflated))) {}

  std::optional<CarveResult> Run();

 private:
  Inflation Inflate(uint64_t from, uint64_t maxIn);
  std::optional<uint64_t> FindDescriptor(uint64_t data);
  bool ReadEntry(uint64_t& pos, Check& check);
  void NoteName(std::string_view name);
  CarvedKind Kind() const;

  ByteReader& reader_;
  uint64_t inflateBudget_;
  std::vector<uint8_t> out_;
  bool contentTypes_ = false, word_ = false, excel_ = false, powerPoint_ = false;
  char mimeType_[kMimeTypeMax + 1] = {};
};

Inflation Walker::Inflate(uint64_t from, uint64_t maxIn) {
  Inflation result;
  if (inflateBudget_ == 0) {
    result.check = Check::kUnchecked;
    return result;
  }
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return result;
  out_.resize(64 * 1024);
  result.crc = crc32(0, nullptr, 0);
  uint64_t pos = from;
  for (;;) {
    const ByteReader::Stretch s = reader_.StretchAt(pos);
    if (s.size == 0) {
      result.check = Check::kTruncated;
      break;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(s.size, maxIn - (pos - from)));
    if (n == 0) break;  // ran past the compressed size the entry claims
    z.next_in = const_cast<Bytef*>(s.data);
    z.avail_in = static_cast<uInt>(n);
    int status = Z_OK;
    while (z.avail_in > 0 && status == Z_OK) {
      z.next_out = out_.data();
      z.avail_out = static_cast<uInt>(out_.size());
      status = inflate(&z, Z_NO_FLUSH);
      const size_t made = out_.size() - z.avail_out;
      result.crc = crc32(result.crc, out_.data(), static_cast<uInt>(made));
      result.produced += made;
      inflateBudget_ -= std::min<uint64_t>(made, inflateBudget_);
      if (status == Z_BUF_ERROR && made > 0) status = Z_OK;
      if (inflateBudget_ == 0 && status != Z_STREAM_END) status = Z_MEM_ERROR;
    }
    pos += n - z.avail_in;
    if (status == Z_STREAM_END) {
      result.check = Check::kOk;
      result.consumed = pos - from;
      break;
    }
    if (inflateBudget_ == 0) {
      result.check = Check::kUnchecked;
      break;
    }
    if (status != Z_OK && status != Z_BUF_ERROR) break;
  }
  inflateEnd(&z);
  return result;
}

// The length of an entry's data that only its data descriptor gives (data stored, or
// encrypted, with the sizes left for later): the first descriptor signature after it whose
// compressed size is the distance it lies at.
std::optional<uint64_t> Walker::FindDescriptor(uint64_t data) {
  static constexpr char kSignature[] = {'P', 'K', 7, 8};
  for (uint64_t pos = data;;) {
    const ByteReader::Stretch s = reader_.StretchAt(pos, 16);
    if (s.size < 16) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(s.data), s.size - 12);
    for (size_t at = text.find(std::string_view(kSignature, 4)); at != std::string_view::npos;
         at = text.find(std::string_view(kSignature, 4), at + 1)) {
      if (le32(s.data + at + 8) == pos + at - data) return pos + at - data;
    }
    pos += s.size - 15;
  }
}

void Walker::NoteName(std::string_view name) {
  if (name == "[Content_Types].xml") contentTypes_ = true;
  if (name == "word/document.xml") word_ = true;
  if (name == "xl/workbook.xml") excel_ = true;
  if (name == "ppt/presentation.xml") powerPoint_ = true;
}

CarvedKind Walker::Kind() const {
  const std::string_view mime(mimeType_);
  if (mime == "application/vnd.oasis.opendocument.text") return CarvedKind::kOdt;
  if (mime == "application/epub+zip") return CarvedKind::kEpub;
  if (contentTypes_ && word_) return CarvedKind::kDocx;
  if (contentTypes_ && excel_) return CarvedKind::kXlsx;
  if (contentTypes_ && powerPoint_) return CarvedKind::kPptx;
  return CarvedKind::kZip;
}

// One local entry at pos: its header, its data checked and its data descriptor. Moves pos
// past it; false where it does not check (check says how).
bool Walker::ReadEntry(uint64_t& pos, Check& check) {
  check = Check::kTruncated;
  const uint8_t* h = reader_.View(pos, zip::kLocalSize);
  if (!h) return false;
  check = Check::kBroken;
  const uint16_t flags = le16(h + zip::kLocalFlags), method = le16(h + zip::kLocalMethod);
  const uint32_t crc = le32(h + zip::kLocalCrc);
  const size_t nameLength = le16(h + zip::kLocalNameLength), extraLength = le16(h + zip::kLocalExtraLength);
  Sizes sizes{le32(h + zip::kLocalCompressed), le32(h + zip::kLocalSizeField), 0};
  if (nameLength == 0 || nameLength > kMaxName) return false;
  const bool compressedSaturated = sizes.compressed == zip::kSaturated32;
  const bool sizeSaturated = sizes.uncompressed == zip::kSaturated32;
  const uint8_t* names = reader_.View(pos + zip::kLocalSize, nameLength + extraLength);
  if (!names) {
    check = Check::kTruncated;
    return false;
  }
  const bool zip64 = compressedSaturated || sizeSaturated;
  if (zip64) ApplyZip64(names + nameLength, extraLength, sizes, compressedSaturated, sizeSaturated, false);
  const bool first = pos == 0;
  const bool mimeTypeEntry = first && Name(names, nameLength) == "mimetype";
  const uint64_t data = pos + zip::kLocalSize + nameLength + extraLength;
  const bool sizesLater = (flags & zip::kDataDescriptorFlag) != 0;
  uint64_t dataLength = sizes.compressed;
  if (flags & zip::kEncryptedFlag) {
    // Encrypted data cannot be checked; its length is what the header or the descriptor says.
    if (sizesLater && sizes.compressed == 0) {
      const std::optional<uint64_t> found = FindDescriptor(data);
      if (!found) {
        check = Check::kTruncated;
        return false;
      }
      dataLength = *found;
    }
  } else if (method == zip::kDeflated) {
    const uint64_t maxIn = sizesLater && sizes.compressed == 0 ? reader_.Limit() - std::min(data, reader_.Limit())
                                                               : sizes.compressed;
    const Inflation inflated = Inflate(data, maxIn);
    if (inflated.check == Check::kTruncated) {
      check = Check::kTruncated;
      return false;
    }
    if (inflated.check == Check::kBroken) return false;
    if (inflated.check == Check::kOk) {
      dataLength = inflated.consumed;
      if (!sizesLater && (inflated.consumed != sizes.compressed || inflated.produced != sizes.uncompressed ||
                          inflated.crc != crc)) {
        return false;
      }
    } else if (sizesLater && sizes.compressed == 0) {
      return false;  // too much to inflate, and no other way to learn where the data ends
    }
  } else if (method == zip::kStored && !(sizesLater && sizes.compressed == 0)) {
    const std::optional<uint32_t> sum = Crc32Over(reader_, data, sizes.compressed);
    if (!sum) {
      check = Check::kTruncated;
      return false;
    }
    if (!sizesLater && (*sum != crc || sizes.compressed != sizes.uncompressed)) return false;
    if (mimeTypeEntry && sizes.compressed <= kMimeTypeMax) {
      reader_.Get(data, reinterpret_cast<uint8_t*>(mimeType_), static_cast<size_t>(sizes.compressed));
    }
  } else if (sizesLater && sizes.compressed == 0) {
    const std::optional<uint64_t> found = FindDescriptor(data);
    if (!found) {
      check = Check::kTruncated;
      return false;
    }
    dataLength = *found;
  }
  pos = data + dataLength;
  if (!reader_.Holds(0, pos)) {
    check = Check::kTruncated;
    return false;
  }
  if (sizesLater) {
    // The descriptor, with or without its signature, with 32- or 64-bit sizes.
    uint8_t d[24] = {};
    if (!reader_.Get(pos, d, 16)) {
      check = Check::kTruncated;
      return false;
    }
    reader_.Get(pos + 16, d + 16, 8);
    const size_t skip = le32(d) == zip::kDescriptorSignature ? 4 : 0;
    if (le32(d + skip + 4) == dataLength) {
      pos += skip + 12;
    } else if (le64(d + skip + 4) == dataLength) {
      pos += skip + 20;
    } else {
      return false;
    }
  }
  check = Check::kOk;
  return true;
}

std::optional<CarveResult> Walker::Run() {
  uint64_t pos = 0, entries = 0, offsetSum = 0;
  for (;;) {
    uint8_t sig[4];
    if (!reader_.Get(pos, sig, 4)) return entries == 0 ? std::nullopt : std::optional(Partial(Kind(), reader_.Limit()));
    if (le32(sig) != zip::kLocalSignature) break;
    if (entries == kMaxEntries) return Partial(Kind(), pos);
    const uint64_t entry = pos;
    Check check;
    if (!ReadEntry(pos, check)) {
      if (entries == 0 && check == Check::kBroken) return std::nullopt;
      return Partial(Kind(), check == Check::kTruncated ? reader_.Limit() : entry);
    }
    offsetSum += entry;
    ++entries;
  }
  if (entries == 0) return std::nullopt;
  // The central directory: as many entries as were walked, at the same local offsets.
  const uint64_t directory = pos;
  uint64_t listed = 0, listedSum = 0;
  for (;;) {
    const uint8_t* h = reader_.View(pos, 4);
    if (!h) return Partial(Kind(), reader_.Limit());
    if (le32(h) == zip::kDigitalSignature) {
      h = reader_.View(pos, 6);
      if (!h) return Partial(Kind(), reader_.Limit());
      pos += 6 + uint64_t{le16(h + 4)};
      continue;
    }
    if (le32(h) != zip::kCentralSignature) break;
    if (listed == entries) return Partial(Kind(), pos);
    h = reader_.View(pos, zip::kCentralSize);
    if (!h) return Partial(Kind(), reader_.Limit());
    const size_t nameLength = le16(h + zip::kCentralNameLength), extraLength = le16(h + zip::kCentralExtraLength);
    const size_t commentLength = le16(h + zip::kCentralCommentLength);
    Sizes sizes{le32(h + zip::kCentralCompressed), le32(h + zip::kCentralSizeField), le32(h + zip::kCentralLocalOffset)};
    const bool c = sizes.compressed == zip::kSaturated32, u = sizes.uncompressed == zip::kSaturated32;
    const bool o = sizes.localOffset == zip::kSaturated32;
    const uint8_t* names = reader_.View(pos + zip::kCentralSize, nameLength + extraLength);
    if (!names) return Partial(Kind(), reader_.Limit());
    if (c || u || o) ApplyZip64(names + nameLength, extraLength, sizes, c, u, o);
    NoteName(Name(names, nameLength));
    listedSum += sizes.localOffset;
    ++listed;
    pos += zip::kCentralSize + nameLength + extraLength + commentLength;
  }
  const uint64_t directoryEnd = pos;
  const uint64_t directorySize = directoryEnd - directory;
  if (listed != entries || listedSum != offsetSum) return Partial(Kind(), directoryEnd);
  uint8_t h[zip::kZip64EndSize];
  bool zip64 = false;
  if (reader_.Get(pos, h, 4) && le32(h) == zip::kZip64EndSignature) {
    if (!reader_.Get(pos, h, sizeof h)) return Partial(Kind(), reader_.Limit());
    if (le64(h + zip::kZip64Entries) != entries || le64(h + zip::kZip64DirectorySize) != directorySize ||
        le64(h + zip::kZip64DirectoryOffset) != directory) {
      return Partial(Kind(), pos);
    }
    const uint64_t record = pos;
    pos += 12 + le64(h + zip::kZip64RecordSize);
    if (pos < record || !reader_.Get(pos, h, zip::kZip64LocatorSize) || le32(h) != zip::kZip64LocatorSignature ||
        le64(h + zip::kZip64LocatorOffset) != record) {
      return Partial(Kind(), std::min(pos, reader_.Limit()));
    }
    pos += zip::kZip64LocatorSize;
    zip64 = true;
  }
  if (!reader_.Get(pos, h, zip::kEndSize)) return Partial(Kind(), reader_.Limit());
  if (le32(h) != zip::kEndSignature) return Partial(Kind(), pos);
  const uint16_t endEntries = le16(h + zip::kEndEntries);
  const uint32_t endSize = le32(h + zip::kEndDirectorySize), endOffset = le32(h + zip::kEndDirectoryOffset);
  const bool entriesMatch = endEntries == (entries & 0xFFFF) || (zip64 && endEntries == zip::kSaturated16);
  const bool sizeMatches = endSize == directorySize || (zip64 && endSize == zip::kSaturated32);
  const bool offsetMatches = endOffset == directory || (zip64 && endOffset == zip::kSaturated32);
  const uint64_t end = pos + zip::kEndSize + le16(h + zip::kEndCommentLength);
  if (!entriesMatch || !sizeMatches || !offsetMatches) return Partial(Kind(), pos);
  if (!reader_.Holds(0, end)) return Partial(Kind(), reader_.Limit());
  return Whole(Kind(), end);
}

}  // namespace

std::optional<CarvedKind> RecognizeZipStart(const uint8_t* head, size_t size) {
  if (size < zip::kLocalSize || le32(head) != zip::kLocalSignature) return std::nullopt;
  const uint16_t method = le16(head + zip::kLocalMethod);
  const size_t nameLength = le16(head + zip::kLocalNameLength);
  if (head[4] > 90 || nameLength == 0 || nameLength > kMaxName) return std::nullopt;
  if (method != 0 && method != 8 && method != 9 && method != 12 && method != 14 && method != 93 && method != 95 &&
      method != 98 && method != 99) {
    return std::nullopt;
  }
  const size_t shown = std::min(nameLength, size - zip::kLocalSize);
  for (size_t i = 0; i < shown; ++i) {
    if (head[zip::kLocalSize + i] < 0x20) return std::nullopt;
  }
  // The first entry of an OpenDocument file or an EPUB is its type, stored.
  const std::string_view name = Name(head + zip::kLocalSize, shown);
  const size_t data = zip::kLocalSize + nameLength + le16(head + zip::kLocalExtraLength);
  if (name == "mimetype" && method == 0 && data < size) {
    const std::string_view mime = Name(head + data, std::min<size_t>(le32(head + zip::kLocalCompressed), size - data));
    if (mime == "application/epub+zip") return CarvedKind::kEpub;
    if (mime == "application/vnd.oasis.opendocument.text") return CarvedKind::kOdt;
  }
  return CarvedKind::kZip;
}

std::optional<CarveResult> MeasureZip(ByteReader& reader) { return Walker(reader).Run(); }

}  // namespace carve
