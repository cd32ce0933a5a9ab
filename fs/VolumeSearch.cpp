#include "fs/VolumeSearch.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

#include "device/FreeDeleter.h"
#include "fs/Bytes.h"
#include "fs/FatGeometry.h"
#include "fs/TableLayout.h"
#include "fs/exfat/ExfatLayout.h"
#include "fs/fat/FatLayout.h"

namespace {

// The block read at once; large enough that the search reads about as fast as the source
// gives its bytes.
constexpr uint32_t kBlockBytes = 1u << 20;
// The bytes past a candidate that its test may look at: the exFAT backup boot region's first
// sector at sector 12 of 4096-byte sectors.
constexpr uint32_t kLookAheadBytes = bootcheck::kExfatBackupRegion * 4096 + bootcheck::kBootBytes;
constexpr uint64_t kAlignmentBytes = 1u << 20;
constexpr size_t kPageBytes = 4096;
constexpr uint64_t kTrackSectors = 63;

bool IsBoundary(uint64_t sector, uint32_t bytesPerSector) {
  return sector % kTrackSectors == 0 || (sector * bytesPerSector) % kAlignmentBytes == 0;
}

void Take(FoundVolume& found, const uint8_t* boot, const CheckedVolume& volume) {
  std::copy_n(boot, found.boot.size(), found.boot.begin());
  found.volume = volume;
  found.kind = volume.exfat() ? BootSectorKind::kExfat : BootSectorKind::kFat;
}

// The volume that begins at sector, whose first bytes are at, with available bytes of the block
// from there on; its boot sector first, then the backups its volume would keep if its sectors
// are of largestSize bytes or fewer.
std::optional<FoundVolume> ProbeCandidate(TSectorReader& reader, uint64_t sector, const uint8_t* at,
                                          size_t available, uint32_t largestSize) {
  const uint64_t start = sector * reader.bytesPerSector();
  FoundVolume found;
  found.sector = sector;
  if (MayBeBootSector(at) && ClassifyBootSector(at) != BootSectorKind::kUnrecognised) {
    if (const std::optional<CheckedVolume> volume = CheckBootSector(reader, at, start)) {
      Take(found, at, *volume);
      return found;
    }
  }
  for (const uint32_t size : bootcheck::kSectorSizes) {
    if (size > largestSize) break;
    const size_t fatBackup = size_t{bootcheck::kFat32DefaultBackup} * size;
    if (fatBackup + bootcheck::kBootBytes <= available) {
      const uint8_t* copy = at + fatBackup;
      if (MayBeBootSector(copy) && le16(copy + fat::kBytesPerSector) == size &&
          TextAt(copy, fat::kTypeText32, "FAT32")) {
        const std::optional<CheckedVolume> volume = CheckFatBootSector(reader, copy, start);
        if (volume && volume->fatType == 32) {
          Take(found, copy, *volume);
          found.backupSector = bootcheck::kFat32DefaultBackup;
          return found;
        }
      }
    }
    const size_t exfatBackup = size_t{bootcheck::kExfatBackupRegion} * size;
    if (exfatBackup + bootcheck::kBootBytes <= available) {
      const uint8_t* copy = at + exfatBackup;
      if (mbr::HasSignature(copy) && TextAt(copy, exfat::kBootFileSystemName, "EXFAT   ") &&
          copy[exfat::kBootBytesPerSectorShift] < 32 && (1u << copy[exfat::kBootBytesPerSectorShift]) == size) {
        if (const std::optional<CheckedVolume> volume = CheckExfatBootRegion(reader, start + exfatBackup, start)) {
          Take(found, copy, *volume);
          found.backupSector = bootcheck::kExfatBackupRegion;
          return found;
        }
      }
    }
  }
  return std::nullopt;
}

// The largest sector size whose backups ProbeCandidate looks for at a candidate: at a track
// boundary that is no 1 MiB boundary, where only tools that partition by cylinders put
// volumes, the source's own; elsewhere any a boot sector may state.
uint32_t LargestBackupSize(uint64_t sector, uint32_t bytesPerSector) {
  return (sector * bytesPerSector) % kAlignmentBytes == 0 ? bootcheck::kSectorSizes[3] : bytesPerSector;
}

// The places ProbeCandidate looks at with backups of sectors of up to largestSize bytes, in
// 512-byte units after the candidate: the candidate itself, and the FAT32 and exFAT backups
// (6 and 12 sectors on) at each sector size from 512 bytes to largestSize.
std::vector<size_t> ProbeUnits(uint32_t largestSize) {
  static_assert(bootcheck::kFat32DefaultBackup == 6 && bootcheck::kExfatBackupRegion == 12);
  std::vector<size_t> units{0};
  for (const uint32_t size : bootcheck::kSectorSizes) {
    if (size > largestSize) break;
    const size_t unitsPerSector = size / bootcheck::kBootBytes;
    for (const size_t backup : {size_t{bootcheck::kFat32DefaultBackup}, size_t{bootcheck::kExfatBackupRegion}}) {
      const size_t unit = backup * unitsPerSector;
      if (std::find(units.begin(), units.end(), unit) == units.end()) units.push_back(unit);
    }
  }
  return units;
}

// Each place ProbeCandidate looks at holds a boot sector's signature: a candidate none of
// whose places has it is passed over without a closer look. signed512 says which 512-byte
// units of the block end with the signature.
bool MayHoldCandidate(const std::vector<uint8_t>& signed512, const std::vector<size_t>& units, size_t unit) {
  for (const size_t offset : units) {
    if (unit + offset < signed512.size() && signed512[unit + offset] != 0) return true;
  }
  return false;
}

// The same for a block of which only the candidates' places were read: available bytes from
// at on.
bool MayHoldCandidate(const uint8_t* at, size_t available, const std::vector<size_t>& units) {
  for (const size_t offset : units) {
    const size_t byte = offset * bootcheck::kBootBytes;
    if (byte + bootcheck::kBootBytes <= available && mbr::HasSignature(at + byte)) return true;
  }
  return false;
}

// How far past a boundary candidate the first table of a FAT12 or FAT16 volume whose boot
// sector is lost is looked for: at a 1 MiB boundary as far as formatting tools put it, at a
// track boundary (where older tools put it right after the boot sector) among the sectors read
// for the backups anyway.
uint32_t LostTableReach(uint64_t sector, uint32_t bytesPerSector) {
  return (sector * bytesPerSector) % kAlignmentBytes == 0 ? kInferMaxReserved : bootcheck::kExfatBackupRegion;
}

// The volume of inferred geometry at sector, when its boot sector is lost (FatGeometry.h).
std::optional<FoundVolume> InferCandidate(TSectorReader& reader, uint64_t sector) {
  const std::optional<InferredBoot> inferred = InferFatBootSector(reader, sector * reader.bytesPerSector(), 0);
  if (!inferred) return std::nullopt;
  FoundVolume found;
  found.sector = sector;
  Take(found, inferred->bytes.data(), inferred->volume);
  found.inferred = true;
  return found;
}

// Gaps between the sectors a boundary search reads that are read along rather than skipped:
// a read of a few KiB more costs less than a read more.
constexpr uint64_t kMergeGapBytes = 8192;

// Sectors first to end - 1 of a block, relative to its start.
struct Run {
  uint64_t first;
  uint64_t end;
};

// What a boundary search reads of the block of candidates from blockFirst to blockEnd - 1:
// the sectors of each candidate's places, clipped to readable sectors, in as few runs as the
// gaps allow.
std::vector<Run> ProbeRuns(uint64_t blockFirst, uint64_t blockEnd, uint64_t readable, uint32_t bytesPerSector,
                           const std::vector<size_t>& alignedUnits, const std::vector<size_t>& trackUnits) {
  std::vector<Run> places;
  for (uint64_t sector = blockFirst; sector < blockEnd; ++sector) {
    if (!IsBoundary(sector, bytesPerSector)) continue;
    const uint64_t at = (sector - blockFirst) * bytesPerSector;
    const bool aligned = LargestBackupSize(sector, bytesPerSector) > bytesPerSector;
    for (const size_t unit : aligned ? alignedUnits : trackUnits) {
      const uint64_t byte = at + unit * bootcheck::kBootBytes;
      const uint64_t first = byte / bytesPerSector;
      const uint64_t end = std::min((byte + bootcheck::kBootBytes + bytesPerSector - 1) / bytesPerSector, readable);
      if (first < end) places.push_back({first, end});
    }
    // The sectors where a lost boot sector's first table may begin.
    const uint64_t first = sector - blockFirst;
    const uint64_t end = std::min(first + 1 + LostTableReach(sector, bytesPerSector), readable);
    if (first < end) places.push_back({first, end});
  }
  std::sort(places.begin(), places.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
  const uint64_t gap = kMergeGapBytes / bytesPerSector;
  std::vector<Run> runs;
  for (const Run& place : places) {
    if (!runs.empty() && place.first <= runs.back().end + gap) runs.back().end = std::max(runs.back().end, place.end);
    else runs.push_back(place);
  }
  return runs;
}

}  // namespace

std::vector<FoundVolume> SearchForVolumes(TSectorReader& reader, const std::vector<SectorRange>& ranges,
                                          SearchDepth depth, const SearchProgress& progress) {
  std::vector<FoundVolume> found;
  const uint32_t bytesPerSector = reader.bytesPerSector();
  const uint64_t totalSectors = reader.totalSectors();
  if (bytesPerSector < mbr::kMinimumSectorSize) return found;
  const uint64_t blockSectors = std::max<uint64_t>(kBlockBytes / bytesPerSector, 1);
  const uint64_t lookAheadSectors = (kLookAheadBytes + bytesPerSector - 1) / bytesPerSector;
  // Page-aligned, as the kernel copies fastest into it.
  const size_t blockBytes = (blockSectors + lookAheadSectors) * bytesPerSector;
  const size_t pages = (blockBytes + kPageBytes - 1) / kPageBytes * kPageBytes;
  const std::unique_ptr<uint8_t[], FreeDeleter> block(static_cast<uint8_t*>(std::aligned_alloc(kPageBytes, pages)));
  if (!block) return found;
  std::vector<uint8_t> signed512;
  const std::vector<size_t> allUnits = ProbeUnits(bootcheck::kSectorSizes[3]);
  const std::vector<size_t> ownUnits = ProbeUnits(bytesPerSector);

  uint64_t toSearch = 0;
  for (const SectorRange& range : ranges) toSearch += std::min(range.end, totalSectors) - std::min(range.first, range.end);
  uint64_t searched = 0;
  for (const SectorRange& range : ranges) {
    const uint64_t end = std::min(range.end, totalSectors);
    uint64_t sector = range.first;
    while (sector < end) {
      const uint64_t blockFirst = sector;
      // A candidate whose sectors and look-ahead all lie in a hole reads as zeros and holds no
      // boot sector: the search goes on where the look-ahead of one reaches data.
      const uint64_t data = reader.DataSectorFrom(sector);
      if (data >= sector + lookAheadSectors) {
        sector = std::min(data - lookAheadSectors + 1, end);
      } else {
        const uint64_t blockEnd = std::min(blockFirst + blockSectors, end);
        const uint64_t readSectors = std::min(blockEnd - blockFirst + lookAheadSectors, totalSectors - blockFirst);
        const size_t readBytes = readSectors * bytesPerSector;
        if (depth == SearchDepth::kEverySector) {
          std::fill(block.get() + readBytes, block.get() + blockBytes, 0);
          reader.ReadAt(static_cast<uint32_t>(blockFirst), 0, block.get(), static_cast<uint32_t>(readBytes));
          signed512.assign(readBytes / bootcheck::kBootBytes, 0);
          for (size_t unit = 0; unit < signed512.size(); ++unit) {
            signed512[unit] = mbr::HasSignature(block.get() + unit * bootcheck::kBootBytes) ? 1 : 0;
          }
        } else {
          // Only the sectors the candidates' tests look at, straight into their places in the
          // block; the rest of it is never looked at.
          for (const Run& run : ProbeRuns(blockFirst, blockEnd, readSectors, bytesPerSector, allUnits, ownUnits)) {
            reader.ReadDirectAt(static_cast<uint32_t>(blockFirst + run.first), block.get() + run.first * bytesPerSector,
                                static_cast<uint32_t>((run.end - run.first) * bytesPerSector));
          }
        }
        for (; sector < blockEnd; ++sector) {
          if (depth == SearchDepth::kBoundaries && !IsBoundary(sector, bytesPerSector)) continue;
          const size_t offset = (sector - blockFirst) * bytesPerSector;
          // The every-sector search read the whole block and looks for backups of any size.
          const uint32_t largest = depth == SearchDepth::kEverySector ? bootcheck::kSectorSizes[3]
                                                                      : LargestBackupSize(sector, bytesPerSector);
          const std::vector<size_t>& units = largest > bytesPerSector ? allUnits : ownUnits;
          const bool may = depth == SearchDepth::kEverySector
                               ? MayHoldCandidate(signed512, units, offset / bootcheck::kBootBytes)
                               : MayHoldCandidate(block.get() + offset, readBytes - offset, units);
          std::optional<FoundVolume> volume;
          if (may) volume = ProbeCandidate(reader, sector, block.get() + offset, readBytes - offset, largest);
          // Without a boot sector or a backup, a FAT12 or FAT16 volume is known by its tables, and
          // only where partitioning tools put volumes.
          if (!volume && IsBoundary(sector, bytesPerSector) &&
              MayHoldLostFatTable(block.get() + offset, readBytes - offset, bytesPerSector,
                                  LostTableReach(sector, bytesPerSector))) {
            volume = InferCandidate(reader, sector);
          }
          if (!volume) continue;
          // What lies inside the volume is its own: the search goes on after its end.
          const uint64_t length =
              std::max<uint64_t>((volume->volume.volumeBytes + bytesPerSector - 1) / bytesPerSector, 1);
          found.push_back(std::move(*volume));
          sector += length - 1;
          if (sector + 1 >= blockEnd) {
            ++sector;
            break;
          }
        }
        sector = std::max(sector, blockEnd);
      }
      searched = std::min(searched + (std::min(sector, end) - blockFirst), toSearch);
      if (progress && !progress(searched, toSearch)) return found;
    }
  }
  return found;
}

std::vector<SectorRange> UncoveredSectors(uint64_t totalSectors, std::vector<SectorRange> covered) {
  std::sort(covered.begin(), covered.end(), [](const SectorRange& a, const SectorRange& b) { return a.first < b.first; });
  std::vector<SectorRange> gaps;
  uint64_t at = 0;
  for (const SectorRange& extent : covered) {
    if (extent.end <= extent.first) continue;
    if (extent.first > at) gaps.push_back({at, std::min(extent.first, totalSectors)});
    at = std::max(at, extent.end);
    if (at >= totalSectors) break;
  }
  if (at < totalSectors) gaps.push_back({at, totalSectors});
  gaps.erase(std::remove_if(gaps.begin(), gaps.end(), [](const SectorRange& r) { return r.end <= r.first; }),
             gaps.end());
  return gaps;
}
