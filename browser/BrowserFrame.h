#pragma once
// The browser frame's logic: the partitions of the open source, the tree built from them, and
// what selecting a node, zooming the picture and the save command do. It reaches the widgets
// only through BrowserView, so it runs and is tested without a display; the Qt frame
// (browser/frame/TfrmFileSystem.h) puts on screen what it is told.

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "browser/EntryHashes.h"
#include "browser/SelectionSave.h"
#include "formats/PictureFormats.h"
#include "fs/Discovery.h"
#include "fs/OpenedSource.h"
#include "fs/InfoList.h"
#include "search/TreeSearch.h"

class LostAndFoundNode;
struct LostScanRun;

// Numbers the frame gives the nodes of treeFat; every node carries its own as payload.
using TreeNodeId = int;
inline constexpr TreeNodeId kNoNode = -1;

struct PictureSize {
  int width = 0;
  int height = 0;
};

// What the frame's logic asks of its widgets.
class BrowserView {
 public:
  virtual ~BrowserView() = default;

  // treeFat. Changes between Begin and End are painted once, at the End.
  virtual void BeginTreeUpdate() = 0;
  virtual void EndTreeUpdate() = 0;
  virtual void ClearTree() = 0;
  // Appends node to parent's children (kNoNode: a top-level node) with its caption and its
  // icon, an index into imgFormats (kNoImage: the tree's default), normal and selected alike.
  virtual void AddTreeNode(TreeNodeId node, TreeNodeId parent, const std::string& caption, int imageIndex) = 0;
  virtual void ExpandTreeNode(TreeNodeId node) = 0;  // one level
  virtual TreeNodeId SelectedTreeNode() const = 0;   // kNoNode when none is
  // Every selected node, in display order; the one of SelectedTreeNode where the tree takes
  // one node at a time.
  virtual std::vector<TreeNodeId> SelectedTreeNodes() const {
    const TreeNodeId node = SelectedTreeNode();
    return node == kNoNode ? std::vector<TreeNodeId>{} : std::vector<TreeNodeId>{node};
  }
  // The columns beside an entry node's caption: its size, when it was modified and how it came to
  // be known; a folder sorts before files whichever way the tree is sorted.
  struct NodeDetails {
    bool folder = false;
    uint64_t size = 0;         // files only
    std::string modified;      // as the information list gives it; "" where none is recorded
    EntryOrigin origin = EntryOrigin::kLive;
  };
  virtual void SetTreeNodeDetails(TreeNodeId /*node*/, const NodeDetails& /*details*/) {}
  // Takes node's child nodes, and theirs, out of the tree.
  virtual void RemoveChildNodes(TreeNodeId /*node*/) {}
  // Puts node among parent's children at position (at most their count) rather than last.
  virtual void InsertTreeNode(TreeNodeId node, TreeNodeId parent, size_t /*position*/, const std::string& caption,
                              int imageIndex) {
    AddTreeNode(node, parent, caption, imageIndex);
  }
  virtual void SetTreeNodeCaption(TreeNodeId /*node*/, const std::string& /*caption*/) {}

  // The words of the "Lost and found" and its scan, in the window's language.
  enum class LostWords {
    kCaption,    // the node's caption
    kScanning,   // after the caption while its scan runs
    kCancelled,  // after the caption once its scan was cancelled
    kLabel,      // what the progress of its scan is labelled
  };
  virtual std::string LostScanText(LostWords words) const;
  // How far a scan is: bytes looked at of the total, files and folders found.
  virtual std::string LostScanProgressText(uint64_t scanned, uint64_t total, uint64_t found) const;
  // The tree shows the entries a search found (count of them), or, with kNoSearch, everything.
  static constexpr size_t kNoSearch = static_cast<size_t>(-1);
  virtual void ShowSearchCount(size_t /*count*/) {}
  // Entries are about to go (the partitions, or a folder read again): whatever holds them
  // besides the tree lets go of them.
  virtual void EntriesGoing() {}
  // A scan of a "Lost and found" has ended and what it found is in the tree.
  virtual void LostScanEnded() {}

  // lstFileInfo, the list entries describe themselves into.
  virtual void BeginInfoUpdate() = 0;
  virtual void EndInfoUpdate() = 0;
  virtual void ClearInfo() = 0;  // deletes every row
  virtual TInfoList& InfoList() = 0;
  // Set-up that waits for the first pass of the event loop: flicker-free painting and rows in
  // groups for lstFileInfo.
  virtual void SetUpInfoList() = 0;
  virtual void StopSetUpTimer() = 0;  // timerUpdateScan

