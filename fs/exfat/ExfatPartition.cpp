#include "fs/exfat/ExfatPartition.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "fs/Bytes.h"
#include "fs/exfat/ExfatNode.h"

namespace {

using namespace exfat;

// A contiguous run is read in pieces of this size: few calls, and a read that the user aborts
// costs no more than one piece.
constexpr uint32_t kStretchBytes = 1u << 20;

// The root's made-up name, "Root (\)".
constexpr char16_t kRootName[] = u"Root (\\)";
constexpr size_t kRootNameUnits = sizeof kRootName / sizeof kRootName[0] - 1;

}  // namespace

EXFATPartition::EXFATPartition(ReaderRef* readerRef, const PartitionEntry& entry)
    : TPartition(readerRef, entry) {
  ReadGeometry();
  MakeRoot();
}

// The root node points into ownedEntrySets, so it goes first.
EXFATPartition::~EXFATPartition() { rootEntry.reset(); }

std::string EXFATPartition::GetDescription() const { return "exFAT partition" + LabelSuffix(); }

// Shift values outside the format's range, a cluster above 32 MiB, or a sector size other than
// the source's leave the heap empty: the volume then shows a root without children rather than
// a tree read from the wrong bytes.
void EXFATPartition::ReadGeometry() {
  ReadAt(firstSector, bootSector.data(), kBootSectorSize);
  const unsigned sectorShift = bootSector[kBootBytesPerSectorShift];
  const unsigned clusterShift = bootSector[kBootSectorsPerClusterShift];
  if (sectorShift < kMinBytesPerSectorShift || sectorShift > kMaxBytesPerSectorShift ||
      sectorShift + clusterShift > kMaxClusterShift) {
    return;
  }
  sectorSize = 1u << sectorShift;
  sectorsPerCluster = 1u << clusterShift;
  fatStart = uint64_t{firstSector} + le32(&bootSector[kBootFatOffset]);
  clusterHeapStart = uint64_t{firstSector} + le32(&bootSector[kBootClusterHeapOffset]);
  if (sectorSize != Reader().bytesPerSector()) return;
  heapClusterCount = CountHeapClusters();
}

// ClusterCount as claimed, but no more than the FAT has entries for and no cluster that starts
// beyond the end of the source.
uint32_t EXFATPartition::CountHeapClusters() const {
  const uint32_t claimedClusterCount = le32(&bootSector[kBootClusterCount]);
  const uint64_t fatEntries = uint64_t{le32(&bootSector[kBootFatLength])} * sectorSize / kFatEntrySize;
  const uint64_t fatAddressable = fatEntries > kFirstCluster ? fatEntries - kFirstCluster : 0;
  const uint64_t totalSectors = Reader().totalSectors();
  if (clusterHeapStart >= totalSectors) return 0;
  const uint64_t inSource = (totalSectors - clusterHeapStart + sectorsPerCluster - 1) / sectorsPerCluster;
  return static_cast<uint32_t>(std::min<uint64_t>(
      {uint64_t{claimedClusterCount}, uint64_t{kMaxClusterCount}, fatAddressable, inSource}));
}

void EXFATPartition::MakeRoot() {
  EXFATDirectoryEntry rootSet;
  FAT64ChunkBase stream;
  stream.bytes[kEntryType] = kKindStream;
  stream.bytes[kStreamNameLength] = kRootNameUnits;
  std::memcpy(&stream.bytes[kStreamFirstCluster], &bootSector[kBootFirstClusterOfRootDirectory], 4);
  FAT64ChunkBase name;
  name.bytes[kEntryType] = kKindFileName;
  for (size_t i = 0; i < kRootNameUnits; ++i) put16(&name.bytes[kNameUnits + 2 * i], kRootName[i]);
  rootSet.chunks = {stream, name};
  ownedEntrySets.push_back(std::move(rootSet));

  auto root = std::make_unique<EXFATDirectoryNode>(readerRef, ownedEntrySets.back(), *this);
  root->path.assign(1, '\\');  // "\"
  rootEntry = std::move(root);
  rootEntry->ReadChildren();
}

