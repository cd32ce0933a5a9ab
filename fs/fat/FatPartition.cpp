#include "fs/fat/FatPartition.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "fs/ChainWalk.h"
#include "fs/ClusterTrail.h"
#include "fs/FreeClusterWalk.h"
#include "fs/SectorWindow.h"
#include "fs/fat/FatDirectory.h"
#include "fs/fat/FatLostScan.h"
#include "fs/fat/FatNode.h"

namespace {

// The name of the synthetic root record: eight characters, no extension.
constexpr std::string_view kRootName = "\\ (Root)";

uint32_t SectorsPerTable(const uint8_t* boot, int32_t fatType) {
  return fatType == 32 ? le32(boot + fat::kSectorsPerTable32) : le16(boot + fat::kSectorsPerTable16);
}

}  // namespace

int32_t NamedFatType(const uint8_t* boot) {
  if (TextAt(boot, fat::kTypeText16, "FAT12")) return 12;
  if (TextAt(boot, fat::kTypeText16, "FAT16")) return 16;
  if (TextAt(boot, fat::kTypeText32, "FAT32")) return 32;
  if (TextAt(boot, fat::kOemNameTail, "IHC")) return 12;
  return 0;
}

int32_t DecideFatType(const uint8_t* boot) {
  const int32_t named = NamedFatType(boot);
  return named != 0 ? named : 16;
}

// The first allocation table, read through a window of a fixed number of the source's bytes,
// whatever sector size the boot sector claims: a damaged one that claims 64 KiB sectors must not
// make each chain walk read 128 KiB of table to learn one entry. An entry lies where the table's
// sector holding it starts on the source (sectors are counted in the source's sectors), plus its
// offset in that sector (in the volume's sector size). The window holds two sectors more than
// the stretch, so an entry that straddles the end of it is read whole from its own sector.
class TFATPartition::TableWindow final : public ChainTable, public FreeClusterMap {
 public:
  explicit TableWindow(const TFATPartition& partition)
      : partition_(partition),
        window_(partition.Reader(), kStretchBytes / std::max<uint32_t>(partition.Reader().bytesPerSector(), 1) + 2) {}

  uint32_t EntryOf(uint32_t cluster) override {
    const uint32_t bytesPerSector = partition_.BytesPerSector();
    const uint64_t offset = EntryOffset(cluster);
    // Sector numbers are 32-bit and wrap, as everywhere on the volume.
    const auto sector = static_cast<uint32_t>(partition_.fatStartSector + offset / bytesPerSector);
    const uint64_t position = uint64_t{sector} * window_.SectorBytes() + offset % bytesPerSector;
    const uint8_t* entry = window_.At(position, sizeof(uint32_t));
    switch (partition_.fatType) {
      case 12: return (cluster & 1) ? le16(entry) >> 4 : le16(entry) & fat::kEntryMask12;
      case 32: return le32(entry) & fat::kEntryMask32;
      default: return le16(entry);
    }
  }

  // A free entry inside a chain is left to the caller (see SendChain). The bad-cluster mark says
  // that its cluster is unusable, not where the chain goes on: the chain ends there, as it does
  // at a number outside the volume (see WalkChain).
  Link LinkOf(uint32_t entry) const override {
    if (entry == fat::kFreeCluster) return Link::kFree;
    if (partition_.IsBadClusterMark(entry)) return Link::kBadMark;
    return partition_.IsEndOfChain(entry) ? Link::kEnd : Link::kNext;
  }

  uint32_t InUseFrom(uint32_t cluster) override { return EntryOf(cluster) == fat::kFreeCluster ? 0 : 1; }

 private:
  static constexpr size_t kStretchBytes = 8192;

  uint64_t EntryOffset(uint32_t cluster) const {
    switch (partition_.fatType) {
      case 12: return uint64_t{cluster} + cluster / 2;  // 1.5 bytes per entry
      case 32: return uint64_t{cluster} * 4;
      default: return uint64_t{cluster} * 2;
    }
  }

  const TFATPartition& partition_;
  SectorWindow window_;
};

