#include "scan/LostAndFound.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>

#include "fs/SpanStream.h"
#include "fs/TreeWalk.h"
#include "scan/ClusterReads.h"

namespace {

// The bytes of a cluster the scan looks at: what RecognizeStart takes, and enough slots to tell
// a folder.
constexpr size_t kHeadBytes = 4096;
// How many byte runs of one deleted entry are marked claimed; more are rare and only cost a
// file offered twice.
constexpr size_t kMostRunsMarked = 4096;
// Progress is told every so many clusters.
constexpr uint32_t kProgressStep = 256;
// A file whose length does not check over the clusters that follow its first is tried again,
// once every other file is found, over the clusters nothing holds: at most so many files, each
// with at most so many stretches of held clusters skipped, none longer than so many clusters,
// over at most so many clusters in all. A camera or a computer that writes a file around another
// leaves a few gaps, not many.
constexpr size_t kMostRetries = 4096;
constexpr size_t kMostGaps = 4;
constexpr uint32_t kMostGapClusters = 65536;
constexpr uint32_t kMostRetrySpan = 1u << 20;
// The clusters all the tries again look at, together: a hostile volume gets no more.
constexpr uint64_t kMostRetryClusters = uint64_t{1} << 26;

// Moves a partition's directory trails aside while the scan walks the tree and the lost folders
// on trails of its own, and puts them back: a walk that opened the "Lost and found" must still
// read the folders the scan has read.
class TrailsAside {
 public:
  explicit TrailsAside(TPartition& partition)
      : partition_(partition),
        live_(std::move(partition.directoryTrail)),
        deleted_(std::move(partition.deletedDirectoryTrail)) {}
  ~TrailsAside() {
    partition_.directoryTrail = std::move(live_);
    partition_.deletedDirectoryTrail = std::move(deleted_);
  }
  TrailsAside(const TrailsAside&) = delete;
  TrailsAside& operator=(const TrailsAside&) = delete;

 private:
  TPartition& partition_;
  std::unique_ptr<ClusterTrail> live_;
  std::unique_ptr<ClusterTrail> deleted_;
};

// Marks what the entries below dir claim: the clusters of deleted files' data (live files'
// are in use anyway), and the first cluster of every folder, which shown records.
void MarkClaims(TPartition& partition, TDirectoryEntry& dir, const ClusterHeap& heap, ClusterBits& claimed,
                ClusterBits& shown) {
  TreeWalk walk(true, [&](const WalkItem& item) {
    TDirectoryEntry& e = item.entry;
    if (e.IsFolder()) {
      if (const std::optional<DirectoryStart> start = e.StartsAt(); start && start->firstCluster != 0) {
        shown.Set(start->firstCluster);
        claimed.Set(start->firstCluster);
      }
      return;
    }
    if (e.Origin() == EntryOrigin::kLive) return;
    const uint64_t sectorBytes = heap.sourceSectorBytes;
    for (const ByteRun& run : e.DataRuns(kMostRunsMarked).runs) {
      if (run.mediumOffset && run.length != 0 && sectorBytes != 0) claimed.SetBytes(heap, *run.mediumOffset, run.length);
    }
  });
  walk.WalkChildren(partition, dir, "", "");
}

// Gives a scan's findings to the node it runs for, on the same thread.
class AdoptingSink final : public LostScanSink {
 public:
  explicit AdoptingSink(LostAndFoundNode& node) : node_(node) {}
  void LostFolder(std::unique_ptr<TDirectoryEntry> folder) override { node_.AddLostFolder(std::move(folder)); }
  void FileFound(const FoundFile& file) override { node_.AddFoundFile(file); }

 private:
  LostAndFoundNode& node_;
};

}  // namespace

void AddLostAndFound(TPartition& partition) {
  if (partition.lostAndFound) return;
  if (std::unique_ptr<LostScanVolume> volume = partition.NewLostScan()) {
    partition.lostAndFound = std::make_unique<LostAndFoundNode>(partition.readerRef, partition, std::move(volume));
  }
}

