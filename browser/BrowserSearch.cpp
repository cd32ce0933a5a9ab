// The frame's search: the tree filtered to what a query finds, and the whole tree given back.
// The walk runs in the background through the operations of browser/Background.h and touches
// nothing of the frame; its result comes back on the window's thread, where the tree is made of
// the entries found and the folders on their way. Meanwhile the tree reads no folder (walking_),
// for the walk reads them. Only one search walks at a time: a new query stops the running one
// and starts once it has ended.

#include <utility>
#include <vector>

#include "browser/Background.h"
#include "browser/BrowserFrame.h"
#include "browser/ImageIndex.h"

void BrowserFrame::Search(const SearchQuery& query) {
  if (!query.Active()) {
    DropSearches();
    if (filtered_) ShowWholeTree();
    return;
  }
  pendingSearch_ = query;
  if (searchStop_) {
    *searchStop_ = true;  // its end starts this one
    return;
  }
  StartPendingSearch();  // unless a save or a lost-and-found scan runs: its end starts it
}

void BrowserFrame::DropSearches() {
  pendingSearch_.reset();
  if (searchStop_) *searchStop_ = true;
}

void BrowserFrame::StartPendingSearch() {
  // The walk reads folders on the volumes' directory trails, which a save's walk and a
  // lost-and-found scan use too.
  if (!pendingSearch_ || searchStop_ || walking_ != 0 || LostScanRuns()) return;
  const SearchQuery query = *pendingSearch_;
  pendingSearch_.reset();
  std::vector<TPartition*> volumes;
  for (const auto& partition : partitions) volumes.push_back(partition.get());
  auto stop = std::make_shared<std::atomic<bool>>(false);
  auto result = std::make_shared<SearchResult>();
  searchStop_ = stop;
  ++walking_;
  Background().StartQuiet(
      "Searching for \"" + query.text + "\"",
      [volumes = std::move(volumes), query, stop, result](Operation& operation) {
        *result = SearchTree(volumes, query, operation, *stop);
      },
      [this, stop, result](Operation&) {
        --walking_;
        searchStop_.reset();
        // A search stopped for another, or for the tree's end, shows nothing.
        if (!result->stopped && !*stop) ShowSearchResults(*result);
        if (pendingSearch_) StartPendingSearch();
      });
}

void BrowserFrame::ShowSearchResults(const SearchResult& result) {
  if (!filtered_) {
    // What the whole tree had open, to open it again when the search is cleared.
    openedBefore_.clear();
    for (const Node& node : nodes_) {
      if (node.entry != nullptr && !node.children.empty()) openedBefore_.insert(node.entry);
    }
  }
  {
    TreeUpdate bracket(view_);
    ClearTree();
    std::vector<TreeNodeId> volumeNodes;
    std::vector<TreeNodeId> rootNodes;
    for (const auto& partition : partitions) {
      const TreeNodeId node = AddNode(kNoNode, partition->GetDescription(), kImgPartition, nullptr);
      volumeNodes.push_back(node);
      TDirectoryEntry* root = partition->rootEntry.get();
      rootNodes.push_back(root != nullptr ? AddEntryNode(node, *root) : kNoNode);
      view_.ExpandTreeNode(node);
    }
    // The hits come in the order of the walk, each folder's before those below it, so the
    // nodes made for the last hit's way are all a hit can share with it: kept as a path from
    // the folder the walk began at.
    const TDirectoryEntry* top = nullptr;
    std::vector<std::pair<const TDirectoryEntry*, TreeNodeId>> path;  // [0]: the top
    for (const SearchHit& hit : result.hits) {
      if (hit.top != top) {
        top = hit.top;
        const TDirectoryEntry* root = partitions.at(hit.partition)->rootEntry.get();
        const TreeNodeId topNode = hit.top == root ? rootNodes.at(hit.partition)
                                                   : AddEntryNode(volumeNodes.at(hit.partition), *hit.top);
        path.assign(1, {hit.top, topNode});
      }
      size_t shared = 0;
      while (shared < hit.way.size() && shared + 1 < path.size() && path[shared + 1].first == hit.way[shared]) ++shared;
      path.resize(shared + 1);
      for (size_t i = shared; i < hit.way.size(); ++i) {
        const TreeNodeId parent = path.back().second;
        // A folder on the way is opened when its first child node comes.
        if (nodes_[parent].children.empty()) view_.ExpandTreeNode(parent);
        path.emplace_back(hit.way[i], AddEntryNode(parent, *hit.way[i]));
      }
    }
  }
  filtered_ = true;
  lastShownIndex = -1;
  view_.ShowSearchCount(result.hits.size());
}

void BrowserFrame::ShowWholeTree() {
  const std::set<const TDirectoryEntry*> opened = std::move(openedBefore_);
  {
    TreeUpdate bracket(view_);
    FillTree();
    // Depth first from the top: a folder's child nodes are made before its children's.
    std::vector<TreeNodeId> pending(topLevel_.rbegin(), topLevel_.rend());
    while (!pending.empty()) {
      const TreeNodeId node = pending.back();
      pending.pop_back();
      const TDirectoryEntry* entry = nodes_[node].entry;
      if (entry != nullptr && opened.count(entry) != 0 && nodes_[node].children.empty() && !entry->children.empty()) {
        AddChildNodes(node);
      }
      const std::vector<TreeNodeId>& children = nodes_[node].children;
      pending.insert(pending.end(), children.rbegin(), children.rend());
    }
  }
  lastShownIndex = -1;
}
