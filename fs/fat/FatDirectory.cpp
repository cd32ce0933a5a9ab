#include "fs/fat/FatDirectory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "fs/Bytes.h"
#include "fs/ByteSink.h"
#include "fs/ClusterTrail.h"
#include "fs/DosFields.h"
#include "fs/OemCodePage.h"
#include "fs/Text.h"
#include "fs/fat/FatPartition.h"

namespace {

// The bytes of a field up to its first zero byte.
std::string_view UpToZero(const uint8_t* field, size_t length) {
  const auto* text = reinterpret_cast<const char*>(field);
  return std::string_view(text, std::find(text, text + length, '\0') - text);
}

// Appends the 13 characters of a long-name slot to name, as many as fit in room.
void AppendPiece(const FATDirectoryEntry& record, std::u16string& name, size_t room) {
  std::u16string piece = ReadUtf16Le(record.raw.data() + fat::kLongChars1, 5);
  piece += ReadUtf16Le(record.raw.data() + fat::kLongChars2, 6);
  piece += ReadUtf16Le(record.raw.data() + fat::kLongChars3, 2);
  name.append(piece, 0, std::min(room, piece.size()));
}

// Turns a directory's bytes into records as the read delivers them, without holding them
// whole. A run of empty slots (all 32 bytes zero) becomes one record: such a slot makes no node
// and ends any long name, and one does that as well as a run of them, so a directory whose
// chain runs through zeroed clusters costs no memory for them.
class SlotCollector final : public ByteSink {
 public:
  static constexpr std::array<uint8_t, fat::kSlotSize> kEmptySlot{};

  SlotCollector(FATRecordList& out, int32_t fatType) : out_(out), fatType_(fatType) {}

  // The read lands in one buffer kept for the whole directory, as large as its largest run of
  // clusters: the slots are taken from it at once, so nothing needs gathering.
  uint8_t* Space(size_t n) override {
    if (n > capacity_) {
      space_ = std::make_unique_for_overwrite<uint8_t[]>(n);
      capacity_ = n;
    }
    return space_.get();
  }

  bool Write(const uint8_t* data, size_t n) override {
    if (held_ > 0) {  // a slot that the previous piece began
      const size_t take = std::min(n, partial_.size() - held_);
      std::copy_n(data, take, partial_.begin() + held_);
      held_ += take;
      data += take;
      n -= take;
      if (held_ < partial_.size()) return true;
      Take(partial_.data());
      held_ = 0;
    }
    for (; n >= fat::kSlotSize; data += fat::kSlotSize, n -= fat::kSlotSize) Take(data);
    std::copy_n(data, n, partial_.begin());  // a remainder shorter than a slot waits for the next piece
    held_ = n;
    return true;
  }

  void NoteShortfall(DataShortfall why, uint64_t standIns) override { shortfall_.Note(why, standIns); }
  DataShortfall shortfall() const { return shortfall_.first; }

  // Zeros beyond the end of the source: any number of empty slots makes one record.
  bool WriteZeros(uint64_t n) override {
    if (held_ > 0) {
      const auto take = static_cast<size_t>(std::min<uint64_t>(n, partial_.size() - held_));
      std::fill_n(partial_.begin() + held_, take, uint8_t{0});
      held_ += take;
      n -= take;
      if (held_ < partial_.size()) return true;
      Take(partial_.data());
      held_ = 0;
    }
    if (n >= fat::kSlotSize) Take(kEmptySlot.data());
    held_ = static_cast<size_t>(n % fat::kSlotSize);
    partial_.fill(0);
    return true;
  }

 private:
  void Take(const uint8_t* slot) {
    // All 32 bytes zero: the first is, and each equals the one after it. One library compare, as
    // a walk may pass millions of zeroed slots.
    const bool empty = slot[0] == 0 && std::memcmp(slot, slot + 1, fat::kSlotSize - 1) == 0;
    if (empty && lastEmpty_) return;
    lastEmpty_ = empty;
    out_.emplace_back(slot, fatType_);
  }

