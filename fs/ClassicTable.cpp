#include <algorithm>
#include <optional>
#include <set>

#include "fs/PartitionTables.h"
#include "fs/TableLayout.h"

namespace {

// No partitioning tool makes more than a few dozen logical drives, and Linux gives a disk at
// most 256 partition numbers, so a longer chain is damage. The bound keeps a chain whose
// records never repeat (each link a little further on) from reading the source to its end.
constexpr size_t kMaxExtendedRecords = 256;

PartitionEntry EntryAt(const std::vector<uint8_t>& sector, int index) {
  return PartitionEntry::FromBytes(sector.data() + mbr::kTableOffset + kPartitionEntrySize * index);
}

}  // namespace

std::vector<uint8_t> ReadSectorBytes(TSectorReader& reader, uint64_t sector, uint32_t count) {
  std::vector<uint8_t> bytes(std::max<size_t>(count, mbr::kMinimumSectorSize));
  if (sector > UINT32_MAX) return bytes;
  reader.ReadAt(static_cast<uint32_t>(sector), 0, bytes.data(), count);
  return bytes;
}

std::vector<uint8_t> ReadWholeSector(TSectorReader& reader, uint64_t sector) {
  return ReadSectorBytes(reader, sector, reader.bytesPerSector());
}

std::vector<NumberedEntry> ReadPrimaryEntries(const std::vector<uint8_t>& sector0) {
  std::vector<NumberedEntry> entries;
  if (!mbr::HasSignature(sector0.data())) return entries;
  for (int i = 0; i < mbr::kEntryCount; ++i) entries.push_back({i + 1, EntryAt(sector0, i)});
  return entries;
}

std::vector<NumberedEntry> ReadLogicalDrives(TSectorReader& reader, const PartitionEntry& extended,
                                             int& nextNumber) {
  std::vector<NumberedEntry> drives;
  std::set<uint64_t> visited;
  uint64_t record = extended.startLba;
  while (visited.size() < kMaxExtendedRecords && visited.insert(record).second) {
    const std::vector<uint8_t> sector = ReadWholeSector(reader, record);
    if (!mbr::HasSignature(sector.data())) break;
    std::optional<uint64_t> next;
    for (int i = 0; i < mbr::kExtendedRecordEntries; ++i) {
      PartitionEntry entry = EntryAt(sector, i);
      if (entry.sectorCount == 0) continue;  // an empty entry, as Linux counts them
      if (mbr::IsExtendedType(entry.typeCode)) {
        // A link counts from the start of the extended partition.
        if (!next) next = uint64_t{extended.startLba} + entry.startLba;
        continue;
      }
      // A logical drive counts from its own record, and keeps its number even when it starts
      // beyond the sectors the reader addresses.
      const int number = nextNumber++;
      const uint64_t start = record + entry.startLba;
      if (start > UINT32_MAX) continue;
      entry.startLba = static_cast<uint32_t>(start);
      drives.push_back({number, entry});
    }
    if (!next) break;
    record = *next;
  }
  return drives;
}
