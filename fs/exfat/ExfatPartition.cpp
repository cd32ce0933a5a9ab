#include "fs/exfat/ExfatPartition.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "fs/Bytes.h"
#include "fs/ChainWalk.h"
#include "fs/ClusterTrail.h"
#include "fs/FreeClusterWalk.h"
#include "fs/MemoryStream.h"
#include "fs/SectorWindow.h"
#include "fs/exfat/ExfatLostScan.h"
#include "fs/exfat/ExfatNode.h"

namespace {

using namespace exfat;

// The root's made-up name, "Root (\)".
constexpr char16_t kRootName[] = u"Root (\\)";
constexpr size_t kRootNameUnits = sizeof kRootName / sizeof kRootName[0] - 1;

}  // namespace

// Reads the bits of the allocation bitmap through a window of one sector, the one read last.
// A cluster whose bit lies beyond the bitmap counts as in use.
class EXFATPartition::BitmapWindow final : public FreeClusterMap {
 public:
  explicit BitmapWindow(const EXFATPartition& partition) : partition_(partition), window_(partition.Reader(), 1) {}

  // A byte of eight clusters in use is passed over whole.
  uint32_t InUseFrom(uint32_t cluster) override {
    const uint8_t byte = ByteOf(cluster);
    const uint32_t bit = (cluster - kFirstCluster) % 8;
    if (bit == 0 && byte == 0xFF) return 8;
    return (byte >> bit) & 1;
  }

 private:
  uint8_t ByteOf(uint32_t cluster) {
    const uint64_t index = (cluster - kFirstCluster) / 8;  // byte of the bitmap
    const uint64_t bytesPerCluster = partition_.ClusterSize();
    const uint64_t at = index / bytesPerCluster;
    if (at >= partition_.bitmapClusters_.size()) return 0xFF;
    const uint64_t clusterStart = partition_.FirstSectorOfCluster(partition_.bitmapClusters_[at]) * partition_.sectorSize;
    return *window_.At(clusterStart + index % bytesPerCluster, 1);
  }

  const EXFATPartition& partition_;
  SectorWindow window_;
};

// The first FAT, through a window of the two sectors read last. The chain ends at 0xFFFFFFFF, at
// the bad-cluster mark, at a free (0) entry, and at any other number outside the volume (see
// WalkChain).
class EXFATPartition::FatTable final : public ChainTable {
 public:
  explicit FatTable(const EXFATPartition& partition) : partition_(partition), window_(partition.Reader(), 2) {}

  uint32_t EntryOf(uint32_t cluster) override {
    const uint64_t position = partition_.fatStart * partition_.sectorSize + uint64_t{cluster} * kFatEntrySize;
    return le32(window_.At(position, kFatEntrySize));
  }

  Link LinkOf(uint32_t entry) const override {
    switch (entry) {
      case kEndOfChain: return Link::kEnd;
      case kBadCluster: return Link::kBadMark;
      case kFreeCluster: return Link::kFree;
      default: return Link::kNext;
    }
  }

 private:
  const EXFATPartition& partition_;
  SectorWindow window_;
};

EXFATPartition::EXFATPartition(ReaderRef* readerRef, const PartitionEntry& entry, const uint8_t* bootCopy)
    : TPartition(readerRef, entry) {
  ReadGeometry(bootCopy);
  MakeRoot();
  LocateBitmap();
}

// The root node points into ownedEntrySets, so it goes first.
EXFATPartition::~EXFATPartition() {
  lostAndFound.reset();
  rootEntry.reset();
}

std::unique_ptr<FreeClusterMap> EXFATPartition::NewFreeClusterMap() const {
  if (bitmapClusters_.empty()) return nullptr;
  return std::make_unique<BitmapWindow>(*this);
}

std::string EXFATPartition::GetDescription() const { return KindText("exFAT") + LabelSuffix(); }

// Shift values outside the format's range, a cluster above 32 MiB, or a sector size other than
// the source's leave the heap empty: the volume then shows a root without children rather than
// a tree read from the wrong bytes.
void EXFATPartition::ReadGeometry(const uint8_t* bootCopy) {
  if (bootCopy != nullptr) std::copy_n(bootCopy, bootSector.size(), bootSector.begin());
  else ReadAt(firstSector, bootSector.data(), kBootSectorSize);
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
  if (clustersBeyondSource_ != 0) {
    const uint32_t rootCluster = le32(&bootSector[kBootFirstClusterOfRootDirectory]);
    NoteCutShort(uint64_t{heapClusterCount} + clustersBeyondSource_, clustersBeyondSource_,
                 !InHeap(rootCluster) && Heap().InVolume(rootCluster));
  }
}