  FATRecordList& out_;
  int32_t fatType_;
  std::array<uint8_t, fat::kSlotSize> partial_{};
  size_t held_ = 0;
  bool lastEmpty_ = false;
  std::unique_ptr<uint8_t[]> space_;
  size_t capacity_ = 0;
  ShortfallTally shortfall_;
};

// The "." slot that opens every directory but the root: a dot, blanks, the directory bit.
bool IsDotSlot(const uint8_t* slot) {
  static constexpr uint8_t kDotName[] = {'.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  return std::equal(std::begin(kDotName), std::end(kDotName), slot + fat::kSlotName) &&
         (slot[fat::kSlotAttributes] & fat::kAttrDirectory) != 0;
}

// A byte a short name may not hold: a control byte or one of these signs.
bool IsForbiddenInShortName(uint8_t c) {
  static constexpr std::string_view kForbidden = "\"*+,./:;<=>?[\\]|";
  return c < 0x20 || kForbidden.find(static_cast<char>(c)) != std::string_view::npos;
}

// Whether a slot can be one a FAT directory holds (see HoldsDirectorySlots).
bool IsPlausibleSlot(const uint8_t* slot) {
  const uint8_t attributes = slot[fat::kSlotAttributes];
  if ((attributes & fat::kAttrLongNameMask) == fat::kAttrLongNameMask) {
    return slot[fat::kLongType] == 0 && le16(slot + fat::kLongCluster) == 0;
  }
  if ((attributes & fat::kAttrUndefined) != 0) return false;
  const uint8_t first = slot[fat::kSlotName];
  if (first < 0x20 && first != fat::kMarkerE5) return false;
  return std::all_of(slot + 1, slot + fat::kSlotNameLength + fat::kSlotExtensionLength,
                     [](uint8_t c) { return c >= 0x20; });
}

// A byte that can begin a short name as stored: what the name may hold, or 0x05 for a name
// beginning with 0xE5. No lower-case letters (8.3 names are stored upper-case), no blank and no
// dot.
bool CanBeginShortName(uint8_t c) {
  if (c == fat::kMarkerE5) return true;
  if (c == fat::kMarkerDeleted || c == ' ' || (c >= 'a' && c <= 'z')) return false;
  return !IsForbiddenInShortName(c);
}

// Whether a piece with this checksum can belong to the short-name slot owner. The checksum is
// over the 11 name bytes as stored; a deleted slot lost its first byte, so any byte that can
// begin a short name is tried in its place.
bool ChecksumFits(const FATDirectoryEntry& owner, uint8_t checksum) {
  std::array<uint8_t, fat::kSlotNameLength + fat::kSlotExtensionLength> name{};
  std::copy_n(owner.raw.begin() + fat::kSlotName, name.size(), name.begin());
  if (owner.marker() != fat::kMarkerDeleted) return ShortNameChecksum(name.data()) == checksum;
  for (unsigned first = 1; first <= 0xFF; ++first) {
    name[0] = static_cast<uint8_t>(first);
    if (CanBeginShortName(name[0]) && ShortNameChecksum(name.data()) == checksum) return true;
  }
  return false;
}

// Whether piece is the last of its name (the first in the directory): a live piece says so by
// its flag; a deleted one lost its sequence byte, and is the last when the name ends inside it
// (units holds what it added).
bool EndsName(const FATDirectoryEntry& piece, std::u16string_view units) {
  const uint8_t sequence = piece.raw[fat::kLongSequence];
  if (sequence != fat::kMarkerDeleted && (sequence & fat::kLongLastPiece) != 0) return true;
  return units.find(u'\0') != std::u16string_view::npos;
}

}  // namespace

DataShortfall ReadDirectoryRecords(const TFATPartition& partition, const FATDirectoryEntry& directory, bool deleted,
                                   FATRecordList& out, ClusterTrail* trail) {
  SlotCollector slots(out, partition.fatType);
  if (deleted) {
    ReadDeletedDirectory(partition, directory, slots, trail);
  } else if (partition.IsFixedRoot(directory)) {
    partition.ReadFixedRoot(slots);
  } else {
    // As far as the chain goes: the chain walk ends it at the volume's end and where it loops.
    partition.ReadClusterChain(directory, slots, 0, trail);
  }
  return slots.shortfall();
}

void ReadDeletedDirectory(const TFATPartition& partition, const FATDirectoryEntry& directory, ByteSink& out,
                          ClusterTrail* trail) {
  bool first = true;
  partition.VisitFreeClusters(directory, [&](uint32_t cluster, const uint8_t* bytes, size_t count) {
    // On a walk's trail, a cluster read as a deleted directory before is not read again, so
    // deleted folders that claim each other's clusters cannot nest without end.
    if (trail != nullptr && !trail->Pass(cluster)) return false;
    const size_t slots = count / fat::kSlotSize;
    const bool opensDirectory = slots > 0 && IsDotSlot(bytes);
    if (first ? !opensDirectory : opensDirectory || !HoldsDirectorySlots(bytes, slots)) return false;
    first = false;
    for (size_t i = 0; i < slots; ++i) {
      if (bytes[i * fat::kSlotSize] == fat::kMarkerEnd) {
        out.Write(bytes, i * fat::kSlotSize);
        return false;
      }
    }
    return out.Write(bytes, slots * fat::kSlotSize);
  });
}

bool HoldsDirectorySlots(const uint8_t* slots, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* slot = slots + i * fat::kSlotSize;
    if (slot[fat::kSlotName] == fat::kMarkerEnd) return true;
    if (!IsPlausibleSlot(slot)) return false;
  }
  return true;
}