TFATPartition::TFATPartition(ReaderRef* readerRef, const PartitionEntry& entry, const OemCodePage& codePage,
                             const uint8_t* bootCopy)
    : TPartition(readerRef, entry), codePage_(codePage) {
  std::array<uint8_t, fat::kBootReadSize> boot{};
  if (bootCopy != nullptr) std::copy_n(bootCopy, boot.size(), boot.begin());
  else ReadAt(firstSector, boot.data(), fat::kBootReadSize);
  std::copy_n(boot.begin(), bootParameters.size(), bootParameters.begin());
  fatType = DecideFatType(boot.data());
  label = FormatVolumeLabel(boot.data() + (fatType == 32 ? fat::kLabel32 : fat::kLabel16), codePage_);
  // What formatters write when the volume has no label.
  if (label == fat::kNoLabelText) label.clear();
  LayOutVolume(boot.data());
  NoteWhatTheSourceCutsOff();
  CreateRoot(boot.data());
}

std::string TFATPartition::GetDescription() const {
  return KindText("FAT" + std::to_string(fatType)) + LabelSuffix();
}

void TFATPartition::LayOutVolume(const uint8_t* boot) {
  const uint32_t bytesPerSector = BytesPerSector();
  const uint32_t reservedSectors = le16(boot + fat::kReservedSectors);
  const uint32_t sectorsPerTable = SectorsPerTable(boot, fatType);
  uint64_t rootSectors = 0;
  if (fatType != 32 && bytesPerSector != 0) {
    const uint32_t rootBytes = RootEntryCount() * fat::kSlotSize;
    rootSectors = (rootBytes + bytesPerSector - 1) / bytesPerSector;
  }
  const uint64_t dataOffset = reservedSectors + uint64_t{TableCount()} * sectorsPerTable + rootSectors;
  fatStartSector = firstSector + reservedSectors;
  // Sector numbers are 32-bit and wrap, on the volume as on the source.
  dataStartSector = static_cast<uint32_t>(firstSector + dataOffset);
  dataClusterCount_ = CountDataClusters(boot, dataOffset);
}

// The number of data clusters the volume holds: what its total sector count leaves after the
// data area's offset, no more than the first table can address, and no more than the source
// holds from the data area on. A count field of 0, or one that leaves no data area at all, is
// left out, so that a damaged boot sector still gives back what the source holds. What the
// boot sector claims, as far as the table can address it, is kept as the volume's own count.
uint32_t TFATPartition::CountDataClusters(const uint8_t* boot, uint64_t dataOffset) {
  if (!HasGeometry()) return 0;
  const uint64_t sectorsPerCluster = SectorsPerCluster();
  uint64_t clusters = std::numeric_limits<uint64_t>::max();

  const uint16_t claimedSectors16 = le16(boot + fat::kTotalSectors16);
  const uint32_t claimedSectors = claimedSectors16 != 0 ? claimedSectors16 : le32(boot + fat::kTotalSectors32);
  if (claimedSectors > dataOffset) clusters = (claimedSectors - dataOffset) / sectorsPerCluster;

  const uint32_t sectorsPerTable = SectorsPerTable(boot, fatType);
  if (sectorsPerTable != 0) {
    const uint64_t tableBytes = uint64_t{sectorsPerTable} * BytesPerSector();
    const uint64_t entries = fatType == 12 ? tableBytes * 2 / 3 : tableBytes / (fatType / 8);
    clusters = std::min(clusters, entries > fat::kFirstDataCluster ? entries - fat::kFirstDataCluster : 0);
  }
  const bool claimed = clusters != std::numeric_limits<uint64_t>::max();
  clusters = std::min<uint64_t>(clusters, fat::kEntryMask32);

  // Clusters that start in the source, and no more than its bytes from the data area on can
  // fill: a boot sector that claims sectors larger than the source's makes each cluster longer
  // than the stretch of source it starts in.
  const uint64_t sourceSectors = Reader().totalSectors();
  uint64_t inSource = 0;
  if (sourceSectors > dataStartSector) {
    const uint64_t startingInSource = (sourceSectors - dataStartSector + sectorsPerCluster - 1) / sectorsPerCluster;
    const uint64_t sourceBytesFromData = (sourceSectors - dataStartSector) * Reader().bytesPerSector();
    const uint64_t filledBySource = (sourceBytesFromData + ClusterBytes() - 1) / ClusterBytes();
    inSource = std::min({clusters, startingInSource, filledBySource});
  }
  volumeClusterCount_ = static_cast<uint32_t>(claimed ? clusters : inSource);
  return static_cast<uint32_t>(inSource);
}

