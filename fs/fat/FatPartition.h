#pragma once
// A FAT12, FAT16 or FAT32 volume: its boot sector, its geometry, its first allocation table and
// the reads of cluster chains that every file and subdirectory goes through.

#include <array>
#include <cstdint>
#include <string>

#include "fs/FreeClusterWalk.h"
#include "fs/OemCodePage.h"
#include "fs/Partition.h"
#include "fs/SpanStream.h"
#include "fs/fat/FatLayout.h"

class TFATPartition final : public TPartition {
 public:
  // Reads the boot sector at the entry's first sector, lays out the volume, and creates and
  // reads the root directory. 8.3 names and the label are decoded from codePage. bootCopy: 512
  // bytes that stand in for the boot sector (its backup), nullptr to read the boot sector.
  TFATPartition(ReaderRef* readerRef, const PartitionEntry& entry,
                const OemCodePage& codePage = OemCodePage::Default(), const uint8_t* bootCopy = nullptr);

  std::string GetDescription() const override;
  uint32_t StatedSectorSize() const override { return BytesPerSector(); }

  // Sends the data of record to sink: its size in bytes (the whole chain for a record of size
  // 0), at most maxBytes of them when maxBytes is not 0, along the chain in the first
  // allocation table. A free table entry inside the chain ends the walk with the tail read of a
  // deleted file. Records whose first cluster is 0 or 1 deliver nothing. The chain ends where it
  // comes back to a cluster on trail, which the walk extends; without a trail, where it comes
  // back to one of its own. Whatever ends it before the record's size, the sink is told why
  // (ByteSink::NoteShortfall), and that the tail read is a guess. Returns false when the sink
  // stopped the read.
  bool ReadClusterChain(const FATDirectoryEntry& record, ByteSink& sink, uint64_t maxBytes,
                        ClusterTrail* trail = nullptr) const;
  std::unique_ptr<ClusterTrail> NewClusterTrail() const override;
  std::unique_ptr<LostScanVolume> NewLostScan() override;

  // Sends the data of a deleted record to sink: its size in bytes, at most maxBytes of them
  // when maxBytes is not 0. Deleting a file frees its chain, so its data is taken from its
  // first cluster on over the clusters the allocation table marks free; those in use belong to
  // other files now and are skipped. The read ends with the volume. Nothing for a record of
  // size 0, or one whose first cluster is in use again: its start was overwritten. What it
  // cannot give, the sink is told why. Returns false when the sink stopped the read.
  bool ReadDeletedData(const FATDirectoryEntry& record, ByteSink& sink, uint64_t maxBytes) const;

  // Hands visit the bytes of the clusters a deleted entry's data may still lie in, one at a
  // time and in order: its first cluster when the table marks it free, then every free cluster
  // after it, until visit returns false or the volume ends.
  using ClusterVisitor = FreeClusterWalk::Visitor;
  void VisitFreeClusters(const FATDirectoryEntry& record, const ClusterVisitor& visit) const;

  // Where the data clusters lie, for the walks over chains and free clusters and the scan of
  // the data area.
  ClusterHeap Heap() const;
  // The first table's free entries, as the walks over free clusters read them.
  std::unique_ptr<FreeClusterMap> NewFreeClusterMap() const;

  // Whether record is the synthetic record of a FAT12/16 root directory, whose slots lie in the
  // fixed root region instead of a cluster chain.
  bool IsFixedRoot(const FATDirectoryEntry& record) const;
  // Sends the fixed root region (root entry count x 32 bytes) to sink; false when it stopped.
  bool ReadFixedRoot(ByteSink& sink) const;

  // Geometry, as the boot sector gives it.
  uint32_t BytesPerSector() const { return le16(bootParameters.data() + fat::kBytesPerSector); }
  uint32_t SectorsPerCluster() const { return bootParameters[fat::kSectorsPerCluster]; }
  uint32_t TableCount() const { return bootParameters[fat::kTableCount]; }
  uint32_t RootEntryCount() const { return le16(bootParameters.data() + fat::kRootEntryCount); }
  uint32_t ClusterBytes() const { return SectorsPerCluster() * BytesPerSector(); }
  // First sector of the FAT12/16 fixed root region.
  uint32_t RootDirectorySector() const;
  // A volume with zero bytes per sector or zero sectors per cluster has no usable geometry: it
  // is shown with an empty root, and nothing is computed from those fields.
  bool HasGeometry() const { return BytesPerSector() != 0 && SectorsPerCluster() != 0; }
  // The number of data clusters the volume holds (see CountDataClusters).
  uint32_t DataClusterCount() const { return dataClusterCount_; }
  // The OEM code page that 8.3 names and the label are stored in.
  const OemCodePage& CodePage() const { return codePage_; }

  int32_t fatType = 16;
  uint32_t dataStartSector = 0;
  uint32_t fatStartSector = 0;
  FATRecordList rootRecords;  // exactly one record: the synthetic record of the root
  std::array<uint8_t, fat::kBootParametersSize> bootParameters{};

 private:
  class TableWindow;

  void LayOutVolume(const uint8_t* boot);
  uint32_t CountDataClusters(const uint8_t* boot, uint64_t dataOffset);
  // Notes clusters and a root region that the source cuts off (see TPartition::notes).
  void NoteWhatTheSourceCutsOff();
  void CreateRoot(const uint8_t* boot);
  void TakeLabelFromRoot();
  bool IsEndOfChain(uint32_t entry) const;
  bool IsBadClusterMark(uint32_t entry) const;
  bool SendChain(const FATDirectoryEntry& record, uint64_t maxBytes, ClusterTrail& trail, SpanStream& output) const;
  bool SendTail(SpanStream& output, uint32_t lastCluster, uint64_t remaining) const;

  uint32_t dataClusterCount_ = 0;
  // The data clusters the boot sector claims, as far as the first table can address them; more
  // than dataClusterCount_ when the source cuts the volume short.
  uint32_t volumeClusterCount_ = 0;
  const OemCodePage codePage_;
};

// The FAT width the boot sector's texts name, as formatters write them: "FAT12" or "FAT16" at
// 54, "FAT32" at 82, an OEM name ending in "IHC" for old FAT12 disks; 0 when they name none.
int32_t NamedFatType(const uint8_t* boot);

// The FAT width a volume is read with: the one its texts name, else 16.
int32_t DecideFatType(const uint8_t* boot);
