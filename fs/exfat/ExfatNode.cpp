#include "fs/exfat/ExfatNode.h"

#include <memory>

#include "fs/exfat/ExfatPartition.h"

namespace {

using namespace exfat;

// GetData reads as a 32-bit length allows: no more than the low 32 bits of DataLength say,
// when they are not 0.
uint32_t GetDataBound(const EXFATDirectoryEntry& set) {
  const FAT64ChunkBase* stream = FindStreamChunk(set);
  return stream != nullptr ? static_cast<uint32_t>(stream->Qword(kStreamDataLength)) : 0;
}

void FillSetInfo(const EXFATDirectoryEntry& set, TInfoList& list) {
  BeginBasicInformation(list);
  AddExfatInfoRows(set, list, 0);
}

std::string CreatedText(const FAT64ChunkBase& file) {
  return FormatExfatTimestamp(file.Word(kFileCreateDate), file.Word(kFileCreateTime),
                              file.Byte(kFileCreate10ms));
}

std::string ModifiedText(const FAT64ChunkBase& file) {
  return FormatExfatTimestamp(file.Word(kFileModifiedDate), file.Word(kFileModifiedTime),
                              file.Byte(kFileModified10ms));
}

std::string AccessedText(const FAT64ChunkBase& file) {
  return FormatExfatTimestamp(file.Word(kFileAccessedDate), file.Word(kFileAccessedTime), 0);
}

// Where the fields of one of the file chunk's timestamps lie.
struct TimestampFields {
  size_t date, time, hundredths, utcOffset;
};
constexpr TimestampFields kModifiedFields{kFileModifiedDate, kFileModifiedTime, kFileModified10ms,
                                          kFileModifiedUtcOffset};
constexpr TimestampFields kCreatedFields{kFileCreateDate, kFileCreateTime, kFileCreate10ms, kFileCreateUtcOffset};
// The access time has no hundredths.
constexpr size_t kNoField = SIZE_MAX;
constexpr TimestampFields kAccessedFields{kFileAccessedDate, kFileAccessedTime, kNoField, kFileAccessedUtcOffset};

// A timestamp of the file chunk with its UTC offset when one is recorded; nothing for a set
// without a file chunk (the root's made-up set).
std::optional<RecordedTime> SetTime(const EXFATDirectoryEntry& set, const TimestampFields& fields) {
  const FAT64ChunkBase* file = FindFileChunk(set);
  if (file == nullptr) return std::nullopt;
  const unsigned hundredths = fields.hundredths == kNoField ? 0 : file->Byte(fields.hundredths);
  RecordedTime time{DecodeDosDateTime(file->Word(fields.date), file->Word(fields.time)), hundredths, std::nullopt};
  const uint8_t offset = file->Byte(fields.utcOffset);
  if (offset & kUtcOffsetValid) {
    // Bits 0-6 are a two's-complement count of quarter hours.
    const int quarters = (offset & 0x40) ? static_cast<int>(offset & 0x7F) - 0x80 : offset & 0x7F;
    time.utcOffsetMinutes = quarters * kUtcOffsetStepMinutes;
  }
  return time;
}

}  // namespace

EXFATDirectoryNode::EXFATDirectoryNode(ReaderRef* readerRef, const EXFATDirectoryEntry& set,
                                       EXFATPartition& partition)
    : TDirectoryEntry(readerRef), partition(&partition), entrySet(&set) {
  state = kStateDirectory;
  name = AssembleName(set);
}

// The children point into childSets, so they go first.
EXFATDirectoryNode::~EXFATDirectoryNode() { children.clear(); }

ByteBuffer EXFATDirectoryNode::GetData(uint32_t& size) { return DataFromStream(size, GetDataBound(*entrySet)); }

bool EXFATDirectoryNode::StreamData(ByteSink& sink, uint64_t limit) {
  return partition->ReadClusterChain(*entrySet, sink, limit);
}

void EXFATDirectoryNode::FillInfo(TInfoList& list) {
  FillSetInfo(*entrySet, list);
  AddDataRow(list);
  if (entrySet == &partition->ownedEntrySets.front()) partition->AddNoteRows(list);
}