// A volume read with another sector size than its own lies elsewhere than its geometry says
// (discovery notes that), so what the source would cut off it is not known.
void TFATPartition::NoteWhatTheSourceCutsOff() {
  if (!HasGeometry() || BytesPerSector() != Reader().bytesPerSector()) return;
  bool rootBeyond = false;
  if (fatType != 32) {
    const uint64_t rootBytes = uint64_t{RootEntryCount()} * fat::kSlotSize;
    const uint64_t sourceBytes = uint64_t{Reader().totalSectors()} * Reader().bytesPerSector();
    rootBeyond = uint64_t{RootDirectorySector()} * Reader().bytesPerSector() + rootBytes > sourceBytes;
  }
  if (volumeClusterCount_ > dataClusterCount_ || rootBeyond) {
    NoteCutShort(volumeClusterCount_, volumeClusterCount_ - dataClusterCount_, rootBeyond);
  }
}

void TFATPartition::CreateRoot(const uint8_t* boot) {
  std::array<uint8_t, fat::kSlotSize> slot{};
  std::copy(kRootName.begin(), kRootName.end(), slot.begin());
  if (fatType == 32) {
    const uint32_t rootCluster = le32(boot + fat::kRootCluster32);
    put16(slot.data() + fat::kSlotClusterLow, static_cast<uint16_t>(rootCluster));
    put16(slot.data() + fat::kSlotClusterHigh, static_cast<uint16_t>(rootCluster >> 16));
  } else {
    put32(slot.data() + fat::kSlotFileSize, RootEntryCount() * fat::kSlotSize);
  }
  rootRecords.emplace_back(slot.data(), fatType);

  auto root = std::make_unique<FATDirectoryNode>(readerRef, rootRecords, 0, this);
  root->path = std::string(1, '\\');  // the root's path: one backslash
  root->ReadChildren();
  rootEntry = std::move(root);
  TakeLabelFromRoot();
}

// A volume-label slot in the root directory overrides the boot sector's label, as the FAT
// tools decide; the last one wins, even when it trims to nothing. A deleted slot is no label,
// nor is a long-name slot, whose attributes include the label bit.
void TFATPartition::TakeLabelFromRoot() {
  const auto& root = static_cast<const FATDirectoryNode&>(*rootEntry);
  for (const FATDirectoryEntry& record : root.records) {
    if ((record.attributes() & fat::kAttrVolumeLabel) != 0 && !record.isLongName() &&
        record.marker() != fat::kMarkerDeleted && record.marker() != fat::kMarkerEnd && record.firstCluster == 0 &&
        record.fileSize() == 0) {
      label = FormatVolumeLabel(record.raw.data(), codePage_);
    }
  }
}

uint32_t TFATPartition::RootDirectorySector() const {
  return fatStartSector + TableCount() * le16(bootParameters.data() + fat::kSectorsPerTable16);
}

bool TFATPartition::IsFixedRoot(const FATDirectoryEntry& record) const {
  return fatType != 32 && !rootRecords.empty() && &record == &rootRecords.front();
}

bool TFATPartition::ReadFixedRoot(ByteSink& sink) const {
  if (!HasGeometry()) return true;
  SpanStream output(Reader(), sink);
  return output.Send(RootDirectorySector(), uint64_t{RootEntryCount()} * fat::kSlotSize) && output.Finish();
}

bool TFATPartition::IsEndOfChain(uint32_t entry) const {
  switch (fatType) {
    case 12: return entry >= fat::kEndOfChain12;
    case 32: return entry >= fat::kEndOfChain32;
    default: return entry >= fat::kEndOfChain16;
  }
}

bool TFATPartition::IsBadClusterMark(uint32_t entry) const {
  switch (fatType) {
    case 12: return entry == fat::kBadCluster12;
    case 32: return entry == fat::kBadCluster32;
    default: return entry == fat::kBadCluster16;
  }
}

std::unique_ptr<ClusterTrail> TFATPartition::NewClusterTrail() const {
  return std::make_unique<ClusterTrail>(Heap().Trail());
}

bool TFATPartition::ReadClusterChain(const FATDirectoryEntry& record, ByteSink& sink, uint64_t maxBytes,
                                     ClusterTrail* trail) const {
  SpanStream output(Reader(), sink);
  ClusterTrail own = Heap().Trail();
  return SendChain(record, maxBytes, trail != nullptr ? *trail : own, output) && output.Finish();
}