  // The hex page and the preview page.
  virtual void SetHexText(const std::string& text) = 0;      // txtHex, UTF-8
  virtual void SetPreviewText(const std::string& text) = 0;  // txtPreview, UTF-8 as stored
  virtual void ShowPreviewText(bool visible) = 0;            // txtPreview
  virtual void ShowScrollImage(bool visible) = 0;            // scrollImage
  // Decodes the picture into imgPreview at its own size and shows imgPreview, or hides it when
  // the bytes do not decode; returns whether imgPreview is shown.
  virtual bool LoadPicture(PictureFormat format, const uint8_t* data, size_t size) = 0;
  virtual PictureSize PreviewSize() const = 0;  // imgPreview, which stretches its picture
  virtual void SetPreviewSize(PictureSize size) = 0;
};

// Brackets a bulk change of treeFat or lstFileInfo, closed on every path.
template <void (BrowserView::*Begin)(), void (BrowserView::*End)()>
class UpdateBracket {
 public:
  explicit UpdateBracket(BrowserView& view) : view_(view) { (view_.*Begin)(); }
  ~UpdateBracket() { (view_.*End)(); }
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;

 private:
  BrowserView& view_;
};
using TreeUpdate = UpdateBracket<&BrowserView::BeginTreeUpdate, &BrowserView::EndTreeUpdate>;
using InfoUpdate = UpdateBracket<&BrowserView::BeginInfoUpdate, &BrowserView::EndInfoUpdate>;

// What is selected in the tree, for the status line: the entries and the bytes of the files among
// them.
struct SelectionSize {
  size_t entries = 0;
  uint64_t bytes = 0;
};

// The prompt of the folder dialog of the save command.
inline constexpr const char* kSaveFolderPrompt = "Please choose a directory where the selected file(s) will be saved:";
// What the preview shows when data that starts like a picture does not decode.
inline constexpr const char* kCannotPreviewText = "Cannot preview this file. Probably not recoverable.";
inline constexpr double kZoomInFactor = 1.5;
inline constexpr double kZoomOutFactor = 0.6666666666;

// size times factor, each side truncated to whole pixels (and kept within an int).
PictureSize ZoomedSize(PictureSize size, double factor);

class BrowserFrame {
 public:
  explicit BrowserFrame(BrowserView& view) : view_(view) {}
  ~BrowserFrame();
  BrowserFrame(const BrowserFrame&) = delete;
  BrowserFrame& operator=(const BrowserFrame&) = delete;

  // Clears the partitions and the tree, then takes the partitions found on source, which
  // outlives them.
  void ScanPartitions(OpenedSource& source);
  // Ends what runs in the background, empties the tree, then destroys the partitions; the
  // panes keep what they show.
  void ClearPartitions();
  // Shows every partition as a top-level node with its root directory below it.
  void FillTree();

  // Handlers.
  void treeFatChange();
  void timerUpdateScanTimer();
  void btnZoomInClick();
  void btnZoomOutClick();
  // Saves the selected entry into a folder the user picks, in the background; says so when the
  // save failed or the file came out short. Several entries, or a folder, are saved together
  // (see browser/SelectionSave.h), and a report follows unless one file was saved whole.
  void btnSaveClick();
  // Saves every deleted file in the selected folder or volume, with the folders that lead to
  // them, into a folder the user picks; a report follows.
  void mnuSaveDeletedClick();
  // Opens the folder of node (the current one, which Enter activated): reads it, gives it its
  // child nodes and expands it.
  void treeFatOpen(TreeNodeId node);
  // Reads the selected folder again from the medium, with new child nodes.
  void mnuRereadClick();
  // The selected entries and their size.
  SelectionSize SelectedSize() const;
  // Whether the selected node is a folder or a volume, whose deleted files can be saved.
  bool CanSaveDeleted() const;
  // Computes the selected entry's hashes in the background and adds them to its information.
  void mnuHashFileClick();
  // Called every few hundred milliseconds: what the scans that run have found goes into the
  // tree, and their progress into their status.
  void PollLostScans();
  // Whether a scan of a "Lost and found" runs.
  bool LostScanRuns() const { return !lostScans_.empty(); }
  // Filters the tree to what query finds on every volume, folders not yet opened included,
  // with the folders that lead there; the search runs in the background, and one still running
  // is stopped for it. A query that asks for nothing gives the whole tree back, its opened
  // folders open again (see browser/BrowserSearch.cpp).
  void Search(const SearchQuery& query);
  // Whether the tree shows a search's results.
  bool Filtered() const { return filtered_; }
  // The folders whose pictures the gallery shows, named as the save command names them: the
  // selected folder, the folder of a selected file, or a selected volume's root and its "Lost
  // and found".
  std::vector<SaveItem> SelectedFolders() const;
  // Whether the window may read folders now: not while a save or a search walks them, nor while
  // a lost-and-found scan reads them on the volumes' directory trails.
  bool FoldersReadable() const { return walking_ == 0 && lostScans_.empty(); }
  // Saves items, entries of the tree, into a folder the user picks, in the background, with
  // the report that follows saving several entries.
  void SaveEntries(std::vector<SaveItem> items);
  // Shows entry's information, hex dump and preview, as selecting its node does.
  void ShowEntry(TDirectoryEntry& entry);
  // Searches the sectors of the source that no volume shown and no table entry covers for lost
  // volumes, at depth, in the background; those found are added after the others, and a box
  // says how many (see browser/BrowserFrameVolumes.cpp).
  void SearchLostVolumes(SearchDepth depth);
  // Whether that search can start: a source is shown and nothing else runs in the background.
  bool CanSearchLostVolumes() const;

