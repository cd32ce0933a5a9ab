#include "browser/BrowserFrame.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include "browser/Background.h"
#include "browser/HexView.h"
#include "browser/ImageIndex.h"
#include "fs/DosFields.h"
#include "fs/TreeWalk.h"
#include "platform/FolderDialog.h"
#include "platform/MessageBox.h"
#include "platform/SummaryBox.h"
#include "platform/UrlOpener.h"
#include "platform/WaitCursor.h"
#include "save/SaveEntry.h"
#include "scan/LostAndFound.h"

namespace {

int ImageOfState(int32_t state) {
  switch (state) {
    case kStateDirectory: return kImgDirectory;
    case kStateFile: return kImgFile;
    case kStateDeleted: return kImgDeleted;
    default: return kNoImage;
  }
}

BrowserView::NodeDetails DetailsOf(const TDirectoryEntry& entry) {
  BrowserView::NodeDetails details;
  details.folder = entry.IsFolder();
  if (!details.folder) details.size = entry.DataLength();
  details.modified = entry.modifiedText;
  if (details.modified.empty()) {
    if (const std::optional<RecordedTime> time = entry.ModifiedTime()) {
      details.modified = FormatDosTimestamp(time->stamp, time->hundredths);
    }
  }
  details.origin = entry.Origin();
  return details;
}

}  // namespace

PictureSize ZoomedSize(PictureSize size, double factor) {
  const auto side = [factor](int pixels) {
    return static_cast<int>(std::min<double>(pixels * factor, std::numeric_limits<int>::max()));
  };
  return {side(size.width), side(size.height)};
}

BrowserFrame::~BrowserFrame() {
  ending_ = true;
  DropSearches();
  Background().CancelAndWait();
}

void BrowserFrame::ScanPartitions(OpenedSource& source) {
  ClearPartitions();
  partitions = source.TakePartitions();
  source_ = &source;
}

void BrowserFrame::ClearPartitions() {
  WaitCursor wait;
  // What runs in the background reads the entries that are about to go.
  ending_ = true;
  DropSearches();
  Background().CancelAndWait();
  ending_ = false;
  lostScans_.clear();
  view_.EntriesGoing();
  {
    TreeUpdate bracket(view_);
    ClearTree();
  }
  hashes_.Clear();
  for (auto& partition : partitions) partition.reset();
  partitions.clear();
  source_ = nullptr;
  lastShownIndex = -1;
}

void BrowserFrame::FillTree() {
  TreeUpdate bracket(view_);
  ClearTree();
  filtered_ = false;
  openedBefore_.clear();
  view_.ShowSearchCount(BrowserView::kNoSearch);
  for (const auto& partition : partitions) AddVolumeNodes(*partition);
}

void BrowserFrame::AddVolumeNodes(TPartition& partition) {
  const TreeNodeId node = AddNode(kNoNode, partition.GetDescription(), kImgPartition, nullptr);
  if (TDirectoryEntry* root = partition.rootEntry.get()) AddNode(node, root->name, kImgDirectory, root);
  // Opening it scans the volume's data area.
  AddLostAndFound(partition);
  if (TDirectoryEntry* lost = partition.lostAndFound.get()) {
    AddNode(node, view_.LostScanText(BrowserView::LostWords::kCaption), kImgDirectory, lost);
  }
  view_.ExpandTreeNode(node);
}

void BrowserFrame::treeFatChange() {
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return;
  TDirectoryEntry* entry = nodes_[selected].entry;
  if (entry == nullptr) return;  // a partition node
  const int32_t index = AbsoluteIndex(selected);
  if (index == lastShownIndex) return;

  WaitCursor wait;
  if (auto* lost = dynamic_cast<LostAndFoundNode*>(entry)) {
    OpenLostAndFound(selected, *lost);
    lastShownIndex = index;
    FillInfo(*entry);
    ShowData(*entry);
    return;
  }
  // While a save or a scan walks folders the tree reads none: the walk reads them too. A
  // folder shown meanwhile is shown again, with its children, when it is selected after it.
  const bool readable = !entry->IsFolder() || FolderReadable(selected, *entry);
  if (readable) {
    EnsureChildren(*entry);
    if (nodes_[selected].children.empty()) AddChildNodes(selected);
  }
  lastShownIndex = readable ? index : -1;
  FillInfo(*entry);
  ShowData(*entry);
}

