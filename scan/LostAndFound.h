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
#include <map>
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

// Takes a scan's findings as it makes them, on the scan's thread.
class LostScanSink {
 public:
  virtual ~LostScanSink() = default;
  // A lost folder, walked and let go of: the scan touches it no more.
  virtual void LostFolder(std::unique_ptr<TDirectoryEntry> folder) = 0;
  virtual void FileFound(const FoundFile& file) = 0;
};

class FoundFolder;

// The "Lost and found" node. Opening it runs the scan once; its children are the lost folders,
// then one folder per type of file found ("jpg", "png", ...), in the order of CarvedKind.
// A front end may instead run the scan on a thread of its own (ScanInto) and hand what it
// finds to the node on the node's thread (BeginScan, AddLostFolder, AddFoundFile, EndScan).
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
  bool Running() const { return running_; }
  const LostScanTotals& totals() const { return totals_; }

  // Runs the scan, giving sink what it finds as it goes, and returns its totals. It touches
  // neither the node's children nor its totals, so it may run on another thread while the node
  // is shown, as long as nothing reads the partition's folders meanwhile (the scan walks them
  // on the partition's directory trails). One scan at a time, and not while the lost folders
  // of an earlier scan are still children (their records belong to the volume's scan).
  LostScanTotals ScanInto(LostScanSink& sink, const LostScanProgress& onProgress);
  // The node's own side of a scan that ScanInto runs elsewhere. BeginScan lets go of what an
  // earlier scan found and counts as scanned from then on, so that opening the node runs no
  // scan of its own; EndScan takes the totals.
  void BeginScan();
  void AddLostFolder(std::unique_ptr<TDirectoryEntry> folder);
  // Where AddFoundFile put a file: its type's folder and the folder's place among the
  // children, whether that folder is new, and the file's node where the folder had read its
  // children already.
  struct Placed {
    FoundFolder* folder = nullptr;
    size_t index = 0;
    bool newFolder = false;
    TDirectoryEntry* fileNode = nullptr;
  };
  Placed AddFoundFile(const FoundFile& file);
  void EndScan(const LostScanTotals& totals);

 private:
  TPartition& partition_;
  std::unique_ptr<LostScanVolume> volume_;
  bool scanned_ = false;
  bool running_ = false;
  LostScanTotals totals_;
  size_t lostFolderCount_ = 0;                 // the first children
  std::map<CarvedKind, FoundFolder*> byKind_;  // the folders of found files, after them
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
  // One file more, after the others; its node where the folder has read its children, else
  // nothing (reading them makes it).
  TDirectoryEntry* Add(const FoundFile& file);

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
