#include "fs/exfat/ExfatLostScan.h"

#include <string>

#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"

namespace {

class ExfatLostScan final : public LostScanVolume {
 public:
  explicit ExfatLostScan(EXFATPartition& partition) : partition_(partition) {}

  ClusterHeap Heap() const override { return partition_.Heap(); }
  std::unique_ptr<FreeClusterMap> NewAllocationMap() const override { return partition_.NewFreeClusterMap(); }

  std::unique_ptr<TDirectoryEntry> NewRoot() override {
    if (partition_.ownedEntrySets.empty()) return nullptr;
    auto root = std::make_unique<EXFATDirectoryNode>(partition_.readerRef, partition_.RootSet(), partition_);
    root->path.assign(1, '\\');
    return root;
  }

  bool OpensFolder(const uint8_t*, size_t) const override { return false; }

  std::vector<std::unique_ptr<TDirectoryEntry>> LostFolders(const ClusterBits&, const ClusterBits&, size_t) override {
    return {};
  }

 private:
  EXFATPartition& partition_;
};

}  // namespace

std::unique_ptr<LostScanVolume> NewExfatLostScan(EXFATPartition& partition) {
  return std::make_unique<ExfatLostScan>(partition);
}
