#include "browser/frame/FileInfoList.h"

#include "browser/frame/IconSet.h"

namespace {

// Item data: a row's group id; a group row is marked apart.
constexpr int kGroupIdRole = Qt::UserRole;
constexpr int kIsGroupRole = Qt::UserRole + 1;

bool IsGroup(const QTreeWidgetItem* item) { return item->data(0, kIsGroupRole).toBool(); }

}  // namespace

FileInfoList::FileInfoList(const IconSet& icons, QWidget* parent) : QTreeWidget(parent), icons_(icons) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void FileInfoList::RemoveAllGroups() {
  std::vector<QTreeWidgetItem*> rows = TakeRows();
  for (auto& [id, group] : groups_) delete group;
  groups_.clear();
  for (QTreeWidgetItem* row : rows) PlaceRow(row);
}

void FileInfoList::EnableGroupView(bool enable) {
  if (enable == groupView_) return;
  groupView_ = enable;
  Regroup();
}

void FileInfoList::InsertGroup(int groupId, const std::string& title) {
  if (groups_.count(groupId) != 0) return;
  auto* group = new QTreeWidgetItem(QStringList{QString::fromStdString(title)});
  group->setData(0, kIsGroupRole, true);
  group->setFlags(Qt::ItemIsEnabled);
  QFont bold = font();
  bold.setBold(true);
  group->setFont(0, bold);
  addTopLevelItem(group);
  group->setFirstColumnSpanned(true);
  group->setExpanded(true);
  groups_[groupId] = group;
  Regroup();
}

void FileInfoList::AddInfoRow(const std::string& caption, const std::string& value, int imageIndex, int groupId) {
  auto* row = new QTreeWidgetItem(QStringList{QString::fromStdString(caption), QString::fromStdString(value)});
  row->setIcon(0, icons_.Format(imageIndex));
  row->setData(0, kGroupIdRole, groupId);
  PlaceRow(row);
}

void FileInfoList::DeleteAllRows() {
  for (QTreeWidgetItem* row : TakeRows()) delete row;
}

// Takes every row out of the list, in display order, leaving the group rows.
std::vector<QTreeWidgetItem*> FileInfoList::TakeRows() {
  std::vector<QTreeWidgetItem*> rows;
  for (int i = 0; i < topLevelItemCount();) {
    QTreeWidgetItem* item = topLevelItem(i);
    if (IsGroup(item)) {
      for (QTreeWidgetItem* row : item->takeChildren()) rows.push_back(row);
      ++i;
    } else {
      rows.push_back(takeTopLevelItem(i));
    }
  }
  return rows;
}

// Puts a row under its group while group view is on and the group exists, else at the top.
void FileInfoList::PlaceRow(QTreeWidgetItem* row) {
  const auto group = groups_.find(row->data(0, kGroupIdRole).toInt());
  if (groupView_ && group != groups_.end()) {
    group->second->addChild(row);
  } else {
    addTopLevelItem(row);
  }
}

void FileInfoList::Regroup() {
  std::vector<QTreeWidgetItem*> rows = TakeRows();
  for (auto& [id, group] : groups_) group->setHidden(!groupView_);
  for (QTreeWidgetItem* row : rows) PlaceRow(row);
}