LostAndFoundNode::LostAndFoundNode(ReaderRef* readerRef, TPartition& partition, std::unique_ptr<LostScanVolume> volume)
    : TDirectoryEntry(readerRef), partition_(partition), volume_(std::move(volume)) {
  name = kCaption;
  state = kStateDirectory;
  path = "\\" + name + "\\";
  inLostAndFound = true;
}

// The lost folders may point into what the volume keeps: they go first.
LostAndFoundNode::~LostAndFoundNode() { children.clear(); }

void LostAndFoundNode::ReadChildren() {
  if (scanned_) return;
  BeginScan();
  AdoptingSink sink(*this);
  EndScan(ScanInto(sink, progress));
}

void LostAndFoundNode::BeginScan() {
  children.clear();
  byKind_.clear();
  lostFolderCount_ = 0;
  totals_ = LostScanTotals{};
  scanned_ = true;
  running_ = true;
}

void LostAndFoundNode::AddLostFolder(std::unique_ptr<TDirectoryEntry> folder) {
  AdoptChild(std::move(folder));
  // Lost folders come before the folders of found files: a later one moves in front of them.
  std::rotate(children.begin() + static_cast<std::ptrdiff_t>(lostFolderCount_), children.end() - 1, children.end());
  ++lostFolderCount_;
  ++totals_.lostFolders;
}

LostAndFoundNode::Placed LostAndFoundNode::AddFoundFile(const FoundFile& file) {
  Placed placed;
  auto [at, added] = byKind_.try_emplace(file.kind, nullptr);
  placed.index = lostFolderCount_ + static_cast<size_t>(std::distance(byKind_.begin(), at));
  if (added) {
    auto folder = std::make_unique<FoundFolder>(readerRef, volume_->Heap(), file.kind, std::vector<FoundFile>{});
    at->second = folder.get();
    AdoptChild(std::move(folder));
    std::rotate(children.begin() + static_cast<std::ptrdiff_t>(placed.index), children.end() - 1, children.end());
  }
  placed.folder = at->second;
  placed.newFolder = added;
  placed.fileNode = at->second->Add(file);
  ++totals_.foundFiles;
  return placed;
}

void LostAndFoundNode::EndScan(const LostScanTotals& totals) {
  totals_ = totals;
  running_ = false;
}

void LostAndFoundNode::ReleaseChildren() {
  for (const auto& child : children) child->ReleaseChildren();
}

void LostAndFoundNode::FillInfo(TInfoList& list) {
  BeginBasicInformation(list);
  if (!scanned_) {
    AddBasicRow(list, "Scan", "not yet run");
    return;
  }
  if (running_) AddBasicRow(list, "Scan", "running");
  AddBasicRow(list, "Lost folders", std::to_string(totals_.lostFolders) + (totals_.foldersCut ? " (more not listed)" : ""));
  AddBasicRow(list, "Files found by content", std::to_string(totals_.foundFiles));
  AddBasicRow(list, "Unreadable clusters skipped", std::to_string(totals_.unreadableClusters));
  if (totals_.cancelled) AddBasicRow(list, "Scan", "cancelled");
}

