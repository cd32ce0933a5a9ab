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

// The most bytes of a folder's first cluster read to learn which folders it names.
constexpr size_t kMostClusterBytes = 256 * 1024;
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

  bool OpensFolder(const uint8_t* bytes, size_t count) const override { return OpensWithEntrySet(bytes, count); }

  std::vector<std::unique_ptr<TDirectoryEntry>> LostFolders(const ClusterBits& opening, const ClusterBits& shown,
                                                            size_t most) override;

 private:
  // The entry sets in the first cluster of folder.
  std::vector<EXFATDirectoryEntry> SetsIn(uint32_t folder) const;
  // A made-up set for the folder that opens at cluster: a directory of one cluster, in one run.
  EXFATDirectoryEntry FolderSet(uint32_t cluster) const;

  EXFATPartition& partition_;
  std::vector<EXFATDirectoryEntry> sets_;  // the made-up sets of the lost folders; nodes point into it
};

std::vector<EXFATDirectoryEntry> ExfatLostScan::SetsIn(uint32_t folder) const {
  const ClusterHeap heap = partition_.Heap();
  std::vector<uint8_t> bytes(std::min<size_t>(heap.clusterBytes, kMostClusterBytes));
  ReadClipped(*partition_.readerRef->reader, heap.SectorOf(folder), bytes.data(), bytes.size());
  std::vector<EXFATDirectoryEntry> sets;
  std::string label;
  ParseDirectoryChunks(bytes.data(), bytes.size(), sets, label);
  return sets;
}

EXFATDirectoryEntry ExfatLostScan::FolderSet(uint32_t cluster) const {
  FAT64ChunkBase file;
  file.bytes[kEntryType] = kKindFile;
  file.bytes[kFileSecondaryCount] = 2;
  file.bytes[kFileAttributes] = kAttributeDirectory;
  FAT64ChunkBase stream;
  stream.bytes[kEntryType] = kKindStream;
  stream.bytes[kStreamFlags] = kFlagAllocationPossible | kFlagNoFatChain;
  put32(&stream.bytes[kStreamFirstCluster], cluster);
  put32(&stream.bytes[kStreamDataLength], partition_.ClusterSize());
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
  std::vector<uint32_t> tops;
  for (uint32_t cluster = ClusterHeap::kFirstCluster; cluster < end && tops.size() < most; ++cluster) {
    if (opening.Test(cluster) && !shown.Test(cluster) && !named.Test(cluster)) tops.push_back(cluster);
  }
  sets_.clear();
  sets_.reserve(tops.size());
  for (const uint32_t cluster : tops) sets_.push_back(FolderSet(cluster));
  std::vector<std::unique_ptr<TDirectoryEntry>> folders;
  for (size_t i = 0; i < sets_.size(); ++i) {
    auto folder = std::make_unique<EXFATDirectoryNode>(partition_.readerRef, sets_[i], partition_);
    folder->name = "Folder at cluster " + std::to_string(tops[i]);
    folders.push_back(std::move(folder));
  }
  return folders;
}

}  // namespace

std::unique_ptr<LostScanVolume> NewExfatLostScan(EXFATPartition& partition) {
  return std::make_unique<ExfatLostScan>(partition);
}
