#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "fs/PartitionTables.h"
#include "fs/TableLayout.h"

namespace {

// The entry array lies between the header and the first partition, where partitioning tools
// leave 1 MiB at most; the usual array is 128 entries of 128 bytes, 16 KiB. A header that
// claims more (up to 2^32 - 1 entries of up to 4 GiB each) is damaged and sizes no read.
constexpr uint64_t kMaxEntryArrayBytes = 1 << 20;

uint32_t Crc32(const uint8_t* bytes, size_t count) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes, static_cast<uInt>(count)));
}

// The header stored at lba, when its signature, size and CRC check out and it says it lies
// there (a copy found elsewhere is no header of this source's table).
std::optional<gpt::Header> ReadHeader(TSectorReader& reader, uint64_t lba) {
  std::vector<uint8_t> sector = ReadWholeSector(reader, lba);
  if (std::memcmp(sector.data(), gpt::kSignatureText, gpt::kSignatureLength) != 0) return std::nullopt;
  const gpt::Header header = gpt::Header::FromBytes(sector.data());
  if (header.headerSize < gpt::kMinimumHeaderSize || header.headerSize > sector.size()) return std::nullopt;
  std::fill_n(sector.begin() + gpt::kHeaderCrc, 4, 0);
  if (Crc32(sector.data(), header.headerSize) != header.headerCrc || header.myLba != lba) return std::nullopt;
  return header;
}

// The header's entry array, when its size is one a real table has, it lies inside the source
// and its CRC checks out.
std::optional<std::vector<uint8_t>> ReadEntryArray(TSectorReader& reader, const gpt::Header& header) {
  const uint32_t entrySize = header.entrySize;
  if (entrySize < gpt::kMinimumEntrySize || (entrySize & (entrySize - 1)) != 0) return std::nullopt;
  const uint64_t arrayBytes = uint64_t{header.entryCount} * entrySize;
  if (arrayBytes > kMaxEntryArrayBytes) return std::nullopt;
  const uint64_t arraySectors = (arrayBytes + reader.bytesPerSector() - 1) / reader.bytesPerSector();
  if (header.entriesLba > reader.totalSectors() || arraySectors > reader.totalSectors() - header.entriesLba) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes = ReadSectorBytes(reader, header.entriesLba, static_cast<uint32_t>(arrayBytes));
  if (Crc32(bytes.data(), arrayBytes) != header.entriesCrc) return std::nullopt;
  return bytes;
}

// The used entries, numbered by their index from 1, as classic entries: start and length.
std::vector<NumberedEntry> UsedEntries(const gpt::Header& header, const std::vector<uint8_t>& array) {
  std::vector<NumberedEntry> entries;
  for (uint32_t i = 0; i < header.entryCount; ++i) {
    const gpt::Entry stored = gpt::Entry::FromBytes(array.data() + size_t{i} * header.entrySize);
    if (stored.IsUnused() || stored.firstLba > UINT32_MAX) continue;
    PartitionEntry entry;
    entry.startLba = static_cast<uint32_t>(stored.firstLba);
    if (stored.lastLba >= stored.firstLba) {
      entry.sectorCount = static_cast<uint32_t>(std::min<uint64_t>(stored.lastLba - stored.firstLba + 1, UINT32_MAX));
    }
    entries.push_back({static_cast<int>(i) + 1, entry});
  }
  return entries;
}

}  // namespace

GuidTable ReadGuidPartitionTable(TSectorReader& reader) {
  std::optional<gpt::Header> header = ReadHeader(reader, gpt::kPrimaryHeaderLba);
  std::optional<std::vector<uint8_t>> array = header ? ReadEntryArray(reader, *header) : std::nullopt;
  if (!array) {
    // The backup: where a primary header that checked out says it is, else in the last sector.
    std::vector<uint64_t> backups;
    if (header) backups.push_back(header->alternateLba);
    if (reader.totalSectors() > 0) backups.push_back(reader.totalSectors() - 1);
    for (uint64_t lba : backups) {
      header = ReadHeader(reader, lba);
      array = header ? ReadEntryArray(reader, *header) : std::nullopt;
      if (array) break;
    }
  }
  if (!array) return {};
  return {true, UsedEntries(*header, *array)};
}
