#pragma once
// An exFAT volume: its boot sector, the geometry derived from it, and the one routine that
// reads the data of an entry set by cluster, as a contiguous run or along the FAT chain.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fs/MemoryStream.h"
#include "fs/Partition.h"
#include "fs/exfat/ExfatEntrySet.h"
#include "fs/exfat/ExfatLayout.h"

class EXFATPartition final : public TPartition {
 public:
  // Reads the boot sector at the entry's first sector, makes the root node and reads the root
  // directory. A boot sector whose geometry cannot be used gives a root without children.
  EXFATPartition(ReaderRef* readerRef, const PartitionEntry& entry);
  ~EXFATPartition() override;

  // "exFAT partition" followed by the label in double quotes or ", no label".
  std::string GetDescription() const override;
  uint32_t StatedSectorSize() const override { return sectorSize; }

  // Appends the data that the set's stream chunk describes to stream: at most maximum bytes,
  // all of them when maximum is 0; a DataLength of 0 reads until the chain ends.
  void ReadClusterChain(const EXFATDirectoryEntry& set, MemoryStream& stream, uint32_t maximum) const;

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
  void ReadGeometry();
  uint32_t CountHeapClusters() const;
  void MakeRoot();

  bool InHeap(uint32_t cluster) const;
  uint64_t FirstSectorOfCluster(uint32_t cluster) const;
  // Reads count bytes from the absolute sector on; bytes past the end of the source are zero.
  void ReadClipped(uint64_t sector, uint8_t* dest, size_t count) const;
  void ReadContiguousRun(uint32_t firstCluster, uint32_t remaining, MemoryStream& stream) const;
  void ReadFatChain(uint32_t firstCluster, uint32_t remaining, MemoryStream& stream) const;

  // The two FAT sectors read last, kept while consecutive clusters have their entries there.
  struct FatWindow {
    std::vector<uint8_t> bytes;
    uint64_t heldSector = 0;
    bool held = false;
  };
  // The FAT entry of cluster: the next cluster of its chain.
  uint32_t NextCluster(uint32_t cluster, FatWindow& window) const;
};