LostScanTotals LostAndFoundNode::ScanInto(LostScanSink& sink, const LostScanProgress& onProgress) {
  LostScanTotals totals;
  const ClusterHeap heap = volume_->Heap();
  if (heap.count == 0 || heap.clusterBytes == 0 || readerRef == nullptr || readerRef->reader == nullptr) return totals;
  TSectorReader& reader = *readerRef->reader;
  const TrailsAside aside(partition_);
  ClusterBits claimed(heap.count);
  ClusterBits shown(heap.count);
  ClusterBits opening(heap.count);
  std::unique_ptr<FreeClusterMap> allocation = volume_->NewAllocationMap();
  const uint64_t total = 2 * heap.Bytes();
  uint64_t scanned = 0;
  uint64_t found = 0;
  auto tell = [&](uint32_t index) {
    if (onProgress && index % kProgressStep == 0 && !onProgress(scanned, total, found)) totals.cancelled = true;
    return !totals.cancelled;
  };

  if (std::unique_ptr<TDirectoryEntry> root = volume_->NewRoot()) MarkClaims(partition_, *root, heap, claimed, shown);

  // The clusters nothing claims, one after another: inUse passes what the allocation data
  // marks in use, a stretch at a time.
  const uint32_t end = ClusterHeap::kFirstCluster + heap.count;
  auto nextUnclaimed = [&](uint32_t cluster) {
    while (cluster < end) {
      const uint32_t inUse = allocation ? allocation->InUseFrom(cluster) : 0;
      if (inUse != 0) {
        scanned += uint64_t{std::min(inUse, end - cluster)} * heap.clusterBytes;
        cluster += std::min(inUse, end - cluster);
      } else if (claimed.Test(cluster)) {
        scanned += heap.clusterBytes;
        ++cluster;
      } else {
        break;
      }
    }
    return cluster;
  };
  auto unclaimed = [&](uint32_t cluster) {
    return (!allocation || allocation->InUseFrom(cluster) == 0) && !claimed.Test(cluster);
  };
  ClusterHeads heads(reader, heap, kHeadBytes);
  auto readHead = [&](uint32_t cluster) {
    const uint8_t* head = heads.Head(cluster);
    if (head == nullptr) ++totals.unreadableClusters;
    return head;
  };

  // First pass: the clusters that open a folder, and those where a file may begin, so that the
  // second pass reads only those again.
  ClusterBits candidates(heap.count);
  for (uint32_t cluster = nextUnclaimed(ClusterHeap::kFirstCluster); cluster < end;
       cluster = nextUnclaimed(cluster + 1)) {
    scanned += heap.clusterBytes;
    if (!tell(cluster)) break;
    const uint8_t* head = readHead(cluster);
    if (head == nullptr) continue;
    if (volume_->OpensFolder(head, heads.size())) opening.Set(cluster);
    else if (RecognizeStart(head, heads.size())) candidates.Set(cluster);
  }
  if (!totals.cancelled) {
    std::vector<std::unique_ptr<TDirectoryEntry>> folders = volume_->LostFolders(opening, shown, kMostLostFolders);
    totals.foldersCut = folders.size() >= kMostLostFolders;
    for (auto& folder : folders) {
      MarkClaims(partition_, *folder, heap, claimed, shown);
      if (const std::optional<DirectoryStart> start = folder->StartsAt()) claimed.Set(start->firstCluster);
      folder->ReleaseChildren();
      sink.LostFolder(std::move(folder));
      ++totals.lostFolders;
      ++found;
    }
  }
  // The later clusters of lost folders, and folders nested in them, are not files.
  for (uint32_t cluster = ClusterHeap::kFirstCluster; cluster < end; ++cluster) {
    if (opening.Test(cluster)) claimed.Set(cluster);
  }

  // Second pass: files told by their content, in what is still unclaimed. A file runs over
  // clusters that follow each other, up to the next one something holds; the clusters of each
  // file found are claimed, so that the tries again below pass over them.
  AlignedBlock block(kMaxDirectReadBytes);
  std::vector<uint8_t> head(heads.size());
  auto recognize = [&](uint32_t cluster) -> std::optional<CarvedKind> {
    if (!ReadDirectClipped(reader, heap.SectorOf(cluster), head.data(), head.size())) {
      ++totals.unreadableClusters;
      return std::nullopt;
    }
    return RecognizeStart(head.data(), head.size());
  };
  auto keep = [&](const CarveResult& result, std::vector<ClusterRun> runs) {
    // The runs the file's bytes take up; one run is told by the first cluster alone.
    uint64_t clustersLeft = (result.length + heap.clusterBytes - 1) / heap.clusterBytes;
    size_t used = 0;
    for (; used < runs.size() && clustersLeft != 0; ++used) {
      runs[used].count = static_cast<uint32_t>(std::min<uint64_t>(runs[used].count, clustersLeft));
      clustersLeft -= runs[used].count;
      for (uint32_t i = 0; i < runs[used].count; ++i) claimed.Set(runs[used].first + i);
    }
    runs.resize(used);
    FoundFile file{runs.front().first, result.length, result.kind, result.recordedTime, {}};
    if (runs.size() > 1) file.runs = std::move(runs);
    sink.FileFound(file);
    ++totals.foundFiles;
    ++found;
  };
  // The files to try again, each with the end of the clusters it was measured over, and the first
  // clusters of the files found, in rising order as the pass finds them.
  std::vector<std::pair<uint32_t, uint32_t>> retries;
  std::vector<uint32_t> foundStarts;
  uint32_t runEnd = 0;  // the first cluster from the current one on that something holds
  for (uint32_t cluster = nextUnclaimed(ClusterHeap::kFirstCluster); cluster < end && !totals.cancelled;) {
    scanned += heap.clusterBytes;
    if (!tell(cluster) || !candidates.Test(cluster)) {
      cluster = nextUnclaimed(cluster + 1);
      continue;
    }
    if (runEnd <= cluster) {
      runEnd = cluster + 1;
      while (runEnd < end && unclaimed(runEnd) && heap.FollowsOnDisk(runEnd - 1, runEnd)) ++runEnd;
    }
    // One read gives the first bytes to recognise and the start of what the measuring walks.
    ClusterRunSource source(reader, heap, {ClusterRun{cluster, runEnd - cluster}},
                            uint64_t{runEnd - cluster} * heap.clusterBytes, block);
    std::optional<CarvedKind> kind;
    if (source.Read(0, head.data(), head.size()) == head.size()) kind = RecognizeStart(head.data(), head.size());
    else ++totals.unreadableClusters;
    if (!kind) {
      cluster = nextUnclaimed(cluster + 1);
      continue;
    }
    const std::optional<CarveResult> result = MeasureFile(*kind, source);
    if (!result || !result->whole || result->length == 0) {
      // A file that begins here but does not check may lie around clusters another file holds.
      if (result && retries.size() < kMostRetries) retries.emplace_back(cluster, runEnd);
      cluster = nextUnclaimed(cluster + 1);
      continue;
    }
    keep(*result, {ClusterRun{cluster, runEnd - cluster}});
    foundStarts.push_back(cluster);
    const uint64_t clusters = (result->length + heap.clusterBytes - 1) / heap.clusterBytes;
    scanned += (clusters - 1) * heap.clusterBytes;
    cluster = nextUnclaimed(static_cast<uint32_t>(std::min<uint64_t>(end, cluster + clusters)));
  }

  // The files that did not check, tried again over the clusters nothing holds now: those of live
  // files, of the entries found and of the files found are passed over.
  auto held = [&](uint32_t cluster) -> uint32_t {
    if (const uint32_t inUse = allocation ? allocation->InUseFrom(cluster) : 0; inUse != 0) {
      return std::min(inUse, end - cluster);
    }
    return claimed.Test(cluster) ? 1 : 0;
  };
  uint64_t retryClusters = 0;
  for (const auto& [first, measuredTo] : retries) {
    // Worth another try where the clusters it was measured over ended at something held, or
    // where a file was found among them since; a file that ran to the end of the volume over
    // clusters nothing holds has been measured over all it can be.
    const auto later = std::upper_bound(foundStarts.begin(), foundStarts.end(), first);
    const bool foundAmong = later != foundStarts.end() && *later < measuredTo;
    if (!foundAmong && measuredTo >= end) continue;
    if (totals.cancelled || held(first) != 0) continue;
    if (retryClusters >= kMostRetryClusters) break;
    std::vector<ClusterRun> runs;
    uint32_t cluster = first;
    uint32_t span = 0;
    while (cluster < end && span < kMostRetrySpan) {
      ClusterRun run{cluster, 0};
      while (cluster < end && span < kMostRetrySpan && held(cluster) == 0 &&
             (run.count == 0 || heap.FollowsOnDisk(cluster - 1, cluster))) {
        ++run.count;
        ++cluster;
        ++span;
      }
      retryClusters += run.count;
      if (run.count == 0) break;  // the end of the volume, or of the span
      runs.push_back(run);
      if (runs.size() > kMostGaps) break;
      uint32_t gap = 0;
      while (cluster < end && gap <= kMostGapClusters) {
        const uint32_t n = held(cluster);
        if (n == 0) break;
        gap += n;
        cluster += n;
      }
      if (gap > kMostGapClusters) break;
    }
    if (runs.size() < 2) continue;  // the same clusters as before: it did not check over them
    uint64_t limit = 0;
    for (const ClusterRun& run : runs) limit += uint64_t{run.count} * heap.clusterBytes;
    const std::optional<CarvedKind> kind = recognize(first);
    if (!kind) continue;
    ClusterRunSource source(reader, heap, runs, limit, block);
    const std::optional<CarveResult> result = MeasureFile(*kind, source);
    if (result && result->whole && result->length != 0) keep(*result, std::move(runs));
  }
  if (onProgress) onProgress(total, total, found);
  return totals;
}