void EXFATDirectoryNode::ReadChildren() {
  children.clear();
  childSets.clear();
  cutNotice.clear();
  // All sets are read before any node points at one, so the pointers stay valid.
  DataShortfall shortfall = DataShortfall::kNone;
  if (!ReadDirectory(*partition, *entrySet, childSets, partition->TrailFor(*this), &shortfall)) {
    cutNotice = "it goes on past the " + std::to_string(kMaxDirectoryBytes >> 20) +
                " MiB an exFAT directory may hold; the rest was not read";
  } else {
    cutNotice = DirectoryShortfallText(shortfall);
  }
  for (const EXFATDirectoryEntry& set : childSets) {
    if (IsDirectorySet(set)) AdoptChild(std::make_unique<EXFATDirectoryNode>(readerRef, set, *partition));
    else AdoptChild(std::make_unique<EXFATFileNode>(readerRef, set, *partition));
  }
}

// The children point into childSets, so they go first.
void EXFATDirectoryNode::ReleaseChildren() {
  children.clear();
  std::vector<EXFATDirectoryEntry>().swap(childSets);
}

std::optional<DirectoryStart> EXFATDirectoryNode::StartsAt() const {
  const FAT64ChunkBase* stream = FindStreamChunk(*entrySet);
  if (stream == nullptr) return std::nullopt;
  return DirectoryStart{partition, stream->Dword(kStreamFirstCluster)};
}

std::optional<RecordedTime> EXFATDirectoryNode::ModifiedTime() const { return SetTime(*entrySet, kModifiedFields); }

std::optional<RecordedTime> EXFATDirectoryNode::CreatedTime() const { return SetTime(*entrySet, kCreatedFields); }

EXFATFileNode::EXFATFileNode(ReaderRef* readerRef, const EXFATDirectoryEntry& set, EXFATPartition& partition)
    : TDirectoryEntry(readerRef), partition(&partition), entrySet(&set) {
  if (set.deleted) state = kStateDeleted;
  name = AssembleName(set);
  if (const FAT64ChunkBase* stream = FindStreamChunk(set)) {
    size = static_cast<uint32_t>(stream->Qword(kStreamDataLength));
  }
  if (const FAT64ChunkBase* file = FindFileChunk(set)) {
    createdText = CreatedText(*file);
    modifiedText = ModifiedText(*file);
    attributesText = FormatExfatAttributes(set);
  }
}

ByteBuffer EXFATFileNode::GetData(uint32_t& size) { return DataFromStream(size, GetDataBound(*entrySet)); }

bool EXFATFileNode::StreamData(ByteSink& sink, uint64_t limit) {
  if (IsDeleted()) return partition->ReadDeletedData(*entrySet, sink, limit);
  return partition->ReadClusterChain(*entrySet, sink, limit);
}

uint64_t EXFATFileNode::DataLength() const {
  const FAT64ChunkBase* stream = FindStreamChunk(*entrySet);
  return stream != nullptr ? stream->Qword(kStreamDataLength) : 0;
}

void EXFATFileNode::FillInfo(TInfoList& list) {
  FillSetInfo(*entrySet, list);
  AddDataRow(list);
}

void AddExfatInfoRows(const EXFATDirectoryEntry& set, TInfoList& list, int groupId) {
  auto add = [&](const std::string& caption, const std::string& value) {
    list.AddInfoRow(caption, value, 0, groupId);
  };
  if (const FAT64ChunkBase* file = FindFileChunk(set)) {
    add("Attributes", FormatExfatAttributes(set));
    add("Created date/time", CreatedText(*file));
    add("Modified date/time", ModifiedText(*file));
    add("Last access date", AccessedText(*file));
  }
  if (const FAT64ChunkBase* stream = FindStreamChunk(set)) {
    add("Starting cluster", std::to_string(stream->Dword(kStreamFirstCluster)));
    add("File size", std::to_string(stream->Qword(kStreamDataLength)));
  }
}

std::optional<RecordedTime> EXFATFileNode::ModifiedTime() const { return SetTime(*entrySet, kModifiedFields); }

std::optional<RecordedTime> EXFATFileNode::CreatedTime() const { return SetTime(*entrySet, kCreatedFields); }

std::optional<RecordedTime> EXFATDirectoryNode::AccessedTime() const { return SetTime(*entrySet, kAccessedFields); }

std::optional<RecordedTime> EXFATFileNode::AccessedTime() const { return SetTime(*entrySet, kAccessedFields); }
