#include "browser/frame/TreeItem.h"

#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>

#include <utility>

#include "browser/ImageIndex.h"
#include "browser/frame/IconSet.h"

TreeItem::TreeItem(std::shared_ptr<const TreeItemLook> look, TreeNodeId node, const QString& caption, int imageIndex)
    : look_(std::move(look)), node_(node), caption_(caption), imageIndex_(imageIndex) {}

void TreeItem::SetCaption(const QString& caption) {
  caption_ = caption;
  if (treeWidget() != nullptr) emitDataChanged();
}

void TreeItem::SetDetails(const BrowserView::NodeDetails& details) {
  detailed_ = true;
  folder_ = details.folder;
  size_ = details.folder ? 0 : details.size;
  modified_ = QString::fromStdString(details.modified);
  origin_ = details.origin;
  if (treeWidget() != nullptr) emitDataChanged();
}

QVariant TreeItem::data(int column, int role) const {
  if (column == kColumnCaption) {
    if (role == Qt::DisplayRole || role == Qt::EditRole) return caption_;
    if (role == kNodeRole) return node_;
    if (role == Qt::DecorationRole && imageIndex_ != kNoImage) return look_->icons->Format(imageIndex_);
    if (role == kFolderRole && detailed_) return folder_;
    return QTreeWidgetItem::data(column, role);
  }
  return detailed_ ? DetailData(column, role) : QTreeWidgetItem::data(column, role);
}

QVariant TreeItem::DetailData(int column, int role) const {
  switch (column) {
    case kColumnSize:
      if (folder_) return {};
      if (role == Qt::DisplayRole) return QLocale().toString(static_cast<qulonglong>(size_));
      if (role == kSizeRole) return static_cast<qulonglong>(size_);
      if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case kColumnModified:
      return role == Qt::DisplayRole ? QVariant(modified_) : QVariant();
    case kColumnState:
      return role == Qt::DisplayRole ? QVariant(look_->states.at(static_cast<size_t>(origin_))) : QVariant();
    default:
      return {};
  }
}

bool TreeItem::operator<(const QTreeWidgetItem& other) const {
  const QTreeWidget* tree = treeWidget();
  const bool folder = data(kColumnCaption, kFolderRole).toBool();
  const bool otherFolder = other.data(kColumnCaption, kFolderRole).toBool();
  if (folder != otherFolder) {
    // A descending sort puts b before a when a < b.
    const bool ascending = tree == nullptr || tree->header()->sortIndicatorOrder() == Qt::AscendingOrder;
    return ascending ? folder : otherFolder;
  }
  if (tree != nullptr && tree->sortColumn() == kColumnSize) {
    return data(kColumnSize, kSizeRole).toULongLong() < other.data(kColumnSize, kSizeRole).toULongLong();
  }
  return QTreeWidgetItem::operator<(other);
}
