#include "fs/fat/FatDirectory.h"

#include <algorithm>
#include <string_view>

#include "fs/DosFields.h"
#include "fs/MemoryStream.h"
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

}  // namespace

void ReadDirectoryRecords(const TFATPartition& partition, const FATDirectoryEntry& directory,
                          FATRecordList& out) {
  MemoryStream stream;
  if (partition.IsFixedRoot(directory)) {
    partition.ReadFixedRoot(stream);
  } else {
    partition.ReadClusterChain(directory, stream, fat::kMaxDirectorySlots * fat::kSlotSize);
  }
  const size_t slots = stream.Length() / fat::kSlotSize;
  out.reserve(out.size() + slots);
  for (size_t i = 0; i < slots; ++i) {
    out.emplace_back(stream.Data() + i * fat::kSlotSize, partition.fatType);
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
