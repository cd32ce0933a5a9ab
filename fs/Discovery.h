#pragma once
// Finding the FAT and exFAT volumes of an open source: the whole source as one volume first,
// and only if that fails the four primary entries of a classic partition table in sector 0.
// Extended partitions and other table formats are not searched.

#include <cstdint>
#include <memory>
#include <vector>

#include "fs/Partition.h"

using PartitionList = std::vector<std::unique_ptr<TPartition>>;

// What a candidate boot sector holds, judged from its signature and text markers.
enum class BootSectorKind { kUnrecognised, kFat, kExfat };

// Judges the first 512 bytes of a candidate volume.
BootSectorKind ClassifyBootSector(const uint8_t* sector);

// Examines the sector at the entry's start and, when it is a recognised boot sector, appends
// the matching partition, made from readerRef and the entry. True when one was appended.
bool ProbeBootSector(ReaderRef* readerRef, const PartitionEntry& entry, PartitionList& partitions);

// Appends every volume found on the source, in discovery order.
void DiscoverPartitions(ReaderRef* readerRef, PartitionList& partitions);

// True when the source carries a GUID partition table (a protective entry of type 0xEE in
// sector 0, or "EFI PART" at the start of sector 1), which discovery does not read.
bool HasGuidPartitionTable(ReaderRef* readerRef);
