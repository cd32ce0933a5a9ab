#include "fs/BootSectorCheck.h"

#include <algorithm>
#include <vector>

#include "fs/Bytes.h"
#include "fs/TableLayout.h"
#include "fs/exfat/ExfatLayout.h"
#include "fs/fat/FatLayout.h"

namespace {

// FAT boot sector fields beyond those the FAT classes read.
constexpr size_t kFatMedia = 21;          // 1: 0xF0 or 0xF8 to 0xFF
constexpr size_t kFatBackupSector = 50;   // 2, FAT32: the backup boot sector, in volume sectors
constexpr uint8_t kJumpShort = 0xEB;
constexpr uint8_t kJumpNear = 0xE9;
constexpr uint32_t kMaxSectorsPerCluster = 128;
constexpr uint32_t kMaxFat16Clusters = 65524;
constexpr uint32_t kMaxFat12Clusters = 4084;

// exFAT boot sector fields beyond those the exFAT classes read.
constexpr size_t kExfatMustBeZero = 11;   // 53 bytes that stand where a FAT's parameters would
constexpr size_t kExfatMustBeZeroLength = 53;
constexpr size_t kExfatVolumeLength = 72;   // 8, in volume sectors
constexpr size_t kExfatFatCount = 110;      // 1
constexpr size_t kExfatVolumeFlags = 106;   // 2, left out of the checksum
constexpr size_t kExfatPercentInUse = 112;  // 1, left out of the checksum
constexpr uint32_t kExfatFirstFatOffset = 24;  // the FAT cannot begin inside the two boot regions
constexpr uint32_t kExfatRegionSectors = 12;   // eleven sectors and the checksum sector
constexpr uint32_t kExfatMediaEntry = 0xFFFFFFF8;

bool IsMediaByte(uint8_t media) { return media == 0xF0 || media >= 0xF8; }

bool IsStatableSectorSize(uint32_t size) {
  return std::find(std::begin(bootcheck::kSectorSizes), std::end(bootcheck::kSectorSizes), size) !=
         std::end(bootcheck::kSectorSizes);
}

uint64_t SourceBytes(const TSectorReader& reader) { return uint64_t{reader.totalSectors()} * reader.bytesPerSector(); }

// Whether a boot sector names FAT32 or has its layout (no 16-bit table size, a 32-bit one).
bool LooksLikeFat32(const uint8_t* boot) {
  return TextAt(boot, fat::kTypeText32, "FAT32") ||
         (le16(boot + fat::kSectorsPerTable16) == 0 && le32(boot + fat::kSectorsPerTable32) != 0);
}

std::optional<BackupBoot> FindFat32Backup(TSectorReader& reader, uint64_t volumeStart, const uint8_t* primary) {
  uint32_t backupSector = bootcheck::kFat32DefaultBackup;
  if (mbr::HasSignature(primary) && LooksLikeFat32(primary)) {
    const uint32_t named = le16(primary + kFatBackupSector);
    if (named != 0 && named != 0xFFFF && named < le16(primary + fat::kReservedSectors)) backupSector = named;
  }
  for (const uint32_t size : bootcheck::kSectorSizes) {
    const std::vector<uint8_t> copy = ReadSourceBytes(reader, volumeStart + uint64_t{backupSector} * size, 512);
    if (le16(copy.data() + fat::kBytesPerSector) != size || !MayBeBootSector(copy.data())) continue;
    const std::optional<CheckedVolume> volume = CheckFatBootSector(reader, copy.data(), volumeStart);
    if (!volume || volume->fatType != 32) continue;
    BackupBoot backup;
    std::copy_n(copy.begin(), backup.bytes.size(), backup.bytes.begin());
    backup.volumeSector = backupSector;
    backup.volume = *volume;
    return backup;
  }
  return std::nullopt;
}

std::optional<BackupBoot> FindExfatBackup(TSectorReader& reader, uint64_t volumeStart) {
  for (const uint32_t size : bootcheck::kSectorSizes) {
    const uint64_t regionStart = volumeStart + uint64_t{bootcheck::kExfatBackupRegion} * size;
    const std::vector<uint8_t> copy = ReadSourceBytes(reader, regionStart, 512);
    if ((1u << std::min<unsigned>(copy[exfat::kBootBytesPerSectorShift], 31)) != size) continue;
    const std::optional<CheckedVolume> volume = CheckExfatBootRegion(reader, regionStart, volumeStart);
    if (!volume) continue;
    BackupBoot backup;
    std::copy_n(copy.begin(), backup.bytes.size(), backup.bytes.begin());
    backup.volumeSector = bootcheck::kExfatBackupRegion;
    backup.volume = *volume;
    return backup;
  }
  return std::nullopt;
}

}  // namespace

