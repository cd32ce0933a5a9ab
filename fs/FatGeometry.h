#pragma once
// The geometry of a FAT12 or FAT16 volume whose boot sector is lost and which keeps no backup,
// inferred from what remains of it: two equal allocation tables that begin with the media byte
// followed by 0xFF bytes, the root folder after them (slots that read as folder entries, often
// a volume label), and the cluster size that the folders and files there agree on ("." slots
// of subfolders where their entries say they are, chains as long as the files' sizes need).
// What is inferred is written into a boot sector of the usual form, which then passes the
// same full check as one read from the medium.

#include <cstdint>
#include <optional>

#include "device/SectorReader.h"
#include "fs/BootSectorCheck.h"

struct InferredBoot {
  BootBytes bytes{};  // a boot sector that states the inferred geometry
  CheckedVolume volume;
};

// The information row a volume of inferred geometry gets, under "Boot sector".
inline constexpr const char* kInferredBootText =
    "lost; the geometry was inferred from the allocation tables and the root folder";

// The most reserved sectors looked at for the first table: mkfs.fat puts the data region on a
// cluster boundary by adding reserved sectors, up to a cluster of 64 sectors.
inline constexpr uint32_t kInferMaxReserved = 64;

// Whether one of the sectors 1 to reserved of the count bytes at volume begins as a FAT12 or
// FAT16 table does (media byte, then 0xFF bytes): worth an attempt at inferring its geometry.
bool MayHoldLostFatTable(const uint8_t* volume, size_t count, uint32_t bytesPerSector, uint32_t reserved);

// The geometry of the FAT12 or FAT16 volume that begins at byte volumeStart, with sectors of
// the source's size. statedSectors is the volume's length where a partition entry gives one,
// else 0: the volume then ends where its tables can address no further cluster, or at the end
// of the source.
std::optional<InferredBoot> InferFatBootSector(TSectorReader& reader, uint64_t volumeStart, uint64_t statedSectors);
