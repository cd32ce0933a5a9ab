#include "fs/Discovery.h"

#include <algorithm>

#include "fs/Bytes.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"

namespace {

// Sector 0 of a partitioned source, and what every boot sector ends with.
constexpr size_t kPartitionTableOffset = 446;
constexpr int kPrimaryEntries = 4;
constexpr uint8_t kGptProtectiveType = 0xEE;
constexpr size_t kBootSignature = 510;         // 0x55 0xAA
constexpr uint32_t kProbeBytes = 512;          // the signature's sector, whatever the sector size

bool HasBootSignature(const uint8_t* sector) {
  return sector[kBootSignature] == 0x55 && sector[kBootSignature + 1] == 0xAA;
}

// Reads the sector at the given number into a buffer of one sector, never less than 512
// bytes; a refused read leaves zeros, which carry no signature.
std::vector<uint8_t> ReadProbeSector(ReaderRef* readerRef, uint32_t sector) {
  TSectorReader& reader = *readerRef->reader;
  std::vector<uint8_t> buffer(std::max(reader.bytesPerSector(), kProbeBytes));
  reader.byteOffset = 0;
  reader.ReadBytes(buffer.data(), reader.bytesPerSector(), sector);
  return buffer;
}

}  // namespace

BootSectorKind ClassifyBootSector(const uint8_t* sector) {
  if (!HasBootSignature(sector)) return BootSectorKind::kUnrecognised;
  switch (NamedFatType(sector)) {
    case 0:
      break;
    case 32:
      // A FAT32 boot sector must name its root directory's cluster.
      return le32(sector + fat::kRootCluster32) != 0 ? BootSectorKind::kFat : BootSectorKind::kUnrecognised;
    default:
      return BootSectorKind::kFat;
  }
  if (TextAt(sector, fat::kOemName, "NTFS")) return BootSectorKind::kUnrecognised;
  if (TextAt(sector, exfat::kBootFileSystemName, "EXFAT")) return BootSectorKind::kExfat;
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
      if (PartitionEntry::FromBytes(entry).typeCode == kGptProtectiveType) return true;
    }
  }
  const std::vector<uint8_t> sector1 = ReadProbeSector(readerRef, 1);
  return TextAt(sector1.data(), 0, "EFI PART");
}