std::vector<uint8_t> ReadSourceBytes(TSectorReader& reader, uint64_t position, uint32_t count) {
  std::vector<uint8_t> bytes(count);
  const uint32_t bytesPerSector = reader.bytesPerSector();
  if (bytesPerSector == 0 || count == 0) return bytes;
  const uint64_t sector = position / bytesPerSector;
  if (sector >= reader.totalSectors()) return bytes;
  // A read that would reach past the end of the source would fail as a whole: what lies
  // before the end is read, the rest stays zeros.
  const uint64_t readable = reader.totalSectors() * bytesPerSector - position;
  reader.ReadAt(static_cast<uint32_t>(sector), static_cast<uint32_t>(position % bytesPerSector), bytes.data(),
                static_cast<uint32_t>(std::min<uint64_t>(count, readable)));
  return bytes;
}

bool MayBeBootSector(const uint8_t* boot) {
  if (!mbr::HasSignature(boot)) return false;
  return boot[0] == kJumpShort || boot[0] == kJumpNear;
}

std::optional<CheckedVolume> CheckFatBootSector(TSectorReader& reader, const uint8_t* boot, uint64_t volumeStart) {
  if (!MayBeBootSector(boot) || TextAt(boot, exfat::kBootFileSystemName, "EXFAT")) return std::nullopt;
  const uint32_t bytesPerSector = le16(boot + fat::kBytesPerSector);
  const uint32_t sectorsPerCluster = boot[fat::kSectorsPerCluster];
  const uint32_t reservedSectors = le16(boot + fat::kReservedSectors);
  const uint32_t tableCount = boot[fat::kTableCount];
  const uint8_t media = boot[kFatMedia];
  if (!IsStatableSectorSize(bytesPerSector) || sectorsPerCluster == 0 || sectorsPerCluster > kMaxSectorsPerCluster ||
      (sectorsPerCluster & (sectorsPerCluster - 1)) != 0 || reservedSectors == 0 || tableCount < 1 ||
      tableCount > 2 || !IsMediaByte(media)) {
    return std::nullopt;
  }
  const uint32_t rootEntryCount = le16(boot + fat::kRootEntryCount);
  const uint16_t totalSectors16 = le16(boot + fat::kTotalSectors16);
  const uint64_t totalSectors = totalSectors16 != 0 ? totalSectors16 : le32(boot + fat::kTotalSectors32);
  const uint32_t sectorsPerTable16 = le16(boot + fat::kSectorsPerTable16);
  CheckedVolume volume;
  uint64_t sectorsPerTable = sectorsPerTable16;
  if (sectorsPerTable16 == 0) {
    sectorsPerTable = le32(boot + fat::kSectorsPerTable32);
    if (sectorsPerTable == 0 || rootEntryCount != 0 || le32(boot + fat::kRootCluster32) < fat::kFirstDataCluster) {
      return std::nullopt;
    }
    volume.fatType = 32;
  } else if (rootEntryCount == 0) {
    return std::nullopt;
  }
  const uint64_t rootSectors = (uint64_t{rootEntryCount} * fat::kSlotSize + bytesPerSector - 1) / bytesPerSector;
  const uint64_t metaSectors = reservedSectors + tableCount * sectorsPerTable + rootSectors;
  if (totalSectors <= metaSectors) return std::nullopt;
  const uint64_t clusters = (totalSectors - metaSectors) / sectorsPerCluster;
  if (clusters == 0) return std::nullopt;
  if (volume.fatType != 32) {
    if (clusters > kMaxFat16Clusters) return std::nullopt;
    volume.fatType = clusters > kMaxFat12Clusters ? 16 : 12;
  }
  // The tables and the root directory must lie in the source; the data may run past its end
  // (a cut image), which the volume notes.
  if (volumeStart + metaSectors * bytesPerSector > SourceBytes(reader)) return std::nullopt;
  const std::vector<uint8_t> table = ReadSourceBytes(reader, volumeStart + uint64_t{reservedSectors} * bytesPerSector, 2);
  if (table[0] != media || table[1] != 0xFF) return std::nullopt;
  volume.sectorSize = bytesPerSector;
  volume.volumeBytes = totalSectors * bytesPerSector;
  return volume;
}

