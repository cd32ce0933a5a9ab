#include "fs/Discovery.h"

#include <algorithm>
#include <set>

#include "fs/BootSectorCheck.h"
#include "fs/Bytes.h"
#include "fs/FatGeometry.h"
#include "fs/PartitionTables.h"
#include "fs/TableLayout.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"

namespace {

// Sector sizes a GUID partition table is commonly made for.
constexpr uint32_t kCommonSectorSizes[] = {512, 4096};

// Probes the entry and gives the partition it makes the entry's number.
bool ProbeNumbered(ReaderRef* readerRef, const NumberedEntry& candidate, PartitionList& partitions,
                   const OemCodePage& codePage) {
  if (!ProbeBootSector(readerRef, candidate.entry, partitions, codePage)) return false;
  partitions.back()->number = candidate.number;
  return true;
}

bool HasProtectiveEntry(const std::vector<NumberedEntry>& primaries) {
  return std::any_of(primaries.begin(), primaries.end(),
                     [](const NumberedEntry& p) { return p.entry.typeCode == mbr::kTypeGptProtective; });
}

// A primary entry of a hybrid table that describes a partition of the GUID table as well: the
// volume is found once, with the number Linux gives it, its GUID index.
bool MirrorsGuidEntry(const NumberedEntry& primary, const GuidTable& guid) {
  return std::any_of(guid.entries.begin(), guid.entries.end(),
                     [&](const NumberedEntry& g) { return g.entry.startLba == primary.entry.startLba; });
}

// Linux follows only extended partitions that have a size, and so numbers only their drives.
bool IsExtendedPartition(const PartitionEntry& entry) {
  return mbr::IsExtendedType(entry.typeCode) && entry.sectorCount != 0;
}

}  // namespace

