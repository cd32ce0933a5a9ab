// The frame's side of the "Lost and found": its scan runs in the background (see
// browser/LostScanRun.h) and what it finds goes into the node and the tree on the window's
// thread, a batch at each poll.

#include <algorithm>

#include "browser/Background.h"
#include "browser/BrowserFrame.h"
#include "browser/LostScanRun.h"
#include "fs/Operation.h"

namespace {

std::string Amount(uint64_t bytes) {
  constexpr uint64_t kMiB = 1024 * 1024;
  return bytes >= 10 * kMiB ? std::to_string(bytes / kMiB) + " MiB" : std::to_string(bytes / 1024) + " KiB";
}

}  // namespace

std::string BrowserView::LostScanText(LostWords words) const {
  switch (words) {
    case LostWords::kCaption: return LostAndFoundNode::kCaption;
    case LostWords::kScanning: return " (scanning…)";
    case LostWords::kCancelled: return " (scan cancelled; F5 scans again)";
    case LostWords::kLabel: return "Scanning the lost and found";
  }
  return {};
}

std::string BrowserView::LostScanProgressText(uint64_t scanned, uint64_t total, uint64_t found) const {
  return Amount(scanned) + " of " + Amount(total) + " scanned, " + std::to_string(found) + " found";
}

void BrowserFrame::OpenLostAndFound(TreeNodeId node, LostAndFoundNode& entry) {
  const bool runs = std::any_of(lostScans_.begin(), lostScans_.end(), [&entry](const LostScan& scan) { return scan.entry == &entry; });
  if (entry.Scanned() || runs) return;
  StartLostScan(node, entry);
}

void BrowserFrame::StartLostScan(TreeNodeId node, LostAndFoundNode& entry) {
  // A save that walks folders may walk into the node; it is opened again after the save.
  if (walking_ != 0) return;
  entry.BeginScan();
  auto run = std::make_shared<LostScanRun>();
  lostScans_.push_back(LostScan{node, &entry, run});
  ShowLostCaption(node, entry);
  const SaveItem item = ItemOf(node);
  Background().Start(
      view_.LostScanText(BrowserView::LostWords::kLabel) + " (" + std::to_string(item.partition->number) + ":)",
      [&entry, run](Operation& operation) { RunLostScan(entry, *run, operation); },
      [this, run](Operation&) { FinishLostScan(run.get()); });
}

void BrowserFrame::PollLostScans() {
  for (const LostScan& scan : std::vector<LostScan>(lostScans_)) {
    DeliverLostScan(scan);
    if (Operation* operation = scan.run->operation) {
      operation->SetStatus(view_.LostScanProgressText(scan.run->scanned, scan.run->total, scan.run->found));
    }
  }
}

void BrowserFrame::DeliverLostScan(const LostScan& scan) {
  LostScanInbox::Batch batch = scan.run->inbox.Take();
  if (batch.empty()) return;
  LostAndFoundNode& entry = *scan.entry;
  const TreeUpdate bracket(view_);  // the batch's changes are painted at once
  for (auto& folder : batch.folders) {
    entry.AddLostFolder(std::move(folder));
    const size_t position = entry.totals().lostFolders - 1;
    InsertEntryNode(scan.node, position, *entry.children[position]);
  }
  for (const FoundFile& file : batch.files) {
    const LostAndFoundNode::Placed placed = entry.AddFoundFile(file);
    if (placed.newFolder) InsertEntryNode(scan.node, placed.index, *placed.folder);
    // A folder whose nodes are shown shows its new file too.
    const TreeNodeId folderNode = nodes_[scan.node].children.at(placed.index);
    if (placed.fileNode != nullptr && !nodes_[folderNode].children.empty()) {
      InsertEntryNode(folderNode, nodes_[folderNode].children.size(), *placed.fileNode);
    }
  }
  view_.ExpandTreeNode(scan.node);
}

void BrowserFrame::FinishLostScan(LostScanRun* run) {
  const auto at = std::find_if(lostScans_.begin(), lostScans_.end(), [run](const LostScan& scan) { return scan.run.get() == run; });
  if (at == lostScans_.end()) return;
  const LostScan scan = *at;
  lostScans_.erase(at);
  run->operation = nullptr;
  LostScanTotals totals;
  totals.cancelled = true;  // a scan that ended without totals failed part way
  if (run->totals) totals = *run->totals;
  if (ending_) {
    scan.entry->EndScan(totals);
    return;
  }
  DeliverLostScan(scan);
  scan.entry->EndScan(totals);
  ShowLostCaption(scan.node, *scan.entry);
  if (pendingSearch_) StartPendingSearch();  // a search typed while the scan ran
  view_.LostScanEnded();
  // The node, or a folder that waited for the scan, shown again with what it holds now.
  const TreeNodeId selected = view_.SelectedTreeNode();
  if (selected == scan.node || lastShownIndex == -1) {
    lastShownIndex = -1;
    treeFatChange();
  }
}

void BrowserFrame::ShowLostCaption(TreeNodeId node, const LostAndFoundNode& entry) {
  std::string caption = view_.LostScanText(BrowserView::LostWords::kCaption);
  if (entry.Running()) caption += view_.LostScanText(BrowserView::LostWords::kScanning);
  else if (entry.totals().cancelled) caption += view_.LostScanText(BrowserView::LostWords::kCancelled);
  view_.SetTreeNodeCaption(node, caption);
}

bool BrowserFrame::FolderReadable(TreeNodeId node, const TDirectoryEntry& entry) const {
  if (walking_ != 0) return false;
  if (dynamic_cast<const FoundFolder*>(&entry) != nullptr) return true;
  const TreeNodeId volume = VolumeNodeOf(node);
  return std::none_of(lostScans_.begin(), lostScans_.end(),
                      [&](const LostScan& scan) { return VolumeNodeOf(scan.node) == volume; });
}

TreeNodeId BrowserFrame::VolumeNodeOf(TreeNodeId node) const {
  while (node != kNoNode && nodes_[node].parent != kNoNode) node = nodes_[node].parent;
  return node;
}

bool BrowserFrame::WalksFolders(const std::vector<SaveItem>& items) {
  return std::any_of(items.begin(), items.end(),
                     [](const SaveItem& item) { return item.entry == nullptr || item.entry->IsFolder(); });
}
