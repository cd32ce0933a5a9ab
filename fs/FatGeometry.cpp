#include "fs/FatGeometry.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "fs/Bytes.h"
#include "fs/TableLayout.h"
#include "fs/fat/FatLayout.h"

namespace {

constexpr uint32_t kMaxFat12Clusters = 4084;
constexpr uint32_t kMaxFat16Clusters = 65524;
// The largest FAT16 table: an entry for every cluster and the two reserved ones.
constexpr uint32_t kMaxTableBytes = (kMaxFat16Clusters + 2) * 2;
// The root folder sizes looked at, in sectors: up to 1024 slots of 512-byte sectors.
constexpr uint32_t kMaxRootBytes = 1024 * fat::kSlotSize;
constexpr uint32_t kMaxClusterSectors = 128;
// The root folder sizes formatting tools give, in slots, most usual first: hard disks and
// cards, then the floppy formats.
constexpr uint32_t kUsualRootSlots[] = {512, 224, 112, 240, 64, 16, 1024, 256, 128};

bool IsMediaByte(uint8_t media) { return media == 0xF0 || media >= 0xF8; }

bool BeginsTable(const uint8_t* sector) { return IsMediaByte(sector[0]) && sector[1] == 0xFF && sector[2] == 0xFF; }

// The slots of the root folder up to its end marker, as far as they read as folder entries.
struct RootSlots {
  size_t count = 0;  // slots before the end marker, or before one that reads as no entry
  std::vector<uint32_t> folders;
  std::vector<std::pair<uint32_t, uint32_t>> files;  // first cluster and size
  std::array<uint8_t, fat::kLabelLength> label{};
  bool hasLabel = false;
};

bool ReadsAsEntry(const uint8_t* slot) {
  const uint8_t attributes = slot[fat::kSlotAttributes];
  if ((attributes & fat::kAttrLongNameMask) == fat::kAttrLongNameMask) return le16(slot + fat::kSlotClusterLow) == 0;
  if ((attributes & fat::kAttrUndefined) != 0) return false;
  for (size_t i = 0; i < fat::kSlotNameLength + fat::kSlotExtensionLength; ++i) {
    if (i == 0 && (slot[0] == fat::kMarkerDeleted || slot[0] == fat::kMarkerE5)) continue;
    if (slot[i] < 0x20 || slot[i] == 0x7F) return false;
  }
  return true;
}

RootSlots ReadRoot(const std::vector<uint8_t>& root) {
  RootSlots slots;
  for (size_t at = 0; at + fat::kSlotSize <= root.size(); at += fat::kSlotSize, ++slots.count) {
    const uint8_t* slot = root.data() + at;
    if (slot[0] == fat::kMarkerEnd || !ReadsAsEntry(slot)) break;
    const uint8_t attributes = slot[fat::kSlotAttributes];
    if (slot[0] == fat::kMarkerDeleted || (attributes & fat::kAttrLongNameMask) == fat::kAttrLongNameMask) continue;
    const uint32_t cluster = le16(slot + fat::kSlotClusterLow);
    if ((attributes & fat::kAttrVolumeLabel) != 0) {
      if (!slots.hasLabel) std::copy_n(slot, slots.label.size(), slots.label.begin());
      slots.hasLabel = true;
    } else if ((attributes & fat::kAttrDirectory) != 0) {
      if (slot[0] != fat::kMarkerDot && cluster >= fat::kFirstDataCluster) slots.folders.push_back(cluster);
    } else if (cluster >= fat::kFirstDataCluster && le32(slot + fat::kSlotFileSize) > 0) {
      slots.files.emplace_back(cluster, le32(slot + fat::kSlotFileSize));
    }
  }
  return slots;
}

// Entry cluster of a table of the given width held in table; 0 beyond its end.
uint32_t TableEntry(const std::vector<uint8_t>& table, int bits, uint32_t cluster) {
  if (bits == 16) return size_t{cluster} * 2 + 2 <= table.size() ? le16(table.data() + size_t{cluster} * 2) : 0;
  const size_t at = size_t{cluster} * 3 / 2;
  if (at + 2 > table.size()) return 0;
  const uint16_t pair = le16(table.data() + at);
  return (cluster & 1) != 0 ? pair >> 4 : pair & 0xFFF;
}

// The clusters in the chain from first, or 0 when it runs into a free, bad or reserved entry
// or loops.
uint32_t ChainLength(const std::vector<uint8_t>& table, int bits, uint32_t first, uint32_t entries) {
  const uint32_t endOfChain = bits == 16 ? 0xFFF8 : 0xFF8;
  uint32_t cluster = first;
  for (uint32_t length = 1; length <= entries; ++length) {
    const uint32_t next = TableEntry(table, bits, cluster);
    if (next >= endOfChain) return length;
    if (next < fat::kFirstDataCluster || next >= entries) return 0;
    cluster = next;
  }
  return 0;
}

struct Layout {
  uint32_t rootSectors = 0;
  uint32_t clusterSectors = 0;
  uint64_t totalSectors = 0;
};

void WriteBootSector(BootBytes& boot, uint32_t bytesPerSector, const Layout& layout, uint32_t reserved,
                     uint32_t tableSectors, uint8_t media, int bits, uint64_t hiddenSectors, const RootSlots& root) {
  boot.fill(0);
  boot[0] = 0xEB;
  boot[1] = 0x3C;
  boot[2] = 0x90;
  std::memset(boot.data() + fat::kOemName, ' ', 8);
  put16(boot.data() + fat::kBytesPerSector, static_cast<uint16_t>(bytesPerSector));
  boot[fat::kSectorsPerCluster] = static_cast<uint8_t>(layout.clusterSectors);
  put16(boot.data() + fat::kReservedSectors, static_cast<uint16_t>(reserved));
  boot[fat::kTableCount] = 2;
  put16(boot.data() + fat::kRootEntryCount, static_cast<uint16_t>(layout.rootSectors * bytesPerSector / fat::kSlotSize));
  if (layout.totalSectors <= 0xFFFF) {
    put16(boot.data() + fat::kTotalSectors16, static_cast<uint16_t>(layout.totalSectors));
  } else {
    put32(boot.data() + fat::kTotalSectors32, static_cast<uint32_t>(layout.totalSectors));
  }
  boot[21] = media;
  put16(boot.data() + fat::kSectorsPerTable16, static_cast<uint16_t>(tableSectors));
  put16(boot.data() + 24, 63);   // sectors per track
  put16(boot.data() + 26, 255);  // heads
  put32(boot.data() + 28, static_cast<uint32_t>(std::min<uint64_t>(hiddenSectors, UINT32_MAX)));
  boot[36] = 0x80;  // drive number
  boot[38] = 0x29;  // the extended fields follow
  if (root.hasLabel) std::copy(root.label.begin(), root.label.end(), boot.begin() + fat::kLabel16);
  else std::memcpy(boot.data() + fat::kLabel16, "NO NAME    ", fat::kLabelLength);
  std::memcpy(boot.data() + fat::kTypeText16, bits == 16 ? "FAT16   " : "FAT12   ", 8);
  boot[510] = 0x55;
  boot[511] = 0xAA;
}

}  // namespace

