#include "fs/fat/FatNode.h"

#include <algorithm>
#include <memory>

#include "fs/fat/FatDirectory.h"
#include "fs/fat/FatPartition.h"

namespace {

std::string CreatedText(const FATDirectoryEntry& entry) {
  return FormatFatTimestamp(entry.u16(fat::kSlotCreatedDate), entry.u16(fat::kSlotCreatedTime),
                            entry.raw[fat::kSlotCreatedTenMs]);
}

std::string ModifiedText(const FATDirectoryEntry& entry) {
  return FormatFatTimestamp(entry.u16(fat::kSlotModifiedDate), entry.u16(fat::kSlotModifiedTime), 0);
}

// A file's caption: the short name, or the long name + " - " + the short name.
std::string FileCaption(const std::string& longName, const std::string& shortName) {
  return longName.empty() ? shortName : longName + " - " + shortName;
}

// The rows of both node kinds, all taken from the raw slot, so a directory shows its own dates
// and attributes although its node keeps no texts for them.
void FillSlotInfo(const FATDirectoryEntry& entry, TInfoList& list) {
  BeginBasicInformation(list);
  AddBasicRow(list, "Attributes", FormatFatAttributes(entry.attributes()));
  AddBasicRow(list, "Created date/time", CreatedText(entry));
  AddBasicRow(list, "Modified date/time", ModifiedText(entry));
  AddBasicRow(list, "Last access date", FormatFatTimestamp(entry.u16(fat::kSlotAccessDate), 0, 0));
  AddBasicRow(list, "Starting cluster", std::to_string(entry.firstCluster));
  AddBasicRow(list, "File size", std::to_string(entry.fileSize()));
}

// A time of the slot; a date word of 0 records none (the synthetic root record, and the
// creation time of a slot written by a tool that keeps none).
std::optional<RecordedTime> SlotTime(const FATDirectoryEntry& entry, size_t dateAt, size_t timeAt, unsigned hundredths) {
  const uint16_t date = entry.u16(dateAt);
  if (date == 0) return std::nullopt;
  return RecordedTime{DecodeDosDateTime(date, entry.u16(timeAt)), hundredths, std::nullopt};
}

std::optional<RecordedTime> SlotModifiedTime(const FATDirectoryEntry& entry) {
  return SlotTime(entry, fat::kSlotModifiedDate, fat::kSlotModifiedTime, 0);
}

// The creation time counts 10-ms units, up to 199 of them: hundredths of the seconds.
std::optional<RecordedTime> SlotCreatedTime(const FATDirectoryEntry& entry) {
  return SlotTime(entry, fat::kSlotCreatedDate, fat::kSlotCreatedTime, entry.raw[fat::kSlotCreatedTenMs]);
}

// The access date, at the start of its day: FAT records no time of it.
std::optional<RecordedTime> SlotAccessedTime(const FATDirectoryEntry& entry) {
  const uint16_t date = entry.u16(fat::kSlotAccessDate);
  if (date == 0) return std::nullopt;
  return RecordedTime{DecodeDosDateTime(date, 0), 0, std::nullopt};
}

}  // namespace

FATDirectoryNode::FATDirectoryNode(ReaderRef* readerRef, const FATRecordList& records, size_t index,
                                   TFATPartition* partition)
    : TDirectoryEntry(readerRef),
      partition(partition),
      entry(&records[index]),
      longName(AssembleLongName(records, index)) {
  name = longName.empty() ? FormatShortName(*entry, partition->CodePage()) : longName;
  state = kStateDirectory;
}

std::unique_ptr<FATDirectoryNode> FATDirectoryNode::Deleted(ReaderRef* readerRef, const FATRecordList& records,
                                                             size_t index, TFATPartition* partition) {
  auto node = std::make_unique<FATDirectoryNode>(readerRef, records, index, partition);
  node->name = FileCaption(node->longName, FormatShortName(*node->entry, node->partition->CodePage()));
  node->state = kStateDeleted;
  node->size = node->entry->fileSize();
  node->createdText = CreatedText(*node->entry);
  node->modifiedText = ModifiedText(*node->entry);
  node->attributesText = FormatFatAttributes(node->entry->attributes());
  return node;
}

ByteBuffer FATDirectoryNode::GetData(uint32_t& size) { return DataFromStream(size); }

