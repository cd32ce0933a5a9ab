#pragma once
// lstDrives: the drive list of the first page, one column ("驱动器信息") with the entries
// under their group rows, "Physical media" above "Logical drives", each entry with its icon
// from ImageList2. An empty group is not shown. Each entry keeps its device path and group,
// which Next opens.

#include <QCoreApplication>
#include <QIcon>
#include <QTreeWidget>

#include <array>
#include <optional>
#include <vector>

#include "device/DriveList.h"

// ImageList2: the drive icons by DriveImage index, 48 pixels square at 96 dpi.
class DriveIcons {
 public:
  DriveIcons();
  QIcon Icon(int index) const;

 private:
  std::array<QIcon, 4> icons_;
};

class DriveListView final : public QTreeWidget {
  Q_DECLARE_TR_FUNCTIONS(DriveListView)

 public:
  // Item data of an entry.
  static constexpr int kPathRole = Qt::UserRole;
  static constexpr int kGroupRole = Qt::UserRole + 1;
  static constexpr int kImageRole = Qt::UserRole + 2;
  static constexpr int kDetailsRole = Qt::UserRole + 3;

  DriveListView(const DriveIcons& icons, QWidget* parent = nullptr);

  // Replaces every entry; the selection goes with the old ones.
  void SetEntries(const std::vector<DriveEntry>& entries);
  // The selected entry, if any.
  std::optional<DriveEntry> SelectedEntry() const;

 private:
  QTreeWidgetItem* AddGroup(const char* header);

  const DriveIcons& icons_;
  QTreeWidgetItem* physicalMedia_;
  QTreeWidgetItem* logicalDrives_;
};