// ClusterCount as claimed, but no more than the FAT has entries for and no cluster that starts
// beyond the end of the source. Those the source cuts off are counted apart.
uint32_t EXFATPartition::CountHeapClusters() {
  const uint32_t claimedClusterCount = le32(&bootSector[kBootClusterCount]);
  const uint64_t fatEntries = uint64_t{le32(&bootSector[kBootFatLength])} * sectorSize / kFatEntrySize;
  const uint64_t fatAddressable = fatEntries > kFirstCluster ? fatEntries - kFirstCluster : 0;
  const uint64_t volume = std::min<uint64_t>({uint64_t{claimedClusterCount}, uint64_t{kMaxClusterCount}, fatAddressable});
  const uint64_t totalSectors = Reader().totalSectors();
  const uint64_t inSource =
      clusterHeapStart < totalSectors ? (totalSectors - clusterHeapStart + sectorsPerCluster - 1) / sectorsPerCluster : 0;
  const auto heap = static_cast<uint32_t>(std::min(volume, inSource));
  clustersBeyondSource_ = static_cast<uint32_t>(volume - heap);
  return heap;
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

std::unique_ptr<ClusterTrail> EXFATPartition::NewClusterTrail() const {
  return std::make_unique<ClusterTrail>(Heap().Trail());
}

// The bitmap entry of the first FAT in the root, and the clusters the bitmap fills along its
// chain: as many as the heap needs bits, no more than its DataLength holds. Where the chain
// breaks, the bitmap is taken to go on in the clusters that follow.
void EXFATPartition::LocateBitmap() {
  if (!HasGeometry()) return;
  MemoryStream root;
  ReadClusterChain(ownedEntrySets.front(), root, kMaxDirectoryBytes);
  std::optional<FAT64ChunkBase> bitmap;
  for (size_t at = 0; at + kEntrySize <= root.Length() && !bitmap; at += kEntrySize) {
    FAT64ChunkBase chunk;
    std::memcpy(chunk.bytes.data(), root.Data() + at, kEntrySize);
    if (chunk.InUse() && chunk.Kind() == kKindBitmap && (chunk.Byte(kBitmapFlags) & kBitmapOfSecondFat) == 0) {
      bitmap = chunk;
    }
  }
  if (!bitmap) return;
  const uint64_t bytes = std::min<uint64_t>(bitmap->Qword(kBitmapDataLength), (uint64_t{heapClusterCount} + 7) / 8);
  const uint64_t count = (bytes + ClusterSize() - 1) / ClusterSize();
  FatTable table(*this);
  uint32_t cluster = bitmap->Dword(kBitmapFirstCluster);
  for (uint64_t i = 0; i < count && InHeap(cluster); ++i) {
    bitmapClusters_.push_back(cluster);
    if (i + 1 == count) break;
    const uint32_t next = table.EntryOf(cluster);
    cluster = InHeap(next) ? next : cluster + 1;
  }
}

bool EXFATPartition::ReadClusterChain(const EXFATDirectoryEntry& set, ByteSink& sink, uint64_t maximum,
                                      ClusterTrail* trail) const {
  SpanStream output(Reader(), sink);
  return SendData(set, maximum, trail, false, output) && output.Finish();
}

bool EXFATPartition::ReadDeletedData(const EXFATDirectoryEntry& set, ByteSink& sink, uint64_t maximum) const {
  SpanStream output(Reader(), sink);
  return SendData(set, maximum, nullptr, true, output) && output.Finish();
}

bool EXFATPartition::SendData(const EXFATDirectoryEntry& set, uint64_t maximum, ClusterTrail* trail, bool deleted,
                              SpanStream& output) const {
  const FAT64ChunkBase* chunk = FindStreamChunk(set);
  if (chunk == nullptr || !HasGeometry()) return true;
  const uint32_t firstCluster = chunk->Dword(kStreamFirstCluster);
  // A length of 0 reads until the chain ends (the root's made-up set has no length); a
  // deleted set of length 0 held no data.
  const uint64_t claimedLength = chunk->Qword(kStreamDataLength);
  if (deleted && claimedLength == 0) return true;
  if (!InHeap(firstCluster)) {  // also an empty file's cluster 0
    if (claimedLength != 0) {
      output.Note(Heap().InVolume(firstCluster) ? DataShortfall::kBeyondSource : DataShortfall::kOutsideVolume);
    }
    return true;
  }
  uint64_t remaining = claimedLength != 0 ? claimedLength : 0xFFFFFFFFu;
  if (maximum != 0 && maximum < remaining) remaining = maximum;

  const uint8_t contiguousFlags = kFlagAllocationPossible | kFlagNoFatChain;
  if ((chunk->Byte(kStreamFlags) & contiguousFlags) != contiguousFlags) {
    if (deleted && !bitmapClusters_.empty()) return ReadDeletedChain(firstCluster, claimedLength, remaining, output);
    return ReadFatChain(firstCluster, remaining, claimedLength != 0, trail, output);
  }
  // A contiguous run ends with the heap, and cannot loop; on a shared trail it ends where it
  // meets a cluster read before.
  const uint64_t inHeap = uint64_t{heapClusterCount} - (firstCluster - kFirstCluster);
  const uint64_t wanted = (remaining + ClusterSize() - 1) / ClusterSize();
  uint64_t clusters = std::min(inHeap, wanted);
  if (trail != nullptr) clusters = PassRun(firstCluster, clusters, *trail);
  const uint64_t count = std::min(remaining, clusters * ClusterSize());
  if (!output.Send(FirstSectorOfCluster(firstCluster), count)) return false;
  if (count < remaining && claimedLength != 0) {
    if (clusters < std::min(inHeap, wanted)) output.Note(DataShortfall::kLoop);
    else output.Note(clustersBeyondSource_ != 0 ? DataShortfall::kBeyondSource : DataShortfall::kVolumeEnds);
  }
  return true;
}

uint64_t EXFATPartition::PassRun(uint32_t first, uint64_t count, ClusterTrail& trail) const {
  uint64_t passed = 0;
  while (passed < count && trail.Pass(static_cast<uint32_t>(first + passed))) ++passed;
  return passed;
}

// Follows the first FAT, taking clusters that follow each other in the heap as one run. A
// looping chain is read once round. A chain without a length ends at its end mark.
bool EXFATPartition::ReadFatChain(uint32_t firstCluster, uint64_t remaining, bool sized, ClusterTrail* trail,
                                  SpanStream& output) const {
  FatTable table(*this);
  ClusterTrail own = Heap().Trail();
  const ChainWalkEnd end = WalkChain(Heap(), table, firstCluster, remaining, trail != nullptr ? *trail : own, output);
  if (end.stopped) return false;
  if (end.shortfall != DataShortfall::kNone && (sized || end.shortfall != DataShortfall::kEarlyEnd)) {
    output.Note(end.shortfall);
  }
  return true;
}

ClusterHeap EXFATPartition::Heap() const {
  return ClusterHeap{heapClusterCount,          clusterHeapStart, sectorsPerCluster,    ClusterSize(),
                     Reader().bytesPerSector(), false,            clustersBeyondSource_};
}

bool EXFATPartition::InHeap(uint32_t cluster) const { return Heap().Contains(cluster); }

uint64_t EXFATPartition::FirstSectorOfCluster(uint32_t cluster) const { return Heap().SectorOf(cluster); }

// Which way a deleted set's data is read is decided on its whole length, so that the first
// bytes of a short read are those of the whole.
bool EXFATPartition::ReadDeletedChain(uint32_t firstCluster, uint64_t length, uint64_t remaining,
                                      SpanStream& output) const {
  BitmapWindow bitmap(*this);
  if (!bitmap.IsFree(firstCluster)) {
    output.Note(DataShortfall::kFirstClusterTaken);
    return true;
  }
  const uint64_t clusters = (length + ClusterSize() - 1) / ClusterSize();
  if (ChainStaysFree(firstCluster, clusters, bitmap)) return ReadFatChain(firstCluster, remaining, true, nullptr, output);
  return FreeClusterWalk(Heap(), bitmap).Send(firstCluster, remaining, output);
}

bool EXFATPartition::ChainStaysFree(uint32_t firstCluster, uint64_t clusters, BitmapWindow& bitmap) const {
  if (clusters > heapClusterCount) return false;
  FatTable table(*this);
  uint32_t cluster = firstCluster;
  for (uint64_t i = 1; i < clusters; ++i) {
    cluster = table.EntryOf(cluster);
    if (!InHeap(cluster) || !bitmap.IsFree(cluster)) return false;
  }
  return true;
}

std::unique_ptr<LostScanVolume> EXFATPartition::NewLostScan() {
  if (!HasGeometry()) return nullptr;
  return NewExfatLostScan(*this);
}