uint32_t ExfatBootChecksum(const uint8_t* region, uint32_t sectorSize) {
  uint32_t checksum = 0;
  const size_t length = size_t{sectorSize} * (kExfatRegionSectors - 1);
  for (size_t i = 0; i < length; ++i) {
    if (i == kExfatVolumeFlags || i == kExfatVolumeFlags + 1 || i == kExfatPercentInUse) continue;
    checksum = ((checksum & 1) != 0 ? 0x80000000u : 0) + (checksum >> 1) + region[i];
  }
  return checksum;
}

std::optional<CheckedVolume> CheckExfatBootRegion(TSectorReader& reader, uint64_t regionStart, uint64_t volumeStart) {
  const std::vector<uint8_t> boot = ReadSourceBytes(reader, regionStart, 512);
  if (!mbr::HasSignature(boot.data()) || !TextAt(boot.data(), exfat::kBootFileSystemName, "EXFAT   ")) {
    return std::nullopt;
  }
  if (std::any_of(boot.begin() + kExfatMustBeZero, boot.begin() + kExfatMustBeZero + kExfatMustBeZeroLength,
                  [](uint8_t b) { return b != 0; })) {
    return std::nullopt;
  }
  const unsigned sectorShift = boot[exfat::kBootBytesPerSectorShift];
  const unsigned clusterShift = boot[exfat::kBootSectorsPerClusterShift];
  const unsigned fatCount = boot[kExfatFatCount];
  if (sectorShift < exfat::kMinBytesPerSectorShift || sectorShift > exfat::kMaxBytesPerSectorShift ||
      sectorShift + clusterShift > exfat::kMaxClusterShift || fatCount < 1 || fatCount > 2) {
    return std::nullopt;
  }
  const uint32_t sectorSize = 1u << sectorShift;
  const uint64_t fatOffset = le32(&boot[exfat::kBootFatOffset]);
  const uint64_t fatLength = le32(&boot[exfat::kBootFatLength]);
  const uint64_t heapOffset = le32(&boot[exfat::kBootClusterHeapOffset]);
  const uint64_t clusterCount = le32(&boot[exfat::kBootClusterCount]);
  const uint64_t rootCluster = le32(&boot[exfat::kBootFirstClusterOfRootDirectory]);
  const uint64_t volumeLength = le64(&boot[kExfatVolumeLength]);
  if (fatOffset < kExfatFirstFatOffset || fatLength == 0 || heapOffset < fatOffset + fatCount * fatLength ||
      rootCluster < exfat::kFirstCluster || rootCluster >= clusterCount + exfat::kFirstCluster ||
      volumeLength < heapOffset) {
    return std::nullopt;
  }
  const std::vector<uint8_t> region = ReadSourceBytes(reader, regionStart, sectorSize * kExfatRegionSectors);
  const uint32_t checksum = ExfatBootChecksum(region.data(), sectorSize);
  const uint8_t* checksumSector = region.data() + size_t{sectorSize} * (kExfatRegionSectors - 1);
  for (uint32_t i = 0; i < sectorSize; i += 4) {
    if (le32(checksumSector + i) != checksum) return std::nullopt;
  }
  const uint64_t fatStart = volumeStart + fatOffset * sectorSize;
  if (fatStart >= SourceBytes(reader)) return std::nullopt;
  const std::vector<uint8_t> fat = ReadSourceBytes(reader, fatStart, 8);
  if (le32(fat.data()) != kExfatMediaEntry || le32(fat.data() + 4) != exfat::kEndOfChain) return std::nullopt;
  CheckedVolume volume;
  volume.sectorSize = sectorSize;
  volume.volumeBytes = volumeLength * sectorSize;
  return volume;
}

std::optional<CheckedVolume> CheckBootSector(TSectorReader& reader, const uint8_t* boot, uint64_t volumeStart) {
  if (TextAt(boot, exfat::kBootFileSystemName, "EXFAT")) return CheckExfatBootRegion(reader, volumeStart, volumeStart);
  return CheckFatBootSector(reader, boot, volumeStart);
}

std::optional<BackupBoot> FindBackupBoot(TSectorReader& reader, uint64_t volumeStart, const uint8_t* primary) {
  if (std::optional<BackupBoot> backup = FindFat32Backup(reader, volumeStart, primary)) return backup;
  return FindExfatBackup(reader, volumeStart);
}