  PartitionList partitions;
  bool firstTickPending = true;
  // The absolute index (position among all nodes in display order, collapsed ones included)
  // of the node whose entry the panes show; -1 when none since the last clearing.
  int32_t lastShownIndex = -1;

 private:
  struct Node {
    TreeNodeId parent = kNoNode;
    TDirectoryEntry* entry = nullptr;  // none for a partition node
    std::vector<TreeNodeId> children;
  };

  void ClearTree();
  // The node of partition, with its root and its "Lost and found" below it.
  void AddVolumeNodes(TPartition& partition);
  TreeNodeId AddNode(TreeNodeId parent, const std::string& caption, int imageIndex, TDirectoryEntry* entry);
  void AddChildNodes(TreeNodeId node);
  // A node for entry among parent's at position (at most their count); its caption is the
  // entry's name.
  TreeNodeId InsertEntryNode(TreeNodeId parent, size_t position, TDirectoryEntry& entry);
  TreeNodeId AddEntryNode(TreeNodeId parent, TDirectoryEntry& entry);
  int32_t AbsoluteIndex(TreeNodeId node) const;
  TDirectoryEntry* SelectedEntry() const;
  // The selected nodes with entries, without those below another selected node.
  std::vector<TreeNodeId> SelectedForSave() const;
  SaveItem ItemOf(TreeNodeId node) const;
  void SaveInBackground(std::vector<SaveItem> items, const std::string& folder, bool deletedOnly);
  void ForgetNodes(TreeNodeId node);
  void FillInfo(TDirectoryEntry& entry);
  void ShowData(TDirectoryEntry& entry);
  void ShowPicture(TDirectoryEntry& entry, PictureFormat format);
  void ShowText(const std::string& text);
  void Zoom(double factor);
  void StartPendingSearch();
  void ShowSearchResults(const SearchResult& result);
  void ShowWholeTree();
  // Stops a running search and forgets the one waiting: the tree is about to go.
  void DropSearches();

  // The scans of "Lost and found" nodes that run in the background (BrowserFrameLostScan.cpp).
  struct LostScan {
    TreeNodeId node = kNoNode;
    LostAndFoundNode* entry = nullptr;
    std::shared_ptr<LostScanRun> run;
  };
  // Opening the node: its scan starts in the background, unless it ran or runs.
  void OpenLostAndFound(TreeNodeId node, LostAndFoundNode& entry);
  void StartLostScan(TreeNodeId node, LostAndFoundNode& entry);
  // What the scan found since the last call goes into the node and the tree.
  void DeliverLostScan(const LostScan& scan);
  void FinishLostScan(LostScanRun* run);
  void ShowLostCaption(TreeNodeId node, const LostAndFoundNode& entry);
  // Whether the folder of node may be read now: not while a save walks folders, nor while a
  // scan walks the folders of its volume (both read them on the volume's directory trails);
  // the folders of found files read nothing of the volume.
  bool FolderReadable(TreeNodeId node, const TDirectoryEntry& entry) const;
  TreeNodeId VolumeNodeOf(TreeNodeId node) const;
  // Whether saving these walks folders, which it may not while a scan runs.
  static bool WalksFolders(const std::vector<SaveItem>& items);

  BrowserView& view_;
  // The source the partitions came from, searched for more volumes on request.
  OpenedSource* source_ = nullptr;
  std::vector<Node> nodes_;            // by TreeNodeId
  std::vector<TreeNodeId> topLevel_;   // the partition nodes, in order
  EntryHashes hashes_;
  // Saves and searches that walk folders run: the tree reads no folder meanwhile, for the walk
  // reads them too.
  int walking_ = 0;
  std::vector<LostScan> lostScans_;
  // Set while the partitions are about to go: a scan that ends meanwhile updates no tree.
  bool ending_ = false;
  // The search: the query waiting for the running one (or a save) to end, the running one's
  // stop flag, and whether the tree shows results. openedBefore_: the folders that had child
  // nodes when the tree was last whole, opened again when it is whole once more.
  std::optional<SearchQuery> pendingSearch_;
  std::shared_ptr<std::atomic<bool>> searchStop_;
  bool filtered_ = false;
  std::set<const TDirectoryEntry*> openedBefore_;
};