bool FATDirectoryNode::StreamData(ByteSink& sink, uint64_t limit) {
  // The fixed root region comes whole, whatever was asked for.
  if (partition->IsFixedRoot(*entry)) return partition->ReadFixedRoot(sink);
  if (!IsDeleted()) return partition->ReadClusterChain(*entry, sink, limit);
  // A deleted directory's slots are those its children are read from.
  MemoryStream slots;
  ReadDeletedDirectory(*partition, *entry, slots);
  const size_t count = limit != 0 ? static_cast<size_t>(std::min<uint64_t>(limit, slots.Length())) : slots.Length();
  return count == 0 || sink.Write(slots.Data(), count);
}

void FATDirectoryNode::FillInfo(TInfoList& list) {
  FillSlotInfo(*entry, list);
  AddDataRow(list);
  if (entry == &partition->rootRecords.front()) partition->AddNoteRows(list);
}

void FATDirectoryNode::ReadChildren() {
  children.clear();
  records.clear();
  cutNotice = DirectoryShortfallText(
      ReadDirectoryRecords(*partition, *entry, IsDeleted(), records, partition->TrailFor(*this)));
  for (size_t i = 0; i < records.size(); ++i) {
    std::unique_ptr<TDirectoryEntry> child;
    switch (SelectChild(records[i])) {
      case FATChildKind::kNone:
        continue;
      case FATChildKind::kDirectory:
        child = std::make_unique<FATDirectoryNode>(readerRef, records, i, partition);
        break;
      case FATChildKind::kDeletedDirectory:
        child = FATDirectoryNode::Deleted(readerRef, records, i, partition);
        break;
      case FATChildKind::kFile:
        child = std::make_unique<FATFileNode>(readerRef, records, i, partition);
        break;
      case FATChildKind::kDeletedFile:
        child = std::make_unique<FATFileNode>(readerRef, records, i, partition);
        child->state = kStateDeleted;
        break;
    }
    AdoptChild(std::move(child));
  }
}

// The children point into records, so they go first.
void FATDirectoryNode::ReleaseChildren() {
  children.clear();
  FATRecordList().swap(records);
}

std::optional<DirectoryStart> FATDirectoryNode::StartsAt() const {
  return DirectoryStart{partition, partition->IsFixedRoot(*entry) ? 0 : entry->firstCluster};
}

FATFileNode::FATFileNode(ReaderRef* readerRef, const FATRecordList& records, size_t index,
                         TFATPartition* partition)
    : TDirectoryEntry(readerRef),
      partition(partition),
      entry(&records[index]),
      longName(AssembleLongName(records, index)) {
  name = FileCaption(longName, FormatShortName(*entry, partition->CodePage()));
  size = entry->fileSize();
  createdText = CreatedText(*entry);
  modifiedText = ModifiedText(*entry);
  attributesText = FormatFatAttributes(entry->attributes());
}

ByteBuffer FATFileNode::GetData(uint32_t& size) { return DataFromStream(size); }

bool FATFileNode::StreamData(ByteSink& sink, uint64_t limit) {
  if (IsDeleted()) return partition->ReadDeletedData(*entry, sink, limit);
  return partition->ReadClusterChain(*entry, sink, limit);
}

void FATFileNode::FillInfo(TInfoList& list) {
  FillSlotInfo(*entry, list);
  AddDataRow(list);
}

std::string FATDirectoryNode::ShortName() const { return FormatShortName(*entry, partition->CodePage()); }

std::optional<RecordedTime> FATDirectoryNode::ModifiedTime() const { return SlotModifiedTime(*entry); }

std::optional<RecordedTime> FATDirectoryNode::CreatedTime() const { return SlotCreatedTime(*entry); }

std::string FATFileNode::ShortName() const { return FormatShortName(*entry, partition->CodePage()); }

std::optional<RecordedTime> FATFileNode::ModifiedTime() const { return SlotModifiedTime(*entry); }

std::optional<RecordedTime> FATFileNode::CreatedTime() const { return SlotCreatedTime(*entry); }

std::optional<RecordedTime> FATDirectoryNode::AccessedTime() const { return SlotAccessedTime(*entry); }

std::optional<RecordedTime> FATFileNode::AccessedTime() const { return SlotAccessedTime(*entry); }
