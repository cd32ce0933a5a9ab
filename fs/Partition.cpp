#include "fs/Partition.h"

#include <algorithm>

#include "fs/Bytes.h"

// A node without data of its own (a node that only gathers others) delivers nothing.
ByteBuffer TDirectoryEntry::GetData(uint32_t& size) {
  size = 0;
  return ByteBuffer();
}

namespace {

// Notes where the data lies instead of reading it, joining runs that follow on the source.
class RunSink final : public ByteSink {
 public:
  RunSink(uint64_t sectorBytes, size_t maxRuns) : sectorBytes_(sectorBytes), maxRuns_(maxRuns) {}

  Placement Place(uint64_t sector, uint64_t count) override {
    return Add(sector * sectorBytes_, count, false) ? Placement::kSkip : Placement::kStop;
  }
  bool Write(const uint8_t* /*data*/, size_t n) override { return Add(std::nullopt, n, false); }
  bool WriteZeros(uint64_t n) override { return Add(std::nullopt, n, true); }

  DataRunList& list() { return list_; }

 private:
  bool Add(std::optional<uint64_t> at, uint64_t count, bool zeros) {
    if (count == 0) return true;
    std::vector<ByteRun>& runs = list_.runs;
    if (!runs.empty()) {
      ByteRun& last = runs.back();
      const bool follows = at ? last.mediumOffset && *last.mediumOffset + last.length == *at
                              : !last.mediumOffset && last.zeros == zeros;
      if (follows) {
        last.length += count;
        offset_ += count;
        return true;
      }
    }
    if (runs.size() >= maxRuns_) {
      list_.complete = false;
      return false;
    }
    runs.push_back(ByteRun{offset_, at, count, zeros});
    offset_ += count;
    return true;
  }

  uint64_t sectorBytes_;
  size_t maxRuns_;
  uint64_t offset_ = 0;
  DataRunList list_;
};

}  // namespace

DataRunList TDirectoryEntry::DataRuns(size_t maxRuns) {
  const uint64_t sectorBytes = readerRef != nullptr && readerRef->reader != nullptr ? Reader().bytesPerSector() : 0;
  RunSink sink(sectorBytes, maxRuns);
  StreamData(sink, 0);
  return std::move(sink.list());
}

bool TDirectoryEntry::StreamData(ByteSink& sink, uint64_t limit) {
  uint32_t size = limit <= 0xFFFFFFFFu ? static_cast<uint32_t>(limit) : 0;
  const ByteBuffer data = GetData(size);
  return data.empty() || sink.Write(data.data(), data.size());
}

void TDirectoryEntry::FillInfo(TInfoList& /*list*/) {}

uint64_t TDirectoryEntry::ExpectedLength(uint64_t limit) const {
  const uint64_t length = DataLength();
  return limit != 0 ? std::min(limit, length) : length;
}

DataCompleteness TDirectoryEntry::Completeness() {
  CompletenessSink measure(nullptr, ExpectedLength(0));
  StreamData(measure, 0);
  return measure.Result();
}

bool TDirectoryEntry::StreamChecked(ByteSink& sink, uint64_t limit, DataCompleteness& found) {
  CompletenessSink checked(&sink, ExpectedLength(limit));
  const bool completed = StreamData(checked, limit);
  found = checked.Result();
  return completed;
}

void TDirectoryEntry::AddDataRow(TInfoList& list) { AddBasicRow(list, "Data", CompletenessText(Completeness())); }

ByteBuffer TDirectoryEntry::DataFromStream(uint32_t& size, uint32_t most) {
  uint32_t limit = size != 0 ? size : 0xFFFFFFFFu;
  if (most != 0) limit = std::min(limit, most);
  MemoryStream stream;
  StreamData(stream, limit);
  size = static_cast<uint32_t>(stream.Length());
  return stream.Release();
}

std::string TDirectoryEntry::FileName() const {
  if (std::string longName = LongName(); !longName.empty()) return longName;
  if (std::string shortName = ShortName(); !shortName.empty()) return shortName;
  return name;
}

void TDirectoryEntry::AdoptChild(std::unique_ptr<TDirectoryEntry> child) {
  child->path = child->IsFolder() ? path + child->name + "\\" : path;
  child->inDeletedFolder = IsDeleted();
  child->inLostAndFound = inLostAndFound;
  children.push_back(std::move(child));
}

void EnsureChildren(TDirectoryEntry& entry) {
  if (entry.children.empty()) entry.ReadChildren();
}

DirectoryTrailScope::DirectoryTrailScope(TPartition& partition) : partition_(partition) {
  if (partition.directoryTrail) return;
  partition.directoryTrail = partition.NewClusterTrail();
  partition.deletedDirectoryTrail = partition.NewClusterTrail();
  owned_ = true;
}

DirectoryTrailScope::~DirectoryTrailScope() {
  if (!owned_) return;
  partition_.directoryTrail.reset();
  partition_.deletedDirectoryTrail.reset();
}

std::string TPartition::GetDescription() const {
  return "Unknown partition (" + std::to_string(partitionEntry.typeCode) + "), " +
         (partitionEntry.bootIndicator == 0x80 ? "active" : "inactive");
}

bool TPartition::ReadAt(uint32_t sector, uint8_t* dest, uint32_t count) const {
  return Reader().ReadAt(sector, 0, dest, count);
}

void TPartition::AddNoteRows(TInfoList& list) const {
  for (const auto& [caption, value] : findings) AddBasicRow(list, caption, value);
  for (const std::string& note : notes) AddBasicRow(list, "Warning", note);
}

void TPartition::NoteCutShort(uint64_t clusters, uint64_t beyond, bool rootBeyond) {
  std::string note = "The source ends inside the volume: " + std::to_string(beyond) + " of its " +
                     std::to_string(clusters) + " clusters lie beyond its end, and what they hold is missing.";
  if (rootBeyond) note += " Its root directory lies beyond the end as well: the entries it holds there are missing.";
  notes.push_back(std::move(note));
}

std::string TPartition::KindText(const std::string& family) const {
  return family + (foundBySearch ? " volume found at sector " + std::to_string(firstSector) : " partition");
}

std::string TPartition::LabelSuffix() const {
  return label.empty() ? ", no label" : " \"" + label + "\"";
}

PartitionEntry PartitionEntry::FromBytes(const uint8_t* bytes) {
  PartitionEntry entry;
  entry.bootIndicator = bytes[0];
  entry.startChs = {bytes[1], bytes[2], bytes[3]};
  entry.typeCode = bytes[4];
  entry.endChs = {bytes[5], bytes[6], bytes[7]};
  entry.startLba = le32(bytes + 8);
  entry.sectorCount = le32(bytes + 12);
  return entry;
}