FoundFolder::FoundFolder(ReaderRef* readerRef, const ClusterHeap& heap, CarvedKind kind, std::vector<FoundFile> files)
    : TDirectoryEntry(readerRef), heap_(heap), files_(std::move(files)) {
  name = TypeOf(kind).extension;
  state = kStateDirectory;
}

void FoundFolder::ReadChildren() {
  children.clear();
  for (const FoundFile& file : files_) AdoptChild(std::make_unique<FoundFileNode>(readerRef, heap_, file));
}

TDirectoryEntry* FoundFolder::Add(const FoundFile& file) {
  files_.push_back(file);
  if (children.empty()) return nullptr;
  AdoptChild(std::make_unique<FoundFileNode>(readerRef, heap_, file));
  return children.back().get();
}

void FoundFolder::FillInfo(TInfoList& list) {
  BeginBasicInformation(list);
  AddBasicRow(list, "Files found by content", std::to_string(files_.size()));
}

std::string FoundFileName(const FoundFile& file) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%07u", file.firstCluster);
  return std::string("f") + digits + "." + TypeOf(file.kind).extension;
}

FoundFileNode::FoundFileNode(ReaderRef* readerRef, const ClusterHeap& heap, const FoundFile& found)
    : TDirectoryEntry(readerRef), heap_(heap), file_(found) {
  name = FoundFileName(file_);
  size = static_cast<uint32_t>(std::min<uint64_t>(file_.length, UINT32_MAX));
  state = kStateFile;
  if (const std::optional<RecordedTime> time = ModifiedTime()) modifiedText = FormatDosTimestamp(time->stamp, 0);
}