void BrowserFrame::treeFatOpen(TreeNodeId selected) {
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return;
  TDirectoryEntry* entry = nodes_[selected].entry;
  if (entry == nullptr) {
    view_.ExpandTreeNode(selected);  // a volume: its root is a child already
    return;
  }
  if (auto* lost = dynamic_cast<LostAndFoundNode*>(entry)) {
    OpenLostAndFound(selected, *lost);
    view_.ExpandTreeNode(selected);
    return;
  }
  if (!entry->IsFolder() || !FolderReadable(selected, *entry)) return;
  WaitCursor wait;
  EnsureChildren(*entry);
  if (nodes_[selected].children.empty()) AddChildNodes(selected);
  else view_.ExpandTreeNode(selected);
}

void BrowserFrame::mnuRereadClick() {
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return;
  TDirectoryEntry* entry = nodes_[selected].entry;
  // What runs in the background may be reading the entries that are about to go.
  if (entry == nullptr || !entry->IsFolder() || Background().Busy()) return;
  WaitCursor wait;
  view_.EntriesGoing();
  {
    TreeUpdate bracket(view_);
    for (const TreeNodeId child : nodes_[selected].children) ForgetNodes(child);
    view_.RemoveChildNodes(selected);
    nodes_[selected].children.clear();
  }
  // The "Lost and found" read again is scanned again.
  if (auto* lost = dynamic_cast<LostAndFoundNode*>(entry)) {
    StartLostScan(selected, *lost);
    lastShownIndex = AbsoluteIndex(selected);
    FillInfo(*entry);
    ShowData(*entry);
    return;
  }
  entry->ReleaseChildren();
  EnsureChildren(*entry);
  AddChildNodes(selected);
  lastShownIndex = AbsoluteIndex(selected);
  FillInfo(*entry);
  ShowData(*entry);
}

// The node and those below it carry entries no more: theirs are about to go.
void BrowserFrame::ForgetNodes(TreeNodeId node) {
  if (TDirectoryEntry* entry = nodes_[node].entry) hashes_.Forget(*entry);
  nodes_[node].entry = nullptr;
  for (const TreeNodeId child : nodes_[node].children) ForgetNodes(child);
  nodes_[node].children.clear();
}

SelectionSize BrowserFrame::SelectedSize() const {
  SelectionSize size;
  for (const TreeNodeId node : view_.SelectedTreeNodes()) {
    if (node < 0 || static_cast<size_t>(node) >= nodes_.size()) continue;
    ++size.entries;
    const TDirectoryEntry* entry = nodes_[node].entry;
    if (entry != nullptr && !entry->IsFolder()) size.bytes += entry->DataLength();
  }
  return size;
}

bool BrowserFrame::CanSaveDeleted() const {
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return false;
  const TDirectoryEntry* entry = nodes_[selected].entry;
  return entry != nullptr ? entry->IsFolder() : nodes_[selected].parent == kNoNode;
}

void BrowserFrame::timerUpdateScanTimer() {
  if (!firstTickPending) return;
  firstTickPending = false;
  view_.StopSetUpTimer();
  view_.SetUpInfoList();
}

void BrowserFrame::btnZoomInClick() { Zoom(kZoomInFactor); }

void BrowserFrame::btnZoomOutClick() { Zoom(kZoomOutFactor); }

