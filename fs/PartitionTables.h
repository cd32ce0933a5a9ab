#pragma once
// Reading the partition tables of a source: the four primary entries of sector 0, the logical
// drives chained behind an extended partition, and a GUID partition table. Each gives the
// entries it holds with the numbers Linux gives their partitions (primaries 1 to 4 by their
// place in the table, logical drives from 5 in chain order, GUID entries by their index from
// 1), so that a user finds the same numbers here and in lsblk. Every number read from a table
// is untrusted: a walk reads a bounded number of sectors, and an entry that starts beyond the
// 32-bit sectors the reader addresses is left out, never wrapped.

#include <cstdint>
#include <vector>

#include "device/SectorReader.h"
#include "fs/PartitionEntry.h"

// A table entry as the partition is made from it (its start an absolute sector number), and
// the partition's number.
struct NumberedEntry {
  int number = 0;
  PartitionEntry entry;
};

// Reads count bytes from the first byte of the sector on. Bytes that could not be read (the
// reader refused or failed, or the sector lies beyond what it addresses) are zeros. The
// buffer is at least 512 bytes long, so a table or boot sector can be checked in it whatever
// the reader's state.
std::vector<uint8_t> ReadSectorBytes(TSectorReader& reader, uint64_t sector, uint32_t count);
// The sector, read as above.
std::vector<uint8_t> ReadWholeSector(TSectorReader& reader, uint64_t sector);

// Numbers of the partitions that are not numbered by their place in a table.
inline constexpr int kWholeSourceNumber = 1;
inline constexpr int kFirstLogicalNumber = 5;

// The four entries of the table in sector 0, numbered 1 to 4; empty when sector 0 carries no
// boot signature.
std::vector<NumberedEntry> ReadPrimaryEntries(const std::vector<uint8_t>& sector0);

// The logical drives chained behind the extended partition, in chain order, numbered on from
// nextNumber, which is left one past the last number given.
std::vector<NumberedEntry> ReadLogicalDrives(TSectorReader& reader, const PartitionEntry& extended,
                                             int& nextNumber);

// What the GUID partition table of a source gave.
struct GuidTable {
  bool found = false;                  // a header and its entry array checked out
  std::vector<NumberedEntry> entries;  // the used entries, by index
};

// Reads the GUID partition table: the header in sector 1 of the source's sector size, or,
// when it or its entry array is damaged, the backup copy.
GuidTable ReadGuidPartitionTable(TSectorReader& reader);