bool MayHoldLostFatTable(const uint8_t* volume, size_t count, uint32_t bytesPerSector, uint32_t reserved) {
  if (bytesPerSector == 0 || count < bytesPerSector) return false;
  for (uint32_t sector = 1; sector <= reserved && size_t{sector + 1} * bytesPerSector <= count; ++sector) {
    const uint8_t* bytes = volume + size_t{sector} * bytesPerSector;
    if (MayBeBootSector(bytes)) return false;  // the tables after it are its volume's
    if (BeginsTable(bytes)) return true;
  }
  return false;
}

std::optional<InferredBoot> InferFatBootSector(TSectorReader& reader, uint64_t volumeStart, uint64_t statedSectors) {
  const uint32_t bps = reader.bytesPerSector();
  if (bps < mbr::kMinimumSectorSize || volumeStart % bps != 0) return std::nullopt;
  const uint64_t sourceSectors = reader.totalSectors();
  const uint64_t startSector = volumeStart / bps;
  if (startSector >= sourceSectors) return std::nullopt;
  const uint64_t available = sourceSectors - startSector;
  const auto read = [&](uint64_t sector, uint64_t count) {
    return ReadSourceBytes(reader, volumeStart + sector * bps, static_cast<uint32_t>(count * bps));
  };

  // The first table: the first of sectors 1 to kInferMaxReserved that begins as one. A boot
  // sector before it makes the table that one's: a volume that begins there.
  const std::vector<uint8_t> head = read(0, kInferMaxReserved + 1);
  uint32_t reserved = 0;
  for (uint32_t sector = 1; sector <= kInferMaxReserved && reserved == 0; ++sector) {
    if (MayBeBootSector(head.data() + size_t{sector} * bps)) return std::nullopt;
    if (BeginsTable(head.data() + size_t{sector} * bps)) reserved = sector;
  }
  if (reserved == 0) return std::nullopt;
  const uint8_t* tableHead = head.data() + size_t{reserved} * bps;

  // The second table: the first sector after the first that begins with the same bytes and
  // from which on as many sectors as lie between them hold the same bytes.
  const uint32_t maxTableSectors = (kMaxTableBytes + bps - 1) / bps;
  const std::vector<uint8_t> tables = read(reserved, uint64_t{maxTableSectors} * 2);
  uint32_t tableSectors = 0;
  for (uint32_t n = 1; n <= maxTableSectors && tableSectors == 0; ++n) {
    const uint8_t* second = tables.data() + size_t{n} * bps;
    if (std::memcmp(second, tableHead, 4) == 0 && std::memcmp(second, tables.data(), size_t{n} * bps) == 0) {
      tableSectors = n;
    }
  }
  if (tableSectors == 0 || uint64_t{reserved} + 2 * tableSectors >= available) return std::nullopt;
  // A table too large for FAT12 is a FAT16 one, whose second entry is 0xFFFF too.
  const int bits = uint64_t{tableSectors} * bps > (kMaxFat12Clusters + 2) * 3 / 2 + bps ? 16 : 12;
  if (bits == 16 && tableHead[3] != 0xFF) return std::nullopt;
  const std::vector<uint8_t> table(tables.begin(), tables.begin() + size_t{tableSectors} * bps);
  const uint32_t entries = std::min<uint32_t>(static_cast<uint32_t>(uint64_t{tableSectors} * bps * 8 / bits),
                                              (bits == 16 ? kMaxFat16Clusters : kMaxFat12Clusters) + 2);
  const uint8_t media = tableHead[0];

  // The root folder right after the tables: its slots must read as folder entries.
  const uint64_t rootStart = reserved + 2 * uint64_t{tableSectors};
  const uint32_t maxRootSectors = std::max<uint32_t>(kMaxRootBytes / bps, 1);
  const std::vector<uint8_t> rootBytes = read(rootStart, maxRootSectors);
  const RootSlots root = ReadRoot(rootBytes);
  const uint64_t slotsSeenBytes = uint64_t{root.count} * fat::kSlotSize;

  // Whether the "." slot of the folder at cluster lies where data starting at dataStart with
  // clusters of clusterSectors puts it.
  std::map<uint64_t, bool> dotAt;
  const auto holdsDot = [&](uint64_t sector, uint32_t cluster) {
    if (sector >= available) return false;
    const auto known = dotAt.find(sector * 0x10000 + cluster);
    if (known != dotAt.end()) return known->second;
    const std::vector<uint8_t> bytes = read(sector, 1);
    const bool dot = std::memcmp(bytes.data(), ".          ", fat::kLabelLength) == 0 &&
                     (bytes[fat::kSlotAttributes] & fat::kAttrDirectory) != 0 &&
                     le16(bytes.data() + fat::kSlotClusterLow) == cluster &&
                     std::memcmp(bytes.data() + fat::kSlotSize, "..         ", fat::kLabelLength) == 0;
    dotAt.emplace(sector * 0x10000 + cluster, dot);
    return dot;
  };
  // Whether the root's sectors after its last slot are all zeros, as formatting leaves them.
  const auto zerosAfterSlots = [&](uint32_t rootSectors) {
    const size_t from = std::min<size_t>(slotsSeenBytes, rootBytes.size());
    const size_t to = std::min<size_t>(size_t{rootSectors} * bps, rootBytes.size());
    return std::all_of(rootBytes.begin() + from, rootBytes.begin() + std::max(from, to), [](uint8_t b) { return b == 0; });
  };

  std::vector<uint32_t> rootSizes;
  for (const uint32_t slots : kUsualRootSlots) {
    if (slots * fat::kSlotSize % bps == 0) rootSizes.push_back(slots * fat::kSlotSize / bps);
  }
  if (!root.folders.empty()) {  // the folders pin the root's size: every size is tried
    for (uint32_t sectors = 1; sectors <= maxRootSectors; ++sectors) {
      if (std::find(rootSizes.begin(), rootSizes.end(), sectors) == rootSizes.end()) rootSizes.push_back(sectors);
    }
  }

  std::optional<Layout> best;
  uint64_t bestWaste = UINT64_MAX;
  for (const uint32_t rootSectors : rootSizes) {
    if (uint64_t{rootSectors} * bps < slotsSeenBytes) continue;
    if (root.folders.empty() && !zerosAfterSlots(rootSectors)) continue;
    const uint64_t dataStart = rootStart + rootSectors;
    if (dataStart >= available) continue;
    for (uint32_t clusterSectors = 1; clusterSectors <= kMaxClusterSectors; clusterSectors *= 2) {
      const bool foldersFit = std::all_of(root.folders.begin(), root.folders.end(), [&](uint32_t cluster) {
        return holdsDot(dataStart + uint64_t{cluster - fat::kFirstDataCluster} * clusterSectors, cluster);
      });
      if (!foldersFit) continue;
      const uint64_t clusterBytes = uint64_t{clusterSectors} * bps;
      const bool filesFit = std::all_of(root.files.begin(), root.files.end(), [&](const auto& file) {
        const uint32_t length = ChainLength(table, bits, file.first, entries);
        return length == 0 || length == (file.second + clusterBytes - 1) / clusterBytes;
      });
      if (!filesFit) continue;
      Layout layout{rootSectors, clusterSectors, 0};
      const uint64_t reach = dataStart + uint64_t{entries - 2} * clusterSectors;
      layout.totalSectors = statedSectors != 0 ? std::min(statedSectors, available) : std::min(available, reach);
      if (layout.totalSectors <= dataStart) continue;
      uint64_t clusters = (layout.totalSectors - dataStart) / clusterSectors;
      // A FAT16 volume cut short by the end of its image (a copy that stopped) holds fewer
      // clusters than FAT16 can have: it reaches as far as its tables address, past the end,
      // as a cut volume whose boot sector is whole does.
      if (statedSectors == 0 && bits == 16 && clusters <= kMaxFat12Clusters && reach > available) {
        layout.totalSectors = reach;
        clusters = (reach - dataStart) / clusterSectors;
      }
      if (clusters + 2 > entries || (bits == 16) != (clusters > kMaxFat12Clusters) || clusters == 0) continue;
      // With the volume's length known, the tables fit its clusters closely: the cluster size
      // that leaves fewest entries unused wins. Without it, the first that fits does.
      const uint64_t waste = statedSectors != 0 ? entries - (clusters + 2) : 0;
      if (waste < bestWaste) {
        best = layout;
        bestWaste = waste;
      }
    }
    if (best) break;  // the usual root sizes come first
  }
  if (!best) return std::nullopt;

  InferredBoot inferred;
  WriteBootSector(inferred.bytes, bps, *best, reserved, tableSectors, media, bits, startSector, root);
  const std::optional<CheckedVolume> volume = CheckFatBootSector(reader, inferred.bytes.data(), volumeStart);
  if (!volume || volume->fatType != bits) return std::nullopt;
  inferred.volume = *volume;
  return inferred;
}