void BrowserFrame::btnSaveClick() {
  const std::vector<TreeNodeId> selected = SelectedForSave();
  if (selected.empty()) return;
  TDirectoryEntry* entry = nodes_[selected.front()].entry;
  if (selected.size() > 1 || entry->IsFolder()) {
    if (walking_ != 0) return;
    std::vector<SaveItem> items;
    for (const TreeNodeId node : selected) items.push_back(ItemOf(node));
    if (LostScanRuns() && WalksFolders(items)) return;
    const std::optional<std::string> folder = ChooseFolder(kSaveFolderPrompt);
    if (!folder) return;
    SaveInBackground(std::move(items), *folder, false);
    return;
  }
  const std::optional<std::string> folder = ChooseFolder(kSaveFolderPrompt);
  if (!folder) return;
  // The question is asked here, before the save starts in the background; a file that turns
  // up meanwhile is not replaced.
  const std::string target = SaveTargetPath(*entry, *folder);
  struct stat info {};
  const bool replace = ::lstat(target.c_str(), &info) == 0;
  if (replace && ShowMessageBox(ReplaceQuestion(target), kApplicationTitle, kMbYesNoQuestion) != kIdYes) return;
  auto result = std::make_shared<SaveResult>();
  Background().Start(
      "Saving " + SafeFileName(entry->name),
      [entry, folder = *folder, replace, result](Operation& operation) {
        std::optional<ReadSession> session;
        if (entry->readerRef != nullptr && entry->readerRef->reader != nullptr) {
          session.emplace(*entry->readerRef->reader, operation.policy(), operation.faults());
        }
        SaveOptions options;
        options.progress = [&operation](uint64_t done, uint64_t total) { return operation.Advance(done, total); };
        options.replace = [replace](const std::string&) { return replace; };
        *result = SaveEntry(*entry, folder, options);
      },
      [result](Operation&) {
        if (result->outcome == SaveOutcome::kFailed) ShowMessageBox(SaveFailureText(*result), kErrorCaption, kMbOkWarning);
        // A file that came out short is not a silent success.
        if (Incomplete(*result)) ShowMessageBox(IncompleteSaveText(*result), kApplicationTitle, kMbOkWarning);
      });
}

void BrowserFrame::mnuSaveDeletedClick() {
  if (!CanSaveDeleted() || walking_ != 0 || LostScanRuns()) return;
  const TreeNodeId selected = view_.SelectedTreeNode();
  const std::optional<std::string> folder = ChooseFolder(kSaveFolderPrompt);
  if (!folder) return;
  SaveItem item = ItemOf(selected);
  SaveInBackground({std::move(item)}, *folder, true);
}

std::vector<SaveItem> BrowserFrame::SelectedFolders() const {
  TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return {};
  const TDirectoryEntry* entry = nodes_[selected].entry;
  if (entry != nullptr && !entry->IsFolder()) selected = nodes_[selected].parent;
  if (selected == kNoNode) return {};
  std::vector<SaveItem> folders;
  if (nodes_[selected].entry == nullptr) {
    for (const TreeNodeId child : nodes_[selected].children) folders.push_back(ItemOf(child));
  } else {
    folders.push_back(ItemOf(selected));
  }
  return folders;
}

void BrowserFrame::SaveEntries(std::vector<SaveItem> items) {
  if (items.empty() || walking_ != 0) return;
  const std::optional<std::string> folder = ChooseFolder(kSaveFolderPrompt);
  if (!folder) return;
  SaveInBackground(std::move(items), *folder, false);
}

void BrowserFrame::ShowEntry(TDirectoryEntry& entry) {
  WaitCursor wait;
  lastShownIndex = -1;  // selecting a node of the tree shows that node again
  FillInfo(entry);
  ShowData(entry);
}

