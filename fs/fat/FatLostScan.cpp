#include "fs/fat/FatLostScan.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fs/SpanStream.h"
#include "fs/fat/FatDirectory.h"
#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"

namespace {

class FatLostScan final : public LostScanVolume {
 public:
  explicit FatLostScan(TFATPartition& partition) : partition_(partition) {}

  ClusterHeap Heap() const override { return partition_.Heap(); }
  std::unique_ptr<FreeClusterMap> NewAllocationMap() const override { return partition_.NewFreeClusterMap(); }

  std::unique_ptr<TDirectoryEntry> NewRoot() override {
    if (partition_.rootRecords.empty()) return nullptr;
    auto root = std::make_unique<FATDirectoryNode>(partition_.readerRef, partition_.rootRecords, 0, &partition_);
    root->path = std::string(1, '\\');
    return root;
  }

  bool OpensFolder(const uint8_t* bytes, size_t count) const override { return OpensDirectory(bytes, count); }

  std::vector<std::unique_ptr<TDirectoryEntry>> LostFolders(const ClusterBits& opening, const ClusterBits& shown,
                                                            size_t most) override;

 private:
  std::vector<uint8_t> FirstCluster(uint32_t folder) const {
    return ReadClusterStart(*partition_.readerRef->reader, partition_.Heap(), folder);
  }
  // Whether the folder that opens at parent names a folder that opens at child among the slots
  // of its first cluster.
  bool Names(uint32_t parent, uint32_t child) const;

  TFATPartition& partition_;
  FATRecordList records_;  // the made-up records of the lost folders; nodes point into it
};

bool FatLostScan::Names(uint32_t parent, uint32_t child) const {
  const std::vector<uint8_t> bytes = FirstCluster(parent);
  for (size_t at = 2 * fat::kSlotSize; at + fat::kSlotSize <= bytes.size(); at += fat::kSlotSize) {
    const FATDirectoryEntry record(bytes.data() + at, partition_.fatType);
    if (record.marker() == fat::kMarkerEnd) break;
    if (record.isLongName() || record.marker() == fat::kMarkerDot) continue;
    if ((record.attributes() & fat::kAttrDirectory) != 0 && record.firstCluster == child) return true;
  }
  return false;
}

std::vector<std::unique_ptr<TDirectoryEntry>> FatLostScan::LostFolders(const ClusterBits& opening,
                                                                      const ClusterBits& shown, size_t most) {
  const ClusterHeap heap = partition_.Heap();
  std::vector<uint32_t> tops;
  std::vector<std::vector<uint8_t>> dots;  // each top's "." slot
  const uint32_t end = ClusterHeap::kFirstCluster + heap.count;
  for (uint32_t cluster = ClusterHeap::kFirstCluster; cluster < end && tops.size() < most; ++cluster) {
    if (!opening.Test(cluster) || shown.Test(cluster)) continue;
    const std::vector<uint8_t> bytes = FirstCluster(cluster);
    const uint32_t parent = FATDirectoryEntry(bytes.data() + fat::kSlotSize, partition_.fatType).firstCluster;
    // A folder its found parent names is shown there, as the parent's child.
    if (parent != cluster && opening.Test(parent) && Names(parent, cluster)) continue;
    tops.push_back(cluster);
    dots.emplace_back(bytes.begin(), bytes.begin() + fat::kSlotSize);
  }
  records_.clear();
  records_.reserve(tops.size());
  for (size_t i = 0; i < tops.size(); ++i) {
    const uint32_t cluster = tops[i];
    // The "." slot keeps the folder's own times and attributes; its name is blanked, so that the
    // node is known by its caption alone.
    std::vector<uint8_t>& slot = dots[i];
    std::fill_n(slot.begin() + fat::kSlotName, fat::kSlotNameLength + fat::kSlotExtensionLength, ' ');
    put16(slot.data() + fat::kSlotClusterLow, static_cast<uint16_t>(cluster));
    put16(slot.data() + fat::kSlotClusterHigh, static_cast<uint16_t>(cluster >> 16));
    records_.emplace_back(slot.data(), partition_.fatType);
  }
  std::vector<std::unique_ptr<TDirectoryEntry>> folders;
  for (size_t i = 0; i < records_.size(); ++i) {
    auto folder = FATDirectoryNode::Deleted(partition_.readerRef, records_, i, &partition_);
    folder->name = LostFolderCaption(tops[i]);
    folders.push_back(std::move(folder));
  }
  return folders;
}

}  // namespace

std::unique_ptr<LostScanVolume> NewFatLostScan(TFATPartition& partition) {
  return std::make_unique<FatLostScan>(partition);
}