BootSectorKind ClassifyBootSector(const uint8_t* sector) {
  if (!mbr::HasSignature(sector)) return BootSectorKind::kUnrecognised;
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

namespace {

uint64_t SectorsOf(const CheckedVolume& volume, uint32_t bytesPerSector) {
  return bytesPerSector != 0 ? (volume.volumeBytes + bytesPerSector - 1) / bytesPerSector : 0;
}

bool AddVolume(ReaderRef* readerRef, const PartitionEntry& entry, const uint8_t* boot, BootSectorKind kind,
               const uint8_t* bootCopy, PartitionList& partitions, const OemCodePage& codePage) {
  switch (kind) {
    case BootSectorKind::kFat:
      partitions.push_back(std::make_unique<TFATPartition>(readerRef, entry, codePage, bootCopy));
      break;
    case BootSectorKind::kExfat:
      partitions.push_back(std::make_unique<EXFATPartition>(readerRef, entry, bootCopy));
      break;
    case BootSectorKind::kUnrecognised:
      return false;
  }
  TSectorReader& reader = *readerRef->reader;
  if (const std::optional<CheckedVolume> volume = CheckBootSector(reader, boot, uint64_t{entry.startLba} * reader.bytesPerSector())) {
    partitions.back()->sectorCount = SectorsOf(*volume, reader.bytesPerSector());
  }
  return true;
}

}  // namespace

bool ProbeBootSector(ReaderRef* readerRef, const PartitionEntry& entry, PartitionList& partitions,
                     const OemCodePage& codePage) {
  TSectorReader& reader = *readerRef->reader;
  const std::vector<uint8_t> sector = ReadWholeSector(reader, entry.startLba);
  const BootSectorKind kind = ClassifyBootSector(sector.data());
  const uint64_t start = uint64_t{entry.startLba} * reader.bytesPerSector();
  // A boot sector that fails its checks gives way to the backup the volume keeps, when that
  // one passes them; without one, what the boot sector says is read as it stands.
  if (kind == BootSectorKind::kUnrecognised || !CheckBootSector(reader, sector.data(), start)) {
    if (const std::optional<BackupBoot> backup = FindBackupBoot(reader, start, sector.data())) {
      const BootSectorKind backupKind = backup->volume.exfat() ? BootSectorKind::kExfat : BootSectorKind::kFat;
      AddVolume(readerRef, entry, backup->bytes.data(), backupKind, backup->bytes.data(), partitions, codePage);
      partitions.back()->sectorCount = SectorsOf(backup->volume, reader.bytesPerSector());
      partitions.back()->findings.emplace_back(
          "Boot sector", std::string("damaged; read from its backup") + (backup->volume.exfat() ? " boot region" : "") +
                             " at sector " + std::to_string(backup->volumeSector) + " of the volume");
      return true;
    }
    // A FAT12 or FAT16 volume keeps no backup: its geometry is inferred from its tables and
    // root folder, where they are still there. Only for a table entry: the source read as one
    // volume is searched instead, where a volume found further on is not hidden by it.
    const std::optional<InferredBoot> inferred =
        entry.startLba != 0 ? InferFatBootSector(reader, start, entry.sectorCount) : std::nullopt;
    if (inferred) {
      AddVolume(readerRef, entry, inferred->bytes.data(), BootSectorKind::kFat, inferred->bytes.data(), partitions,
                codePage);
      partitions.back()->sectorCount = SectorsOf(inferred->volume, reader.bytesPerSector());
      partitions.back()->findings.emplace_back("Boot sector", kInferredBootText);
      return true;
    }
  }
  return AddVolume(readerRef, entry, sector.data(), kind, nullptr, partitions, codePage);
}

void DiscoverPartitions(ReaderRef* readerRef, PartitionList& partitions, const OemCodePage& codePage) {
  TSectorReader& reader = *readerRef->reader;
  if (ProbeNumbered(readerRef, {kWholeSourceNumber, PartitionEntry{}}, partitions, codePage)) return;
  const std::vector<NumberedEntry> primaries = ReadPrimaryEntries(ReadWholeSector(reader, 0));
  const GuidTable guid = HasProtectiveEntry(primaries) ? ReadGuidPartitionTable(reader) : GuidTable{};
  // Every primary entry is probed, whatever its type or size: an empty one probes sector 0
  // again and fails again, and two entries with the same start give two partitions.
  for (const NumberedEntry& primary : primaries) {
    if (!MirrorsGuidEntry(primary, guid)) ProbeNumbered(readerRef, primary, partitions, codePage);
  }
  // A logical drive or GUID entry that starts where a volume was found already is that volume
  // again: it is not made twice, so a damaged table of many such entries cannot build the
  // same tree over and over.
  std::set<uint32_t> starts;
  for (const auto& partition : partitions) starts.insert(partition->firstSector);
  const auto probeNew = [&](const NumberedEntry& candidate) {
    if (starts.count(candidate.entry.startLba) == 0 && ProbeNumbered(readerRef, candidate, partitions, codePage)) {
      starts.insert(candidate.entry.startLba);
    }
  };
  int nextLogical = kFirstLogicalNumber;
  for (const NumberedEntry& primary : primaries) {
    if (!IsExtendedPartition(primary.entry)) continue;
    for (const NumberedEntry& drive : ReadLogicalDrives(reader, primary.entry, nextLogical)) probeNew(drive);
  }
  for (const NumberedEntry& entry : guid.entries) probeNew(entry);
}

std::vector<NumberedEntry> ReadTableEntries(TSectorReader& reader) {
  const std::vector<NumberedEntry> primaries = ReadPrimaryEntries(ReadWholeSector(reader, 0));
  std::vector<NumberedEntry> entries;
  int nextLogical = kFirstLogicalNumber;
  for (const NumberedEntry& primary : primaries) {
    if (primary.entry.sectorCount == 0 || primary.entry.typeCode == mbr::kTypeGptProtective) continue;
    if (!IsExtendedPartition(primary.entry)) {
      entries.push_back(primary);
      continue;
    }
    for (const NumberedEntry& drive : ReadLogicalDrives(reader, primary.entry, nextLogical)) entries.push_back(drive);
  }
  if (HasProtectiveEntry(primaries)) {
    for (const NumberedEntry& entry : ReadGuidPartitionTable(reader).entries) entries.push_back(entry);
  }
  return entries;
}

std::string DescribeUnreadTable(ReaderRef* readerRef) {
  TSectorReader& reader = *readerRef->reader;
  if (!HasProtectiveEntry(ReadPrimaryEntries(ReadWholeSector(reader, 0)))) return "";
  if (ReadGuidPartitionTable(reader).found) return "";
  // A table made for other sectors has its header at byte 512 or 4096, not in sector 1.
  const uint32_t bps = reader.bytesPerSector();
  for (uint32_t size : kCommonSectorSizes) {
    if (size == bps) continue;
    const std::vector<uint8_t> sector = ReadWholeSector(reader, size / bps);
    const size_t at = size % bps;
    if (at + gpt::kSignatureLength <= sector.size() && TextAt(sector.data(), at, gpt::kSignatureText)) {
      return "It has a GUID partition table (GPT) made for " + std::to_string(size) +
             "-byte sectors: open it with a sector size of " + std::to_string(size) + ".";
    }
  }
  return "It has a GUID partition table (GPT) whose headers are both damaged.";
}
