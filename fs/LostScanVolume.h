#pragma once
// What the lost-and-found scan of a volume's data area (scan/LostAndFound.h) needs of a file
// system family, and the bits it keeps per cluster. A family says where its clusters lie, which
// its allocation data marks in use, how a folder's first cluster looks and how a lost folder is
// shown; what is told by content is the scan's.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/ClusterHeap.h"
#include "fs/FreeClusterWalk.h"

class TDirectoryEntry;

// One bit for each cluster of a heap, cluster 2 first.
class ClusterBits {
 public:
  explicit ClusterBits(uint32_t count) : count_(count), words_((uint64_t{count} + 63) / 64) {}

  void Set(uint32_t cluster) {
    if (Holds(cluster)) words_[Index(cluster) / 64] |= uint64_t{1} << (Index(cluster) % 64);
  }
  bool Test(uint32_t cluster) const {
    return Holds(cluster) && ((words_[Index(cluster) / 64] >> (Index(cluster) % 64)) & 1) != 0;
  }
  // Sets the clusters that the bytes from mediumByte on, length of them, lie in.
  void SetBytes(const ClusterHeap& heap, uint64_t mediumByte, uint64_t length);
  uint32_t count() const { return count_; }

 private:
  bool Holds(uint32_t cluster) const {
    return cluster >= ClusterHeap::kFirstCluster && cluster - ClusterHeap::kFirstCluster < count_;
  }
  static uint32_t Index(uint32_t cluster) { return cluster - ClusterHeap::kFirstCluster; }

  uint32_t count_;
  std::vector<uint64_t> words_;
};

// What the scan asks of a family.
class LostScanVolume {
 public:
  virtual ~LostScanVolume() = default;
  virtual ClusterHeap Heap() const = 0;
  // The allocation data: clusters in use belong to live files and folders.
  virtual std::unique_ptr<FreeClusterMap> NewAllocationMap() const = 0;
  // A root node of the scan's own, for its walk of the tree, so that the nodes the user sees
  // are not read again under their feet.
  virtual std::unique_ptr<TDirectoryEntry> NewRoot() = 0;
  // Whether a free cluster that begins with these bytes (count of them, at most a cluster's)
  // opens a folder.
  virtual bool OpensFolder(const uint8_t* bytes, size_t count) const = 0;
  // The nodes of the lost folders, at most most of them: one for each cluster that opening
  // holds and shown does not (the tree shows those already), except those that a found folder
  // names, which it shows as its own child.
  virtual std::vector<std::unique_ptr<TDirectoryEntry>> LostFolders(const ClusterBits& opening,
                                                                    const ClusterBits& shown, size_t most) = 0;
};

class TSectorReader;

// The start of a cluster as the families' lost-folder scans read it: the cluster's bytes, up
// to 256 KiB, zeros where the source does not reach.
std::vector<uint8_t> ReadClusterStart(TSectorReader& reader, const ClusterHeap& heap, uint32_t cluster);

// The caption of a lost folder that no found folder names.
std::string LostFolderCaption(uint32_t cluster);
