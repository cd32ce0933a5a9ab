#pragma once
// lstFileInfo: the file-information list that entries describe themselves into, as a tree
// widget with two columns whose rows stand under group rows ("Basic information") while group
// view is on, and at the top level while it is off.

#include <QTreeWidget>

#include <map>
#include <vector>

#include "fs/InfoList.h"

class IconSet;

class FileInfoList final : public QTreeWidget, public TInfoList {
 public:
  FileInfoList(const IconSet& icons, QWidget* parent = nullptr);

  void RemoveAllGroups() override;
  void EnableGroupView(bool enable) override;
  void InsertGroup(int groupId, const std::string& title) override;
  void AddInfoRow(const std::string& caption, const std::string& value, int imageIndex, int groupId) override;
  // Deletes every row; the groups stay.
  void DeleteAllRows();

 private:
  std::vector<QTreeWidgetItem*> TakeRows();
  void PlaceRow(QTreeWidgetItem* row);
  void Regroup();

  const IconSet& icons_;
  bool groupView_ = false;
  std::map<int, QTreeWidgetItem*> groups_;  // the group rows, by id
};
