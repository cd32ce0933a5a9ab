#pragma once
// Finding the FAT and exFAT volumes of an open source: the whole source as one volume first;
// only if that fails, the four primary entries of the classic partition table in sector 0,
// then the logical drives of every extended partition, then a GUID partition table when
// sector 0 marks one. Beyond what the tables' own rules need (an extended type leads to a
// chain of records, an all-zero type GUID marks an unused entry), type codes and type GUIDs
// decide nothing: every entry is probed.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fs/OemCodePage.h"
#include "fs/Partition.h"
#include "fs/PartitionTables.h"

using PartitionList = std::vector<std::unique_ptr<TPartition>>;

// What a candidate boot sector holds, judged from its signature and text markers.
enum class BootSectorKind { kUnrecognised, kFat, kExfat };

// Judges the first 512 bytes of a candidate volume.
BootSectorKind ClassifyBootSector(const uint8_t* sector);

// Examines the sector at the entry's start and, when it is a recognised boot sector, appends
// the matching partition, made from readerRef and the entry. True when one was appended. A FAT
// volume's 8.3 names and label are decoded from codePage.
bool ProbeBootSector(ReaderRef* readerRef, const PartitionEntry& entry, PartitionList& partitions,
                     const OemCodePage& codePage = OemCodePage::Default());

// Appends every volume found on the source, in discovery order, each with its number; FAT
// volumes decode their 8.3 names and labels from codePage.
void DiscoverPartitions(ReaderRef* readerRef, PartitionList& partitions,
                        const OemCodePage& codePage = OemCodePage::Default());

// Every entry of the source's partition tables that describes a partition of some size: the
// primary entries (not extended or protective ones), the logical drives and the GUID entries,
// with their numbers.
std::vector<NumberedEntry> ReadTableEntries(TSectorReader& reader);

// Why the partition table of a source on which discovery found nothing may still hide
// volumes, as a sentence for the user; empty when there is nothing more to say.
std::string DescribeUnreadTable(ReaderRef* readerRef);
