#include "browser/BrowserFrame.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include "browser/Background.h"
#include "browser/HexView.h"
#include "browser/ImageIndex.h"
#include "platform/FolderDialog.h"
#include "platform/MessageBox.h"
#include "platform/WaitCursor.h"
#include "save/SaveEntry.h"
#include "scan/LostAndFound.h"

namespace {

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

int ImageOfState(int32_t state) {
  switch (state) {
    case kStateDirectory: return kImgDirectory;
    case kStateFile: return kImgFile;
    case kStateDeleted: return kImgDeleted;
    default: return kNoImage;
  }
}

}  // namespace

PictureSize ZoomedSize(PictureSize size, double factor) {
  const auto side = [factor](int pixels) {
    return static_cast<int>(std::min<double>(pixels * factor, std::numeric_limits<int>::max()));
  };
  return {side(size.width), side(size.height)};
}

BrowserFrame::~BrowserFrame() { Background().CancelAndWait(); }

void BrowserFrame::ScanPartitions(OpenedSource& source) {
  ClearPartitions();
  partitions = source.TakePartitions();
}

void BrowserFrame::ClearPartitions() {
  WaitCursor wait;
  // What runs in the background reads the entries that are about to go.
  Background().CancelAndWait();
  {
    TreeUpdate bracket(view_);
    ClearTree();
  }
  hashes_.Clear();
  for (auto& partition : partitions) partition.reset();
  partitions.clear();
  lastShownIndex = -1;
}

void BrowserFrame::FillTree() {
  TreeUpdate bracket(view_);
  ClearTree();
  for (const auto& partition : partitions) {
    const TreeNodeId node = AddNode(kNoNode, partition->GetDescription(), kImgPartition, nullptr);
    if (TDirectoryEntry* root = partition->rootEntry.get()) AddNode(node, root->name, kImgDirectory, root);
    // Opening it scans the volume's data area.
    AddLostAndFound(*partition);
    if (TDirectoryEntry* lost = partition->lostAndFound.get()) AddNode(node, lost->name, kImgDirectory, lost);
    view_.ExpandTreeNode(node);
  }
}

void BrowserFrame::treeFatChange() {
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected < 0 || static_cast<size_t>(selected) >= nodes_.size()) return;
  TDirectoryEntry* entry = nodes_[selected].entry;
  if (entry == nullptr) return;  // a partition node
  const int32_t index = AbsoluteIndex(selected);
  if (index == lastShownIndex) return;

  WaitCursor wait;
  EnsureChildren(*entry);
  if (nodes_[selected].children.empty()) AddChildNodes(selected);
  lastShownIndex = index;
  FillInfo(*entry);
  ShowData(*entry);
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
  TDirectoryEntry* entry = SelectedEntry();
  if (entry == nullptr) return;
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
  return node;
}

// One node per child the entry has read, in its order; a directory's nodes are made once.
void BrowserFrame::AddChildNodes(TreeNodeId node) {
  TreeUpdate bracket(view_);
  for (const auto& child : nodes_[node].entry->children) {
    AddNode(node, child->name, ImageOfState(child->state), child.get());
  }
  view_.ExpandTreeNode(node);
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
