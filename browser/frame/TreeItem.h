#pragma once
// A node of treeFat: its caption and icon, and beside them an entry's size, modification time
// and state. The texts of those columns are made when the tree asks for them, for the rows it
// paints or sorts, not for every node as it is made: a search that shows 20,000 entries would
// otherwise make 60,000 texts before the first of them is seen. Folders sort before files,
// whichever way the tree is sorted, and sizes by their value.

#include <QString>
#include <QTreeWidgetItem>

#include <array>
#include <cstdint>
#include <memory>

#include "browser/BrowserFrame.h"

class IconSet;

// The columns of treeFat: the caption, then the size, modification time and state of an entry.
enum TreeColumn { kColumnCaption, kColumnSize, kColumnModified, kColumnState };
inline constexpr int kNodeRole = Qt::UserRole;        // on the caption: the node's TreeNodeId
inline constexpr int kFolderRole = Qt::UserRole + 1;  // on the caption: whether the node is a folder
inline constexpr int kSizeRole = Qt::UserRole + 2;    // on the size: the size as a number

// What the items of one tree share: its icons, and the words for the states in the window's
// language, by EntryOrigin. The items hold it with them: the tree deletes its items after the
// frame that made it is gone.
struct TreeItemLook {
  const IconSet* icons = nullptr;
  std::array<QString, 4> states;
};

class TreeItem final : public QTreeWidgetItem {
 public:
  // imageIndex: an index into imgFormats, or kNoImage for the tree's default.
  TreeItem(std::shared_ptr<const TreeItemLook> look, TreeNodeId node, const QString& caption, int imageIndex);

  void SetCaption(const QString& caption);
  // The entry's columns; a node without them (a volume) shows none.
  void SetDetails(const BrowserView::NodeDetails& details);

  QVariant data(int column, int role) const override;
  bool operator<(const QTreeWidgetItem& other) const override;

 private:
  QVariant DetailData(int column, int role) const;

  std::shared_ptr<const TreeItemLook> look_;
  TreeNodeId node_;
  QString caption_;
  int imageIndex_;
  bool detailed_ = false;
  bool folder_ = false;
  uint64_t size_ = 0;
  QString modified_;
  EntryOrigin origin_ = EntryOrigin::kLive;
};