bool TFATPartition::SendChain(const FATDirectoryEntry& record, uint64_t maxBytes, ClusterTrail& trail,
                              SpanStream& output) const {
  const uint32_t claimedSize = record.fileSize();
  if (!HasGeometry()) return true;
  if (record.firstCluster < fat::kFirstDataCluster) {
    // Cluster 0 or 1: the record names no data, which a record of some size should.
    if (claimedSize != 0) output.Note(DataShortfall::kOutsideVolume);
    return true;
  }
  const ClusterHeap heap = Heap();
  uint64_t wanted = claimedSize != 0 ? claimedSize : std::numeric_limits<uint32_t>::max();
  if (maxBytes != 0 && maxBytes < wanted) wanted = maxBytes;
  // Nothing on the volume is larger than the volume.
  const uint64_t remaining = std::min(wanted, heap.VolumeBytes());
  TableWindow table(*this);
  const ChainWalkEnd end = WalkChain(heap, table, record.firstCluster, remaining, trail, output);
  if (end.stopped) return false;
  // A directory, or a file that claims no size, ends where the table does.
  const bool sized = claimedSize != 0;
  switch (end.shortfall) {
    case DataShortfall::kNone:
      if (sized && remaining < wanted) output.Note(DataShortfall::kVolumeEnds);
      return true;
    case DataShortfall::kFreeInChain:
      if (!sized) {
        output.Note(DataShortfall::kFreeInChain);
        return true;
      }
      return SendTail(output, end.lastCluster, end.remaining);
    case DataShortfall::kEarlyEnd:
      if (sized) output.Note(DataShortfall::kEarlyEnd);
      return true;
    default:
      output.Note(end.shortfall);
      return true;
  }
}

// Deleting a file frees its chain, so a free entry inside a chain is taken as the end of what
// the table still knows: the rest of the file is read from the clusters that directly follow
// the last one read, up to the end of the volume. On a live chain that is a guess, and the
// stream is told so.
bool TFATPartition::SendTail(SpanStream& output, uint32_t lastCluster, uint64_t remaining) const {
  const ClusterHeap heap = Heap();
  const uint64_t first = uint64_t{lastCluster} + 1;
  const uint64_t end = uint64_t{heap.count} + ClusterHeap::kFirstCluster;
  const uint64_t count = first < end ? std::min(remaining, (end - first) * heap.clusterBytes) : 0;
  output.Note(DataShortfall::kFreeInChain, count);
  return count == 0 || output.Send(heap.SectorOf(static_cast<uint32_t>(first)), count);
}

std::unique_ptr<FreeClusterMap> TFATPartition::NewFreeClusterMap() const { return std::make_unique<TableWindow>(*this); }

ClusterHeap TFATPartition::Heap() const {
  return ClusterHeap{dataClusterCount_,         dataStartSector, SectorsPerCluster(), ClusterBytes(),
                     Reader().bytesPerSector(), true,            volumeClusterCount_ - dataClusterCount_};
}

bool TFATPartition::ReadDeletedData(const FATDirectoryEntry& record, ByteSink& sink, uint64_t maxBytes) const {
  const ClusterHeap heap = Heap();
  uint64_t wanted = record.fileSize();
  if (maxBytes != 0) wanted = std::min(wanted, maxBytes);
  if (wanted == 0) return true;
  SpanStream output(Reader(), sink);
  if (!HasGeometry()) {
    output.Note(DataShortfall::kOutsideVolume);
    return true;
  }
  // Nothing on the volume is larger than the part of it the source holds.
  const uint64_t remaining = std::min(wanted, heap.Bytes());
  TableWindow table(*this);
  if (!FreeClusterWalk(heap, table).Send(record.firstCluster, remaining, output)) return false;
  if (remaining < wanted) output.Note(heap.beyondSource != 0 ? DataShortfall::kBeyondSource : DataShortfall::kVolumeEnds);
  return output.Finish();
}

void TFATPartition::VisitFreeClusters(const FATDirectoryEntry& record, const ClusterVisitor& visit) const {
  TableWindow table(*this);
  FreeClusterWalk(Heap(), table).Visit(Reader(), record.firstCluster, visit);
}

std::unique_ptr<LostScanVolume> TFATPartition::NewLostScan() {
  if (!HasGeometry()) return nullptr;
  return NewFatLostScan(*this);
}