void BrowserFrame::SaveInBackground(std::vector<SaveItem> items, const std::string& folder, bool deletedOnly) {
  const std::string label = deletedOnly ? "Saving the deleted files of " + items.front().displayPath
                                        : "Saving " + std::to_string(items.size()) + " selected entries";
  auto report = std::make_shared<SaveReport>();
  report->folder = folder;
  ++walking_;
  Background().Start(
      label,
      [items = std::move(items), folder, deletedOnly, report](Operation& operation) {
        *report = SaveItems(items, folder, deletedOnly, operation);
      },
      [this, report](Operation&) {
        --walking_;
        if (pendingSearch_) StartPendingSearch();  // a search typed while the save ran
        if (EndsSilently(*report)) return;
        if (ShowSummaryBox(kApplicationTitle, SummaryText(*report), SummaryDetails(*report))) {
          OpenUrl(FolderUrl(report->folder));
        }
      });
}

void BrowserFrame::mnuHashFileClick() {
  TDirectoryEntry* entry = SelectedEntry();
  if (entry == nullptr || entry->IsFolder()) return;
  hashes_.Start(*entry, [this, entry] {
    if (SelectedEntry() == entry) FillInfo(*entry);
  });
}

void BrowserFrame::ClearTree() {
  view_.ClearTree();
  nodes_.clear();
  topLevel_.clear();
}

TreeNodeId BrowserFrame::AddNode(TreeNodeId parent, const std::string& caption, int imageIndex,
                                 TDirectoryEntry* entry) {
  const auto node = static_cast<TreeNodeId>(nodes_.size());
  nodes_.push_back(Node{parent, entry, {}});
  (parent == kNoNode ? topLevel_ : nodes_[parent].children).push_back(node);
  view_.AddTreeNode(node, parent, caption, imageIndex);
  if (entry != nullptr) view_.SetTreeNodeDetails(node, DetailsOf(*entry));
  return node;
}

TreeNodeId BrowserFrame::InsertEntryNode(TreeNodeId parent, size_t position, TDirectoryEntry& entry) {
  std::vector<TreeNodeId>& siblings = nodes_[parent].children;
  position = std::min(position, siblings.size());
  const auto node = static_cast<TreeNodeId>(nodes_.size());
  nodes_.push_back(Node{parent, &entry, {}});
  nodes_[parent].children.insert(nodes_[parent].children.begin() + static_cast<std::ptrdiff_t>(position), node);
  view_.InsertTreeNode(node, parent, position, entry.name, ImageOfState(entry.state));
  view_.SetTreeNodeDetails(node, DetailsOf(entry));
  return node;
}

// One node per child the entry has read, in its order; a directory's nodes are made once.
void BrowserFrame::AddChildNodes(TreeNodeId node) {
  TreeUpdate bracket(view_);
  for (const auto& child : nodes_[node].entry->children) AddEntryNode(node, *child);
  view_.ExpandTreeNode(node);
}

TreeNodeId BrowserFrame::AddEntryNode(TreeNodeId parent, TDirectoryEntry& entry) {
  return AddNode(parent, entry.name, ImageOfState(entry.state), &entry);
}

