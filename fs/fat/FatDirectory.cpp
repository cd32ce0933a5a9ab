#include "fs/fat/FatDirectory.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "fs/DosFields.h"
#include "fs/ByteSink.h"
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
  SlotCollector(FATRecordList& out, int32_t fatType) : out_(out), fatType_(fatType) {}

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

 private:
  void Take(const uint8_t* slot) {
    const bool empty = std::all_of(slot, slot + fat::kSlotSize, [](uint8_t b) { return b == 0; });
    if (empty && lastEmpty_) return;
    lastEmpty_ = empty;
    out_.emplace_back(slot, fatType_);
  }

  FATRecordList& out_;
  int32_t fatType_;
  std::array<uint8_t, fat::kSlotSize> partial_{};
  size_t held_ = 0;
  bool lastEmpty_ = false;
};

}  // namespace

void ReadDirectoryRecords(const TFATPartition& partition, const FATDirectoryEntry& directory,
                          FATRecordList& out, ClusterTrail* trail) {
  SlotCollector slots(out, partition.fatType);
  if (partition.IsFixedRoot(directory)) {
    partition.ReadFixedRoot(slots);
  } else {
    // As far as the chain goes: the chain walk ends it at the volume's end and where it loops.
    partition.ReadClusterChain(directory, slots, 0, trail);
  }
}

FATChildKind SelectChild(const FATDirectoryEntry& record) {
  const uint8_t marker = record.marker();
  const uint8_t attributes = record.attributes();
  if (marker == fat::kMarkerEnd || marker == fat::kMarkerDot) return FATChildKind::kNone;
  const bool nameless = record.isLongName() || (attributes & fat::kAttrVolumeLabel) != 0;
  if (marker == fat::kMarkerDeleted) return nameless ? FATChildKind::kNone : FATChildKind::kDeletedFile;
  if ((attributes & fat::kAttrDirectory) != 0) return FATChildKind::kDirectory;
  return nameless ? FATChildKind::kNone : FATChildKind::kFile;
}

std::string FormatShortName(const FATDirectoryEntry& record) {
  const uint8_t caseFlags = record.raw[fat::kSlotCaseFlags];
  std::string name(UpToZero(record.raw.data() + fat::kSlotName, fat::kSlotNameLength));
  if (!name.empty() && static_cast<uint8_t>(name[0]) == fat::kMarkerDeleted) {
    name[0] = '_';
  } else if (!name.empty() && static_cast<uint8_t>(name[0]) == fat::kMarkerE5) {
    name[0] = static_cast<char>(fat::kMarkerDeleted);
  }
  name = TrimBlanks(name);
  if (caseFlags & fat::kCaseLowerName) name = ToLowerAscii(name);

  std::string extension = TrimBlanks(UpToZero(record.raw.data() + fat::kSlotExtension, fat::kSlotExtensionLength));
  if (caseFlags & fat::kCaseLowerExtension) extension = ToLowerAscii(extension);
  return extension.empty() ? name : name + "." + extension;
}

// The pieces are stored last piece first, so walking backwards from the short-name slot
// gathers them in reading order. A deleted piece's sequence byte is 0xE5, which carries the
// last-piece flag, so a deleted name gives its first 13 characters only.
std::string AssembleLongName(const FATRecordList& records, size_t index) {
  constexpr size_t kRoom = fat::kLongNameCapacity - 1;  // one unit is kept for the terminator
  std::u16string name;
  for (size_t i = std::min(index, records.size()); i-- > 0 && records[i].isLongName();) {
    AppendPiece(records[i], name, kRoom - name.size());
    if (name.size() == kRoom || (records[i].raw[fat::kLongSequence] & fat::kLongLastPiece) != 0) break;
  }
  return Utf16ToUtf8(name.data(), name.size());
}

std::string FormatFatTimestamp(uint16_t date, uint16_t time, uint8_t tenMs) {
  const DosDateTime stamp = DecodeDosDateTime(date, time);
  std::string text = FormatDosDate(stamp);
  if (time != 0) text += ", " + FormatDosTime(stamp, tenMs);
  return text;
}

std::string FormatFatAttributes(uint8_t attributes) { return FormatDosAttributes(attributes); }

std::string FormatVolumeLabel(const uint8_t* field) {
  return TrimBlanks(UpToZero(field, fat::kLabelLength));
}