bool FoundFileNode::StreamData(ByteSink& sink, uint64_t limit) {
  uint64_t left = limit != 0 ? std::min(limit, file_.length) : file_.length;
  SpanStream output(Reader(), sink);
  if (file_.runs.empty()) return output.Send(heap_.SectorOf(file_.firstCluster), left) && output.Finish();
  for (const ClusterRun& run : file_.runs) {
    const uint64_t n = std::min<uint64_t>(left, uint64_t{run.count} * heap_.clusterBytes);
    if (n == 0) break;
    if (!output.Send(heap_.SectorOf(run.first), n)) return false;
    left -= n;
  }
  return output.Finish();
}

void FoundFileNode::FillInfo(TInfoList& list) {
  BeginBasicInformation(list);
  AddBasicRow(list, "Type", TypeOf(file_.kind).description);
  AddBasicRow(list, "Starting cluster", std::to_string(file_.firstCluster));
  AddBasicRow(list, "File size", std::to_string(file_.length));
  if (!modifiedText.empty()) AddBasicRow(list, "Recorded date/time", modifiedText);
  AddDataRow(list);
}

std::optional<RecordedTime> FoundFileNode::ModifiedTime() const {
  if (!file_.recordedTime) return std::nullopt;
  const CarvedTime& t = *file_.recordedTime;
  return RecordedTime{DosDateTime{t.year, t.month, t.day, t.hour, t.minute, t.second}, 0, std::nullopt};
}