int32_t BrowserFrame::AbsoluteIndex(TreeNodeId node) const {
  // Walks the tree in display order, collapsed nodes included, until it meets the node.
  std::vector<TreeNodeId> pending(topLevel_.rbegin(), topLevel_.rend());
  int32_t index = 0;
  while (!pending.empty()) {
    const TreeNodeId next = pending.back();
    pending.pop_back();
    if (next == node) return index;
    ++index;
    const std::vector<TreeNodeId>& children = nodes_[next].children;
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return -1;
}

TDirectoryEntry* BrowserFrame::SelectedEntry() const {
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return nullptr;
  return nodes_[selected].entry;
}

std::vector<TreeNodeId> BrowserFrame::SelectedForSave() const {
  std::vector<TreeNodeId> selected;
  for (const TreeNodeId node : view_.SelectedTreeNodes()) {
    if (node >= 0 && static_cast<size_t>(node) < nodes_.size() && nodes_[node].entry != nullptr) selected.push_back(node);
  }
  // A node below another selected one is saved with it.
  const auto isSelected = [&selected](TreeNodeId node) {
    return std::find(selected.begin(), selected.end(), node) != selected.end();
  };
  std::vector<TreeNodeId> saved;
  for (const TreeNodeId node : selected) {
    bool below = false;
    for (TreeNodeId up = nodes_[node].parent; up != kNoNode && !below; up = nodes_[up].parent) below = isSelected(up);
    if (!below) saved.push_back(node);
  }
  return saved;
}

// The node's partition and its paths as brindle-cli gives them: "N:/a/b" and "N#i/j". A
// volume node stands for its whole volume.
SaveItem BrowserFrame::ItemOf(TreeNodeId node) const {
  std::vector<TreeNodeId> way;
  for (TreeNodeId up = node; up != kNoNode; up = nodes_[up].parent) way.push_back(up);
  const TreeNodeId top = way.back();
  const auto position = std::find(topLevel_.begin(), topLevel_.end(), top) - topLevel_.begin();
  SaveItem item;
  item.partition = partitions.at(static_cast<size_t>(position)).get();
  item.entry = nodes_[node].entry;
  const std::string n = std::to_string(item.partition->number);
  item.displayPath = n + ":/";
  item.indexPath = n + "#";
  // way: the node, ..., the root's node, the volume's node; the root has no path of its own.
  // The index is the entry's among its parent's entries: a search's results show only some
  // of them as nodes.
  for (size_t i = way.size() < 2 ? 0 : way.size() - 2; i-- > 0;) {
    const TDirectoryEntry* parent = nodes_[way[i + 1]].entry;
    const TDirectoryEntry* child = nodes_[way[i]].entry;
    const auto found = std::find_if(parent->children.begin(), parent->children.end(),
                                    [child](const auto& owned) { return owned.get() == child; });
    const auto index = found - parent->children.begin();
    item.displayPath = ChildDisplayPath(item.displayPath, child->name);
    item.indexPath = ChildIndexPath(item.indexPath, static_cast<size_t>(index));
  }
  return item;
}

void BrowserFrame::FillInfo(TDirectoryEntry& entry) {
  InfoUpdate bracket(view_);
  view_.ClearInfo();
  entry.FillInfo(view_.InfoList());
  hashes_.FillInfo(entry, view_.InfoList());
}

// The hex dump of the entry's first bytes, and a picture or text preview of them.
void BrowserFrame::ShowData(TDirectoryEntry& entry) {
  uint32_t count = kDumpSize;
  ByteBuffer data = entry.GetData(count);
  const size_t delivered = std::min<size_t>(count, data.size());
  view_.SetHexText(FormatHexDump(data.data(), delivered));
  PreviewDecision decision = DecidePreview(data.data(), delivered);
  switch (decision.kind) {
    case PreviewKind::kNone:
      view_.ShowScrollImage(false);
      view_.ShowPreviewText(false);
      break;
    case PreviewKind::kPicture:
      data = ByteBuffer();  // the picture is read again, whole
      ShowPicture(entry, decision.picture->format);
      break;
    case PreviewKind::kText:
      ShowText(decision.text);
      break;
  }
}

void BrowserFrame::ShowPicture(TDirectoryEntry& entry, PictureFormat format) {
  uint32_t count = kPictureSize;
  const ByteBuffer picture = entry.GetData(count);
  if (view_.LoadPicture(format, picture.data(), std::min<size_t>(count, picture.size()))) {
    view_.ShowScrollImage(true);
    view_.ShowPreviewText(false);
  } else {
    ShowText(kCannotPreviewText);
  }
}

void BrowserFrame::ShowText(const std::string& text) {
  view_.SetPreviewText(text);
  view_.ShowPreviewText(true);
  view_.ShowScrollImage(false);
}

void BrowserFrame::Zoom(double factor) { view_.SetPreviewSize(ZoomedSize(view_.PreviewSize(), factor)); }
