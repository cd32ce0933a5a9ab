#include "app/DriveListView.h"

#include <QHeaderView>

#include "platform/qt/Widgets.h"

namespace {

constexpr int kIconSide = 48;
constexpr int kColumnWidth = 400;

}  // namespace

// The desktop theme's drive icons where it has them, else Brindle's own (app/icons/drives).
DriveIcons::DriveIcons() {
  const auto themed = [](const char* themeName, const char* ownName) {
    const QString own = QStringLiteral(":/drives/") + QString::fromLatin1(ownName);
    QIcon fallback(own + QStringLiteral(".png"));
    fallback.addFile(own + QStringLiteral("@2x.png"));
    return QIcon::fromTheme(QString::fromLatin1(themeName), fallback);
  };
  icons_[kDriveImageFloppy] = themed("media-floppy", "floppy");
  icons_[kDriveImageHardDisk] = themed("drive-harddisk", "harddisk");
  icons_[kDriveImageOptical] = themed("drive-optical", "optical");
  icons_[kDriveImageRemovable] = themed("drive-removable-media", "removable");
}

QIcon DriveIcons::Icon(int index) const {
  return index >= 0 && static_cast<size_t>(index) < icons_.size() ? icons_[static_cast<size_t>(index)] : QIcon();
}

DriveListView::DriveListView(const DriveIcons& icons, QWidget* parent) : QTreeWidget(parent), icons_(icons) {
  setColumnCount(1);
  setHeaderLabels({tr("驱动器信息")});
  header()->setStretchLastSection(true);
  header()->resizeSection(0, Scaled(this, kColumnWidth));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(Scaled(this, kIconSide), Scaled(this, kIconSide)));
  physicalMedia_ = AddGroup(kPhysicalMediaHeader);
  logicalDrives_ = AddGroup(kLogicalDrivesHeader);
}

QTreeWidgetItem* DriveListView::AddGroup(const char* header) {
  auto* group = new QTreeWidgetItem(this, QStringList{QString::fromLatin1(header)});
  group->setFlags(Qt::ItemIsEnabled);  // a heading, not a choice
  QFont bold = font();
  bold.setBold(true);
  group->setFont(0, bold);
  group->setForeground(0, palette().brush(QPalette::Highlight));
  group->setFirstColumnSpanned(true);
  group->setExpanded(true);
  group->setHidden(true);
  return group;
}

void DriveListView::SetEntries(const std::vector<DriveEntry>& entries) {
  qDeleteAll(physicalMedia_->takeChildren());
  qDeleteAll(logicalDrives_->takeChildren());
  for (const DriveEntry& entry : entries) {
    QTreeWidgetItem* group = entry.group == kGroupLogicalDrives ? logicalDrives_ : physicalMedia_;
    auto* item = new QTreeWidgetItem(group, QStringList{QString::fromStdString(entry.caption)});
    item->setIcon(0, icons_.Icon(entry.imageIndex));
    item->setData(0, kPathRole, QString::fromStdString(entry.devicePath));
    item->setData(0, kGroupRole, entry.group);
    item->setData(0, kImageRole, entry.imageIndex);
    // What else tells it apart (vendor and model, label), with the device file it opens.
    const std::string tip = entry.details.empty() ? entry.devicePath : entry.details + "\n" + entry.devicePath;
    item->setData(0, kDetailsRole, QString::fromStdString(entry.details));
    item->setToolTip(0, QString::fromStdString(tip));
  }
  physicalMedia_->setHidden(physicalMedia_->childCount() == 0);
  logicalDrives_->setHidden(logicalDrives_->childCount() == 0);
}

std::optional<DriveEntry> DriveListView::SelectedEntry() const {
  for (const QTreeWidgetItem* item : selectedItems()) {
    if (item->parent() == nullptr) continue;  // a group row
    DriveEntry entry;
    entry.caption = item->text(0).toStdString();
    entry.devicePath = item->data(0, kPathRole).toString().toStdString();
    entry.group = item->data(0, kGroupRole).toInt();
    entry.imageIndex = item->data(0, kImageRole).toInt();
    entry.details = item->data(0, kDetailsRole).toString().toStdString();
    return entry;
  }
  return std::nullopt;
}