bool OpensDirectory(const uint8_t* bytes, size_t count) {
  static constexpr uint8_t kDotDotName[] = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  const size_t slots = count / fat::kSlotSize;
  if (slots < 2 || !IsDotSlot(bytes)) return false;
  const uint8_t* dotDot = bytes + fat::kSlotSize;
  if (!std::equal(std::begin(kDotDotName), std::end(kDotDotName), dotDot + fat::kSlotName) ||
      (dotDot[fat::kSlotAttributes] & fat::kAttrDirectory) == 0) {
    return false;
  }
  return HoldsDirectorySlots(bytes + 2 * fat::kSlotSize, slots - 2);
}

FATChildKind SelectChild(const FATDirectoryEntry& record) {
  const uint8_t marker = record.marker();
  const uint8_t attributes = record.attributes();
  if (marker == fat::kMarkerEnd || marker == fat::kMarkerDot) return FATChildKind::kNone;
  const bool nameless = record.isLongName() || (attributes & fat::kAttrVolumeLabel) != 0;
  const bool directory = (attributes & fat::kAttrDirectory) != 0;
  if (marker == fat::kMarkerDeleted) {
    if (nameless) return FATChildKind::kNone;
    return directory ? FATChildKind::kDeletedDirectory : FATChildKind::kDeletedFile;
  }
  if (directory) return FATChildKind::kDirectory;
  return nameless ? FATChildKind::kNone : FATChildKind::kFile;
}

std::string FormatShortName(const FATDirectoryEntry& record, const OemCodePage& codePage) {
  const uint8_t caseFlags = record.raw[fat::kSlotCaseFlags];
  // The bytes are put right and trimmed as stored, then decoded.
  std::string name(UpToZero(record.raw.data() + fat::kSlotName, fat::kSlotNameLength));
  if (!name.empty() && static_cast<uint8_t>(name[0]) == fat::kMarkerDeleted) {
    name[0] = '_';
  } else if (!name.empty() && static_cast<uint8_t>(name[0]) == fat::kMarkerE5) {
    name[0] = static_cast<char>(fat::kMarkerDeleted);
  }
  const auto decode = [&](std::string_view bytes, uint8_t lowerFlag) {
    return (caseFlags & lowerFlag) != 0 ? codePage.DecodeLower(bytes) : codePage.Decode(bytes);
  };
  // Only the padding goes: a blank that begins the name is part of it.
  name = decode(TrimTrailingBlanks(name), fat::kCaseLowerName);
  const std::string extension =
      decode(TrimTrailingBlanks(UpToZero(record.raw.data() + fat::kSlotExtension, fat::kSlotExtensionLength)),
             fat::kCaseLowerExtension);
  return extension.empty() ? name : name + "." + extension;
}

uint8_t ShortNameChecksum(const uint8_t* name11) {
  uint8_t sum = 0;
  for (size_t i = 0; i < fat::kSlotNameLength + fat::kSlotExtensionLength; ++i) {
    sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  }
  return sum;
}

// The pieces are stored last piece first, so walking backwards from the short-name slot
// gathers them in reading order. A piece belongs to the name only when its checksum fits the
// short name, so that a stray piece in front of an 8.3 name does not become its name. Deleting
// a name overwrites the first byte of its short name and the sequence byte of every piece with
// 0xE5: a deleted short name fits every checksum that some first byte gives it, and a deleted
// piece is the last one when the name ends inside it. Then the run of pieces with the same
// checksum is the whole name, not only its first 13 characters.
std::string AssembleLongName(const FATRecordList& records, size_t index) {
  constexpr size_t kRoom = fat::kLongNameCapacity - 1;  // one unit is kept for the terminator
  if (index >= records.size()) return {};
  const FATDirectoryEntry& owner = records[index];
  std::u16string name;
  std::optional<uint8_t> checksum;
  for (size_t i = index; i-- > 0 && records[i].isLongName();) {
    const FATDirectoryEntry& piece = records[i];
    const uint8_t pieceChecksum = piece.raw[fat::kLongChecksum];
    if (checksum ? pieceChecksum != *checksum : !ChecksumFits(owner, pieceChecksum)) break;
    checksum = pieceChecksum;
    const size_t before = name.size();
    AppendPiece(piece, name, kRoom - name.size());
    if (name.size() == kRoom || EndsName(piece, std::u16string_view(name).substr(before))) break;
  }
  return Utf16ToUtf8(name.data(), name.size());
}

std::string FormatFatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs) {
  const DosDateTime stamp = DecodeDosDateTime(date, time);
  return time != 0 ? FormatDosTimestamp(stamp, tenMs) : FormatDosDate(stamp);
}

std::string FormatFatAttributes(uint8_t attributes) { return FormatDosAttributes(attributes); }

std::string FormatVolumeLabel(const uint8_t* field, const OemCodePage& codePage) {
  return codePage.Decode(TrimBlanks(UpToZero(field, fat::kLabelLength)));
}
