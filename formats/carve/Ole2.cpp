// OLE2 compound files (Word, Excel and PowerPoint 97 to 2003): a header, then sectors of 512
// or 4096 bytes chained through the file allocation table. The file ends with the highest
// sector the table marks in use; the directory's chain and the chains of its large streams
// must walk within it, and its root entries tell a document from a workbook or a
// presentation.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

namespace ole {
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderSize = 512;
constexpr size_t kMajorVersion = 0x1A, kByteOrder = 0x1C, kSectorShift = 0x1E, kMiniSectorShift = 0x20;
constexpr size_t kFatSectors = 0x2C, kFirstDirectorySector = 0x30, kMiniStreamCutoff = 0x38;
constexpr size_t kFirstDifatSector = 0x44, kDifatSectors = 0x48, kHeaderDifat = 0x4C;
constexpr size_t kHeaderDifatEntries = 109;
constexpr uint32_t kMaxRegular = 0xFFFFFFFA, kEndOfChain = 0xFFFFFFFE, kFree = 0xFFFFFFFF;
constexpr uint32_t kFatSector = 0xFFFFFFFD, kDifatSector = 0xFFFFFFFC;
// Directory entries.
constexpr size_t kEntrySize = 128, kNameLength = 0x40, kType = 0x42, kStartSector = 0x74, kStreamSize = 0x78;
constexpr uint8_t kStream = 2, kRoot = 5;
}  // namespace ole

constexpr uint64_t kMaxDirectoryEntries = 1 << 16;

// One sector of the allocation table at a time: chains mostly run forward, so one is enough.
class Fat {
 public:
  Fat(ByteReader& reader, unsigned shift) : reader_(reader), shift_(shift), sector_(size_t{1} << shift) {}

  void Add(uint32_t fatSector) { sectors_.push_back(fatSector); }
  size_t Sectors() const { return sectors_.size(); }
  uint64_t Entries() const { return uint64_t{sectors_.size()} << (shift_ - 2); }
  uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) << shift_; }

  // The entry of sector, or nothing where its table sector cannot be read.
  std::optional<uint32_t> Next(uint32_t sector) {
    const uint64_t index = sector >> (shift_ - 2);
    if (index >= sectors_.size()) return std::nullopt;
    if (index != loaded_) {
      if (!reader_.Get(Offset(sectors_[index]), sector_.data(), sector_.size())) return std::nullopt;
      loaded_ = index;
    }
    return le32(sector_.data() + 4 * (sector & ((1u << (shift_ - 2)) - 1)));
  }

  uint32_t TableSector(size_t i) const { return sectors_[i]; }

 private:
  ByteReader& reader_;
  unsigned shift_;
  std::vector<uint8_t> sector_;
  std::vector<uint32_t> sectors_;
  uint64_t loaded_ = ~0ull;
};

bool NameIs(const uint8_t* entry, const char* name) {
  const size_t length = std::strlen(name);
  if (le16(entry + ole::kNameLength) != 2 * (length + 1)) return false;
  for (size_t i = 0; i < length; ++i) {
    if (le16(entry + 2 * i) != static_cast<uint8_t>(name[i])) return false;
  }
  return true;
}

bool HeaderChecks(const uint8_t* h, unsigned& shift) {
  if (std::memcmp(h, ole::kSignature, sizeof ole::kSignature) != 0 || le16(h + ole::kByteOrder) != 0xFFFE) return false;
  const uint16_t major = le16(h + ole::kMajorVersion);
  shift = le16(h + ole::kSectorShift);
  if (!((major == 3 && shift == 9) || (major == 4 && shift == 12))) return false;
  return le16(h + ole::kMiniSectorShift) == 6;
}

}  // namespace

std::optional<CarvedKind> RecognizeOle2Start(const uint8_t* head, size_t size) {
  unsigned shift = 0;
  if (size < ole::kHeaderSize || !HeaderChecks(head, shift)) return std::nullopt;
  if (le32(head + ole::kFatSectors) == 0 || le32(head + ole::kMiniStreamCutoff) != 4096) return std::nullopt;
  return CarvedKind::kDoc;
}

