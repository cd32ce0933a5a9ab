#pragma once
// A volume's "Lost and found": what a scan of its data area finds that no folder of the tree
// leads to any more. Lost folders are directory clusters in free space (a formatted volume's
// old tree, a deleted folder's clusters that its entry no longer leads to); found files are
// files told by their content alone (formats/carve) in clusters that nothing else claims. The
// scan keeps a few bits per cluster, not objects: which clusters the tree's deleted entries
// and the lost folders' entries claim, and which open a folder. What a family adds (how a
// folder cluster looks, how a lost folder is shown) comes through LostScanVolume.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/carve/Carving.h"
#include "fs/LostScanVolume.h"
#include "fs/Partition.h"
#include "scan/ClusterReads.h"

// How far a scan is: bytes looked at of the total (each cluster counts in both passes), and
// files and folders found. Returning false cancels the scan; what was found is kept.
using LostScanProgress = std::function<bool(uint64_t scanned, uint64_t total, uint64_t found)>;

// A file found by its content: one run of clusters from firstCluster on, or, for a file written
// around clusters other files hold, the runs it lies in (empty for one run).
struct FoundFile {
  uint32_t firstCluster = 0;
  uint64_t length = 0;
  CarvedKind kind = CarvedKind::kJpeg;
  std::optional<CarvedTime> recordedTime;
  std::vector<ClusterRun> runs;
};

// What a scan counted besides what it found.
struct LostScanTotals {
  uint64_t unreadableClusters = 0;  // clusters whose first bytes could not be read: skipped
  uint64_t lostFolders = 0;
  uint64_t foundFiles = 0;
  bool cancelled = false;
  bool foldersCut = false;  // more lost folders than are listed
};

// The "Lost and found" node. Opening it runs the scan once; its children are the lost folders,
// then one folder per type of file found ("jpg", "png", ...), in the order of CarvedKind.
class LostAndFoundNode final : public TDirectoryEntry {
 public:
  static constexpr const char* kCaption = "Lost and found";
  // The most lost folders listed: each is a node, so a volume made of folder clusters lists a
  // bounded number of them.
  static constexpr size_t kMostLostFolders = 100000;

  LostAndFoundNode(ReaderRef* readerRef, TPartition& partition, std::unique_ptr<LostScanVolume> volume);
  ~LostAndFoundNode() override;

  void ReadChildren() override;
  // The scan's findings stay; only what the children read goes.
  void ReleaseChildren() override;
  bool IsFolder() const override { return true; }
  void FillInfo(TInfoList& list) override;
  bool StreamData(ByteSink&, uint64_t) override { return true; }

  // Told of the scan's progress while ReadChildren runs it; may cancel it.
  LostScanProgress progress;
  bool Scanned() const { return scanned_; }
  const LostScanTotals& totals() const { return totals_; }

 private:
  void Scan();

  TPartition& partition_;
  std::unique_ptr<LostScanVolume> volume_;
  bool scanned_ = false;
  LostScanTotals totals_;
};

// The files found of one type, named f<first cluster>.<extension>.
class FoundFolder final : public TDirectoryEntry {
 public:
  FoundFolder(ReaderRef* readerRef, const ClusterHeap& heap, CarvedKind kind, std::vector<FoundFile> files);

  void ReadChildren() override;
  bool IsFolder() const override { return true; }
  EntryOrigin Origin() const override { return EntryOrigin::kFound; }
  void FillInfo(TInfoList& list) override;
  bool StreamData(ByteSink&, uint64_t) override { return true; }

 private:
  ClusterHeap heap_;
  std::vector<FoundFile> files_;
};

class FoundFileNode final : public TDirectoryEntry {
 public:
  FoundFileNode(ReaderRef* readerRef, const ClusterHeap& heap, const FoundFile& file);

  ByteBuffer GetData(uint32_t& size) override { return DataFromStream(size); }
  bool StreamData(ByteSink& sink, uint64_t limit) override;
  uint64_t DataLength() const override { return file_.length; }
  EntryOrigin Origin() const override { return EntryOrigin::kFound; }
  void FillInfo(TInfoList& list) override;
  std::optional<RecordedTime> ModifiedTime() const override;

 private:
  ClusterHeap heap_;
  FoundFile file_;
};

// "f0012345.jpg": the type's extension after the first cluster, of 7 digits or more.
std::string FoundFileName(const FoundFile& file);

// Gives each partition whose family can be scanned its "Lost and found" node (not yet scanned),
// where it has none.
void AddLostAndFound(TPartition& partition);
