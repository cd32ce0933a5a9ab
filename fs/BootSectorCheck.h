#pragma once
// A boot sector checked as fully as a volume found without a partition table must be, and the
// copies that a volume whose own boot sector is damaged still keeps: the backup boot sector of
// FAT32 (usually the volume's sector 6) and the backup boot region of exFAT (sectors 12 to 23).
// Positions are byte positions on the source: a volume's sectors need not be the source's.

#include <array>
#include <cstdint>
#include <optional>

#include "device/SectorReader.h"

namespace bootcheck {

inline constexpr uint32_t kBootBytes = 512;
// Where the exFAT backup boot region begins, in the volume's sectors.
inline constexpr uint32_t kExfatBackupRegion = 12;
// Where mkfs.fat and Windows put the FAT32 backup boot sector, in the volume's sectors.
inline constexpr uint32_t kFat32DefaultBackup = 6;
// The sector sizes a boot sector can state.
inline constexpr uint32_t kSectorSizes[] = {512, 1024, 2048, 4096};

}  // namespace bootcheck

using BootBytes = std::array<uint8_t, bootcheck::kBootBytes>;

// What a boot sector that passed every check states about its volume.
struct CheckedVolume {
  int fatType = 0;           // 12, 16 or 32; 0 for exFAT
  uint32_t sectorSize = 0;   // bytes per sector of the volume
  uint64_t volumeBytes = 0;  // the volume's length
  bool exfat() const { return fatType == 0; }
};

// The first bytes read count bytes at byte position of the source: zeros where it holds none.
std::vector<uint8_t> ReadSourceBytes(TSectorReader& reader, uint64_t position, uint32_t count);

// A first look at 512 bytes, with no reads: the boot signature, and a jump instruction or the
// exFAT name. What passes is worth the full check.
bool MayBeBootSector(const uint8_t* boot);

// The full check of a FAT boot sector for a volume that begins at byte volumeStart: a jump
// instruction, the signature, a sector size a boot sector can state, a power-of-two cluster of
// at most 128 sectors, one or two tables, a media byte, tables and root directory that fit in
// the volume and begin in the source, and the first table beginning with the media byte.
std::optional<CheckedVolume> CheckFatBootSector(TSectorReader& reader, const uint8_t* boot, uint64_t volumeStart);

// The full check of the exFAT boot region that begins at byte regionStart (the main one at the
// volume's start, or the backup) for a volume that begins at byte volumeStart: the file-system
// name and signature, the fields the format fixes, the region's checksum and the first FAT
// beginning with the media entry.
std::optional<CheckedVolume> CheckExfatBootRegion(TSectorReader& reader, uint64_t regionStart, uint64_t volumeStart);

// Either check, as boot names the family; boot is the first 512 bytes at volumeStart.
std::optional<CheckedVolume> CheckBootSector(TSectorReader& reader, const uint8_t* boot, uint64_t volumeStart);

// The checksum of an exFAT boot region: its first eleven sectors of sectorSize bytes, the
// volume flags and the percent-in-use byte left out.
uint32_t ExfatBootChecksum(const uint8_t* region, uint32_t sectorSize);

// A copy of a volume's boot sector that stands in for its own.
struct BackupBoot {
  BootBytes bytes{};
  uint32_t volumeSector = 0;  // where the copy lies, in the volume's sectors from its start
  CheckedVolume volume;
};

// The backup that a volume beginning at byte volumeStart keeps, when it passes the full check:
// the FAT32 backup boot sector (where primary names it when primary is a FAT32 boot sector, else
// at sector 6) or the exFAT backup boot region. Nothing when neither is there.
std::optional<BackupBoot> FindBackupBoot(TSectorReader& reader, uint64_t volumeStart, const uint8_t* primary);
