#include "fs/Discovery.h"

#include <algorithm>
#include <cstring>

#include "fs/Bytes.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"

namespace {

constexpr size_t kPartitionTableOffset = 446;
constexpr int kPrimaryEntries = 4;
constexpr uint8_t kGptProtectiveType = 0xEE;

bool HasBootSignature(const uint8_t* sector) { return sector[510] == 0x55 && sector[511] == 0xAA; }

bool TextAt(const uint8_t* sector, size_t offset, const char* text) {
  return std::memcmp(sector + offset, text, std::strlen(text)) == 0;
}

// Reads the sector at the given number into a buffer of one sector, never less than 512
// bytes; a refused read leaves zeros, which carry no signature.
std::vector<uint8_t> ReadProbeSector(ReaderRef* readerRef, uint32_t sector) {
  TSectorReader& reader = *readerRef->reader;
  std::vector<uint8_t> buffer(std::max<uint32_t>(reader.bytesPerSector(), 512));
  reader.byteOffset = 0;
  reader.ReadBytes(buffer.data(), reader.bytesPerSector(), sector);
  return buffer;
}

}  // namespace

BootSectorKind ClassifyBootSector(const uint8_t* sector) {
  if (!HasBootSignature(sector)) return BootSectorKind::kUnrecognised;
  if (TextAt(sector, 54, "FAT12") || TextAt(sector, 54, "FAT16")) return BootSectorKind::kFat;
  if (TextAt(sector, 82, "FAT32")) {
    // A FAT32 boot sector must name its root directory's cluster.
    return le32(sector + 44) != 0 ? BootSectorKind::kFat : BootSectorKind::kUnrecognised;
  }
  if (TextAt(sector, 8, "IHC")) return BootSectorKind::kFat;
  if (TextAt(sector, 3, "NTFS")) return BootSectorKind::kUnrecognised;
  if (TextAt(sector, 3, "EXFAT")) return BootSectorKind::kExfat;
  return BootSectorKind::kUnrecognised;
}

bool ProbeBootSector(ReaderRef* readerRef, const PartitionEntry& entry, PartitionList& partitions) {
  const std::vector<uint8_t> sector = ReadProbeSector(readerRef, entry.startLba);
  switch (ClassifyBootSector(sector.data())) {
    case BootSectorKind::kFat:
      partitions.push_back(std::make_unique<TFATPartition>(readerRef, entry));
      return true;
    case BootSectorKind::kExfat:
      partitions.push_back(std::make_unique<EXFATPartition>(readerRef, entry));
      return true;
    case BootSectorKind::kUnrecognised:
      break;
  }
  return false;
}

void DiscoverPartitions(ReaderRef* readerRef, PartitionList& partitions) {
  const std::vector<uint8_t> sector0 = ReadProbeSector(readerRef, 0);
  if (ProbeBootSector(readerRef, PartitionEntry{}, partitions)) return;
  if (!HasBootSignature(sector0.data())) return;
  // Every entry is probed, whatever its type or size: an empty one probes sector 0 again
  // and fails again, and two entries with the same start give two partitions.
  for (int i = 0; i < kPrimaryEntries; ++i) {
    const PartitionEntry entry =
        PartitionEntry::FromBytes(sector0.data() + kPartitionTableOffset + kPartitionEntrySize * i);
    ProbeBootSector(readerRef, entry, partitions);
  }
}

bool HasGuidPartitionTable(ReaderRef* readerRef) {
  const std::vector<uint8_t> sector0 = ReadProbeSector(readerRef, 0);
  if (HasBootSignature(sector0.data())) {
    for (int i = 0; i < kPrimaryEntries; ++i) {
      const uint8_t* entry = sector0.data() + kPartitionTableOffset + kPartitionEntrySize * i;
      if (entry[4] == kGptProtectiveType) return true;
    }
  }
  const std::vector<uint8_t> sector1 = ReadProbeSector(readerRef, 1);
  return TextAt(sector1.data(), 0, "EFI PART");
}
