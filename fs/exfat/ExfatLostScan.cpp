#include "fs/exfat/ExfatLostScan.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fs/Bytes.h"
#include "fs/SpanStream.h"
#include "fs/exfat/ExfatEntrySet.h"
#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"

namespace {

using namespace exfat;

// A file entry set holds a stream entry and 1 to 17 name entries.
constexpr unsigned kFewestSecondaries = 2;
constexpr unsigned kMostSecondaries = 18;
constexpr size_t kSetChecksum = 2;  // 2, in the file entry

// The set checksum over count entries, as it was when the set was written: a deleted set lost
// the in-use bit of each entry's type, so the bit is counted as set.
uint16_t SetChecksum(const uint8_t* entries, size_t count) {
  uint16_t sum = 0;
  for (size_t i = 0; i < count * kEntrySize; ++i) {
    if (i == kSetChecksum || i == kSetChecksum + 1) continue;
    const uint8_t byte = i % kEntrySize == kEntryType ? (entries[i] | kTypeInUse) : entries[i];
    sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
  }
  return sum;
}

// Whether bytes begin with a file entry set whose kinds and checksum fit.
bool OpensWithEntrySet(const uint8_t* bytes, size_t count) {
  if (count < kEntrySize || (bytes[kEntryType] & kTypeKindMask) != kKindFile) return false;
  const unsigned secondaries = bytes[kFileSecondaryCount];
  if (secondaries < kFewestSecondaries || secondaries > kMostSecondaries) return false;
  if ((secondaries + 1) * kEntrySize > count) return false;
  if ((bytes[kEntrySize + kEntryType] & kTypeKindMask) != kKindStream) return false;
  for (unsigned i = 2; i <= secondaries; ++i) {
    if ((bytes[i * kEntrySize + kEntryType] & kTypeKindMask) != kKindFileName) return false;
  }
  return SetChecksum(bytes, secondaries + 1) == le16(bytes + kSetChecksum);
}

// What a cluster of directory entries holds, as far as a lost folder's run goes.
enum class EntryCluster { kNone, kGoesOn, kEnds };

// Whether a cluster holds nothing but the entries a folder's sets are made of (file, stream and
// name entries, in use or not), and whether an end marker ends the folder in it. A cluster that
// begins with an end marker holds none.
EntryCluster ReadsAsEntries(const uint8_t* bytes, size_t count) {
  for (size_t at = 0; at + kEntrySize <= count; at += kEntrySize) {
    const uint8_t type = bytes[at + kEntryType];
    if (type == 0) return at == 0 ? EntryCluster::kNone : EntryCluster::kEnds;
    const uint8_t kind = type & kTypeKindMask;
    if (kind != kKindFile && kind != kKindStream && kind != kKindFileName) return EntryCluster::kNone;
  }
  return EntryCluster::kGoesOn;
}

class ExfatLostScan final : public LostScanVolume {
 public:
  explicit ExfatLostScan(EXFATPartition& partition) : partition_(partition) {}

  ClusterHeap Heap() const override { return partition_.Heap(); }
  std::unique_ptr<FreeClusterMap> NewAllocationMap() const override { return partition_.NewFreeClusterMap(); }

  std::unique_ptr<TDirectoryEntry> NewRoot() override {
    if (partition_.ownedEntrySets.empty()) return nullptr;
    auto root = std::make_unique<EXFATDirectoryNode>(partition_.readerRef, partition_.RootSet(), partition_);
    root->path.assign(1, '\\');
    return root;
  }

  // Also a later cluster of a folder whose chain is gone: one that holds only entries, a set
  // whose checksum fits among them. It is shown on its own where it joins no folder before it.
  bool OpensFolder(const uint8_t* bytes, size_t count) const override {
    if (OpensWithEntrySet(bytes, count)) return true;
    if (ReadsAsEntries(bytes, count) == EntryCluster::kNone) return false;
    for (size_t at = kEntrySize; at + kEntrySize <= count; at += kEntrySize) {
      if (OpensWithEntrySet(bytes + at, count - at)) return true;
    }
    return false;
  }

  std::vector<std::unique_ptr<TDirectoryEntry>> LostFolders(const ClusterBits& opening, const ClusterBits& shown,
                                                            size_t most) override;

 private:
  // The entry sets in the first cluster of folder.
  std::vector<EXFATDirectoryEntry> SetsIn(uint32_t folder) const;
  std::vector<uint8_t> ClusterStart(uint32_t cluster) const {
    return ReadClusterStart(*partition_.readerRef->reader, partition_.Heap(), cluster);
  }
  // A made-up set for the folder that opens at cluster: a directory of that many clusters, in
  // one run.
  EXFATDirectoryEntry FolderSet(uint32_t cluster, uint32_t clusters) const;