void EXFATPartition::ReadClusterChain(const EXFATDirectoryEntry& set, MemoryStream& stream,
                                      uint32_t maximum) const {
  const FAT64ChunkBase* chunk = FindStreamChunk(set);
  if (chunk == nullptr || !HasGeometry()) return;
  const uint32_t firstCluster = chunk->Dword(kStreamFirstCluster);
  if (!InHeap(firstCluster)) return;  // also an empty file's cluster 0

  // A length of 0 reads until the chain ends (the root's made-up set has no length).
  const uint32_t claimedLength = static_cast<uint32_t>(chunk->Qword(kStreamDataLength));
  uint32_t remaining = claimedLength != 0 ? claimedLength : 0xFFFFFFFFu;
  if (maximum != 0 && maximum < remaining) remaining = maximum;

  const uint8_t contiguousFlags = kFlagAllocationPossible | kFlagNoFatChain;
  const bool contiguous = (chunk->Byte(kStreamFlags) & contiguousFlags) == contiguousFlags;
  // Room for the whole read up front, but never more than the clusters it can reach hold.
  const uint64_t reachableClusters =
      contiguous ? uint64_t{heapClusterCount} - (firstCluster - kFirstCluster) : heapClusterCount;
  if (claimedLength != 0) {
    stream.Reserve(stream.Length() + std::min<uint64_t>(remaining, reachableClusters * ClusterSize()));
  }
  if (contiguous) ReadContiguousRun(firstCluster, remaining, stream);
  else ReadFatChain(firstCluster, remaining, stream);
}

void EXFATPartition::ReadContiguousRun(uint32_t firstCluster, uint32_t remaining,
                                       MemoryStream& stream) const {
  const uint32_t heapEnd = kFirstCluster + heapClusterCount;
  const uint32_t clusterSize = ClusterSize();
  const uint32_t stretchClusters = std::max<uint32_t>(1, kStretchBytes / clusterSize);
  for (uint32_t cluster = firstCluster; remaining > 0 && cluster < heapEnd;) {
    const uint32_t clusters = std::min(heapEnd - cluster, stretchClusters);
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(remaining, uint64_t{clusters} * clusterSize));
    ReadClipped(FirstSectorOfCluster(cluster), stream.Extend(n), n);
    remaining -= n;
    cluster += clusters;
  }
}

// Follows the first FAT. The chain ends at 0xFFFFFFFF, at any number outside the heap, or after
// as many clusters as the heap holds, so a looping chain still ends.
void EXFATPartition::ReadFatChain(uint32_t firstCluster, uint32_t remaining, MemoryStream& stream) const {
  FatWindow window;
  window.bytes.resize(size_t{2} * sectorSize);
  const uint32_t clusterSize = ClusterSize();
  uint32_t cluster = firstCluster;
  for (uint32_t visited = 1;; ++visited) {
    const uint32_t n = std::min(remaining, clusterSize);
    ReadClipped(FirstSectorOfCluster(cluster), stream.Extend(n), n);
    remaining -= n;
    if (remaining == 0 || visited >= heapClusterCount) return;
    cluster = NextCluster(cluster, window);
    if (cluster == kEndOfChain || !InHeap(cluster)) return;  // also a free (0) or damaged entry
  }
}

uint32_t EXFATPartition::NextCluster(uint32_t cluster, FatWindow& window) const {
  const uint64_t position = uint64_t{cluster} * kFatEntrySize;
  const uint64_t sector = fatStart + position / sectorSize;
  if (!window.held || window.heldSector != sector) {
    ReadClipped(sector, window.bytes.data(), window.bytes.size());
    window.heldSector = sector;
    window.held = true;
  }
  return le32(window.bytes.data() + position % sectorSize);
}

bool EXFATPartition::InHeap(uint32_t cluster) const {
  return cluster >= kFirstCluster && cluster - kFirstCluster < heapClusterCount;
}

uint64_t EXFATPartition::FirstSectorOfCluster(uint32_t cluster) const {
  return clusterHeapStart + uint64_t{cluster - kFirstCluster} * sectorsPerCluster;
}

void EXFATPartition::ReadClipped(uint64_t sector, uint8_t* dest, size_t count) const {
  const uint64_t totalSectors = Reader().totalSectors();
  const uint64_t available = sector < totalSectors ? (totalSectors - sector) * sectorSize : 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, available));
  if (n > 0) ReadAt(static_cast<uint32_t>(sector), dest, static_cast<uint32_t>(n));
  std::memset(dest + n, 0, count - n);
}