std::optional<CarveResult> MeasureOle2(ByteReader& reader) {
  uint8_t h[ole::kHeaderSize];
  unsigned shift = 0;
  if (!reader.Get(0, h, sizeof h) || !HeaderChecks(h, shift)) return std::nullopt;
  const uint64_t sectorSize = uint64_t{1} << shift;
  const uint64_t perSector = sectorSize / 4;
  const uint64_t limitSectors = reader.Limit() / sectorSize;  // the header's included
  const uint32_t fatSectors = le32(h + ole::kFatSectors);
  CarvedKind kind = CarvedKind::kDoc;
  if (fatSectors == 0 || fatSectors > limitSectors) return Partial(kind, reader.Limit());
  // The table's own sectors: 109 in the header, the rest in the DIFAT chain.
  Fat fat(reader, shift);
  for (size_t i = 0; i < ole::kHeaderDifatEntries && fat.Sectors() < fatSectors; ++i) {
    fat.Add(le32(h + ole::kHeaderDifat + 4 * i));
  }
  uint32_t difat = le32(h + ole::kFirstDifatSector);
  uint64_t highest = 0;
  std::vector<uint8_t> sector(sectorSize);
  for (uint32_t n = 0; fat.Sectors() < fatSectors; ++n) {
    if (n >= le32(h + ole::kDifatSectors) || difat > ole::kMaxRegular) return Partial(kind, reader.Limit());
    if (!reader.Get(fat.Offset(difat), sector.data(), sector.size())) return Partial(kind, reader.Limit());
    highest = std::max<uint64_t>(highest, difat);
    for (uint64_t i = 0; i + 1 < perSector && fat.Sectors() < fatSectors; ++i) fat.Add(le32(sector.data() + 4 * i));
    difat = le32(sector.data() + sectorSize - 4);
  }
  // The highest sector in use, from every entry of the table.
  for (size_t i = 0; i < fat.Sectors(); ++i) {
    const uint32_t at = fat.TableSector(i);
    if (at > ole::kMaxRegular || at + 1 >= limitSectors) return Partial(kind, reader.Limit());
    if (!reader.Get(fat.Offset(at), sector.data(), sector.size())) return Partial(kind, reader.Limit());
    for (uint64_t k = 0; k < perSector; ++k) {
      const uint32_t entry = le32(sector.data() + 4 * k);
      if (entry == ole::kFree) continue;
      if (entry <= ole::kMaxRegular && entry >= fat.Entries()) return Partial(kind, reader.Limit());
      if (entry > ole::kMaxRegular && entry != ole::kEndOfChain && entry != ole::kFatSector &&
          entry != ole::kDifatSector) {
        return Partial(kind, reader.Limit());
      }
      highest = std::max<uint64_t>(highest, i * perSector + k);
    }
  }
  const uint64_t length = (highest + 2) * sectorSize;
  if (length > reader.Limit()) return Partial(kind, reader.Limit());
  // The directory: its chain, the root first, and the chain of every large stream.
  const uint32_t cutoff = le32(h + ole::kMiniStreamCutoff);
  bool root = false, word = false, excel = false, powerPoint = false;
  uint32_t at = le32(h + ole::kFirstDirectorySector);
  uint64_t entries = 0;
  bool chainsCheck = true;
  // Each sector belongs to one chain at most, so all the large streams' chains together hold
  // no more sectors than the file.
  uint64_t chainSteps = 0;
  for (uint64_t steps = 0; at != ole::kEndOfChain; ++steps) {
    if (steps > highest || at > highest) return Partial(kind, length);
    if (!reader.Get(fat.Offset(at), sector.data(), sector.size())) return Partial(kind, length);
    for (uint64_t e = 0; e < sectorSize / ole::kEntrySize && entries < kMaxDirectoryEntries; ++e, ++entries) {
      const uint8_t* entry = sector.data() + e * ole::kEntrySize;
      const uint8_t type = entry[ole::kType];
      if (entries == 0) root = type == ole::kRoot;
      if (type != ole::kStream) continue;
      word = word || NameIs(entry, "WordDocument");
      excel = excel || NameIs(entry, "Workbook") || NameIs(entry, "Book");
      powerPoint = powerPoint || NameIs(entry, "PowerPoint Document");
      const uint64_t size = shift == 9 ? le32(entry + ole::kStreamSize) : le64(entry + ole::kStreamSize);
      if (size < cutoff) continue;
      // A large stream's chain holds as many sectors as its size needs, then ends.
      uint32_t s = le32(entry + ole::kStartSector);
      const uint64_t needed = (size + sectorSize - 1) / sectorSize;
      if (needed > highest + 1 - std::min(chainSteps, highest + 1)) chainsCheck = false;
      for (uint64_t k = 0; k < needed && chainsCheck; ++k, ++chainSteps) {
        const std::optional<uint32_t> next = s <= highest ? fat.Next(s) : std::nullopt;
        if (!next || (k + 1 < needed ? *next > highest : *next != ole::kEndOfChain)) chainsCheck = false;
        s = next.value_or(ole::kEndOfChain);
      }
    }
    const std::optional<uint32_t> next = fat.Next(at);
    if (!next) return Partial(kind, length);
    at = *next;
  }
  if (word) kind = CarvedKind::kDoc;
  else if (excel) kind = CarvedKind::kXls;
  else if (powerPoint) kind = CarvedKind::kPpt;
  return root && chainsCheck ? Whole(kind, length) : Partial(kind, length);
}

}  // namespace carve