  EXFATPartition& partition_;
  std::vector<EXFATDirectoryEntry> sets_;  // the made-up sets of the lost folders; nodes point into it
};

std::vector<EXFATDirectoryEntry> ExfatLostScan::SetsIn(uint32_t folder) const {
  const std::vector<uint8_t> bytes = ClusterStart(folder);
  std::vector<EXFATDirectoryEntry> sets;
  std::string label;
  ParseDirectoryChunks(bytes.data(), bytes.size(), sets, label);
  return sets;
}

EXFATDirectoryEntry ExfatLostScan::FolderSet(uint32_t cluster, uint32_t clusters) const {
  FAT64ChunkBase file;
  file.bytes[kEntryType] = kKindFile;
  file.bytes[kFileSecondaryCount] = 2;
  file.bytes[kFileAttributes] = kAttributeDirectory;
  FAT64ChunkBase stream;
  stream.bytes[kEntryType] = kKindStream;
  stream.bytes[kStreamFlags] = kFlagAllocationPossible | kFlagNoFatChain;
  put32(&stream.bytes[kStreamFirstCluster], cluster);
  const uint64_t length = uint64_t{clusters} * partition_.ClusterSize();
  put32(&stream.bytes[kStreamDataLength], static_cast<uint32_t>(length));
  put32(&stream.bytes[kStreamDataLength + 4], static_cast<uint32_t>(length >> 32));
  FAT64ChunkBase name;
  name.bytes[kEntryType] = kKindFileName;
  EXFATDirectoryEntry set;
  set.chunks = {file, stream, name};
  set.deleted = true;  // nothing of the tree leads to it
  return set;
}

std::vector<std::unique_ptr<TDirectoryEntry>> ExfatLostScan::LostFolders(const ClusterBits& opening,
                                                                        const ClusterBits& shown, size_t most) {
  const ClusterHeap heap = partition_.Heap();
  const uint32_t end = ClusterHeap::kFirstCluster + heap.count;
  // A folder that a found folder's entry points at is shown there, as that folder's child.
  ClusterBits named(heap.count);
  for (uint32_t cluster = ClusterHeap::kFirstCluster; cluster < end; ++cluster) {
    if (!opening.Test(cluster)) continue;
    for (const EXFATDirectoryEntry& set : SetsIn(cluster)) {
      const FAT64ChunkBase* stream = FindStreamChunk(set);
      if (IsDirectorySet(set) && stream != nullptr) {
        const uint32_t first = stream->Dword(kStreamFirstCluster);
        if (first != cluster) named.Set(first);
      }
    }
  }
  // A folder goes on over the free clusters after its first that hold only entries, up to the
  // one its end marker lies in; a cluster joined to a folder is no folder of its own.
  std::unique_ptr<FreeClusterMap> allocation = partition_.NewFreeClusterMap();
  std::vector<uint32_t> tops;
  std::vector<uint32_t> lengths;
  for (uint32_t cluster = ClusterHeap::kFirstCluster; cluster < end && tops.size() < most; ++cluster) {
    if (!opening.Test(cluster) || shown.Test(cluster) || named.Test(cluster)) continue;
    tops.push_back(cluster);
    uint32_t clusters = 1;
    std::vector<uint8_t> bytes = ClusterStart(cluster);
    EntryCluster last = ReadsAsEntries(bytes.data(), bytes.size());
    while (last == EntryCluster::kGoesOn && cluster + clusters < end &&
           uint64_t{clusters} * bytes.size() < kMaxDirectoryBytes) {
      const uint32_t next = cluster + clusters;
      if ((allocation && !allocation->IsFree(next)) || shown.Test(next) || named.Test(next)) break;
      bytes = ClusterStart(next);
      last = ReadsAsEntries(bytes.data(), bytes.size());
      if (last == EntryCluster::kNone) break;
      ++clusters;
    }
    lengths.push_back(clusters);
    cluster += clusters - 1;
  }
  sets_.clear();
  sets_.reserve(tops.size());
  for (size_t i = 0; i < tops.size(); ++i) sets_.push_back(FolderSet(tops[i], lengths[i]));
  std::vector<std::unique_ptr<TDirectoryEntry>> folders;
  for (size_t i = 0; i < sets_.size(); ++i) {
    auto folder = std::make_unique<EXFATDirectoryNode>(partition_.readerRef, sets_[i], partition_);
    folder->name = LostFolderCaption(tops[i]);
    folders.push_back(std::move(folder));
  }
  return folders;
}

}  // namespace

std::unique_ptr<LostScanVolume> NewExfatLostScan(EXFATPartition& partition) {
  return std::make_unique<ExfatLostScan>(partition);
}
