#pragma once
// An exFAT volume: its boot sector, the geometry derived from it, and the one routine that
// reads the data of an entry set by cluster, as a contiguous run or along the FAT chain.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/ClusterHeap.h"
#include "fs/Partition.h"
#include "fs/SpanStream.h"
#include "fs/exfat/ExfatEntrySet.h"
#include "fs/exfat/ExfatLayout.h"

class EXFATPartition final : public TPartition {
 public:
  // Reads the boot sector at the entry's first sector, makes the root node and reads the root
  // directory. A boot sector whose geometry cannot be used gives a root without children.
  // bootCopy: 512 bytes that stand in for the boot sector (its backup), nullptr to read it.
  EXFATPartition(ReaderRef* readerRef, const PartitionEntry& entry, const uint8_t* bootCopy = nullptr);
  ~EXFATPartition() override;

  // "exFAT partition" followed by the label in double quotes or ", no label".
  std::string GetDescription() const override;
  uint32_t StatedSectorSize() const override { return sectorSize; }

  // Sends the data that the set's stream chunk describes to sink: all 64 bits of DataLength,
  // at most maximum bytes when maximum is not 0; a DataLength of 0 reads until the chain ends.
  // A chain ends where it comes back to a cluster on trail, which the read extends; without a
  // trail, where it comes back to one of its own. Whatever ends it before DataLength, the sink is
  // told why (ByteSink::NoteShortfall). Returns false when the sink stopped the read.
  bool ReadClusterChain(const EXFATDirectoryEntry& set, ByteSink& sink, uint64_t maximum,
                        ClusterTrail* trail = nullptr) const;
  std::unique_ptr<ClusterTrail> NewClusterTrail() const override;
  std::unique_ptr<LostScanVolume> NewLostScan() override;

  // Sends the data of a deleted set to sink, as ReadClusterChain does, with these differences.
  // A set read through the FAT is read along its chain only while the chain still runs over
  // clusters the allocation bitmap marks free for the whole length. exfat-fuse, for one,
  // clears the chain of a file it deletes; then the data is taken from the first cluster on
  // over the clusters the bitmap marks free, those in use, which belong to other files now,
  // skipped. Such a set gives nothing when its first cluster is in use again (its start was
  // overwritten). A contiguous set is read as one run, and a set with DataLength 0 gives
  // nothing. Without a bitmap, every set is read as ReadClusterChain reads it.
  bool ReadDeletedData(const EXFATDirectoryEntry& set, ByteSink& sink, uint64_t maximum) const;

  // Where the heap's clusters lie, for the walks over chains and free clusters and the scan of
  // the data area.
  ClusterHeap Heap() const;
  // The allocation bitmap's free bits; nothing when the root holds no bitmap.
  std::unique_ptr<FreeClusterMap> NewFreeClusterMap() const;
  // The root's own made-up entry set, for a node of the root made anew.
  const EXFATDirectoryEntry& RootSet() const { return ownedEntrySets.front(); }

  // True when the boot sector gave a geometry that can be read; otherwise nothing is read.
  bool HasGeometry() const { return heapClusterCount > 0; }
  uint32_t ClusterSize() const { return sectorsPerCluster * sectorSize; }

  std::array<uint8_t, exfat::kBootSectorSize> bootSector{};
  uint32_t sectorSize = 0;         // 1 << BytesPerSectorShift; 0 when the shift is unusable
  uint32_t sectorsPerCluster = 0;  // 1 << SectorsPerClusterShift
  // Absolute sectors of cluster 2 and of the first FAT. Kept wide: a sum past 2^32 lies
  // beyond any source and must not wrap round onto real sectors.
  uint64_t clusterHeapStart = 0;
  uint64_t fatStart = 0;
  // Clusters 2 .. heapClusterCount + 1 are readable: ClusterCount, bounded by what the FAT can
  // address and by the end of the source. 0 when the geometry cannot be used.
  uint32_t heapClusterCount = 0;
  // The root's made-up entry set.
  std::vector<EXFATDirectoryEntry> ownedEntrySets;

 private:
  void ReadGeometry(const uint8_t* bootCopy);
  uint32_t CountHeapClusters();
  void MakeRoot();
  void LocateBitmap();

  bool InHeap(uint32_t cluster) const;
  uint64_t FirstSectorOfCluster(uint32_t cluster) const;
  bool SendData(const EXFATDirectoryEntry& set, uint64_t maximum, ClusterTrail* trail, bool deleted,
                SpanStream& output) const;
  // Without a trail, the chain's own. sized: the set states a length, which the chain should
  // reach.
  bool ReadFatChain(uint32_t firstCluster, uint64_t remaining, bool sized, ClusterTrail* trail,
                    SpanStream& output) const;
  // The clusters of a contiguous run from first on that trail lets pass, up to count.
  uint64_t PassRun(uint32_t first, uint64_t count, ClusterTrail& trail) const;

  class BitmapWindow;
  // The data of a deleted set read through the FAT (see ReadDeletedData).
  bool ReadDeletedChain(uint32_t firstCluster, uint64_t length, uint64_t remaining, SpanStream& output) const;
  bool ChainStaysFree(uint32_t firstCluster, uint64_t clusters, BitmapWindow& bitmap) const;

  class FatTable;

  // The clusters of the allocation bitmap (of the first FAT), in order; empty when the root
  // holds none.
  std::vector<uint32_t> bitmapClusters_;
  // The clusters the volume claims after the heap's, which lie beyond the end of the source.
  uint32_t clustersBeyondSource_ = 0;
};
