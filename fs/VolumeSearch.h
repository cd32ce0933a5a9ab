#pragma once
// The search for volumes that no partition table leads to: a table overwritten or zeroed, an
// entry deleted, entries that lead nowhere. Candidate sectors are tested in memory: first at
// every 1 MiB boundary and every 63-sector track boundary (where partitioning tools put
// volumes), of which only the sectors the tests look at are read, or, on request, at every
// sector, for which the source is read whole in large sequential blocks. Holes of a sparse
// image read as zeros and are passed over unread. A
// candidate counts when its boot sector passes the full check (see BootSectorCheck.h), or when
// the backup its volume keeps does. The sectors of a volume found are not searched further:
// its backup boot sectors are not second volumes, nor is a disk image stored in one of its
// files a volume of this source.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "device/SectorReader.h"
#include "fs/BootSectorCheck.h"
#include "fs/Discovery.h"

enum class SearchDepth { kBoundaries, kEverySector };

// Sectors first to end - 1 of the source.
struct SectorRange {
  uint64_t first = 0;
  uint64_t end = 0;
};

struct FoundVolume {
  uint64_t sector = 0;  // the volume's first sector on the source
  BootSectorKind kind = BootSectorKind::kUnrecognised;
  CheckedVolume volume;
  BootBytes boot{};  // its boot sector, or the backup that stands in for it
  // Where the backup that stood in for its boot sector lies, in the volume's sectors.
  std::optional<uint32_t> backupSector;
  // Whether boot was written from the geometry inferred for a FAT12 or FAT16 volume whose boot
  // sector is lost (see FatGeometry.h).
  bool inferred = false;
};

// Told the sectors searched so far and the sectors to search in all after each block; false
// stops the search, which then gives what it found so far.
using SearchProgress = std::function<bool(uint64_t done, uint64_t total)>;

// The volumes whose first sector lies in one of ranges, in source order.
std::vector<FoundVolume> SearchForVolumes(TSectorReader& reader, const std::vector<SectorRange>& ranges,
                                          SearchDepth depth, const SearchProgress& progress = {});

// The sectors of the source that no extent in covered holds.
std::vector<SectorRange> UncoveredSectors(uint64_t totalSectors, std::vector<SectorRange> covered);
