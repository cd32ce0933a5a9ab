#pragma once
// Selecting an entry of the browser's tree by its path, as clicks would, for the demos that
// take screenshots.

#include <QApplication>
#include <QTreeWidget>

#include "browser/Background.h"

// Selects "N:/DIR/NAME": the root of partition N, then each caption below it in turn ("..":
// the partition itself, for what lies beside the root), so that
// every directory on the way is read. A name not found while something runs in the background
// (the scan of a "Lost and found") is looked for again once it has ended. False when there is
// no such entry.
inline bool SelectEntry(QTreeWidget& tree, const QString& entry) {
  // "Lost and found" names a volume's lost-and-found node in any language, its caption being
  // the window's translation, followed by the state of its scan.
  const QString lostCaption = QCoreApplication::translate("TfrmFileSystem", "丢失和找到的文件");
  const auto childNamed = [&lostCaption](QTreeWidgetItem* parent, const QString& name) -> QTreeWidgetItem* {
    for (int i = 0; i < parent->childCount(); ++i) {
      const QString caption = parent->child(i)->text(0);
      if (caption == name) return parent->child(i);
      if (name == QLatin1String("Lost and found") && caption.startsWith(lostCaption)) return parent->child(i);
    }
    return nullptr;
  };
  const int colon = entry.indexOf(':');
  bool numbered = false;
  const int partition = entry.left(colon).toInt(&numbered);
  if (colon < 0 || !numbered || partition < 1 || partition > tree.topLevelItemCount()) return false;
  QTreeWidgetItem* item = tree.topLevelItem(partition - 1)->child(0);
  if (item == nullptr) return false;
  tree.setCurrentItem(item);
  for (const QString& name : entry.mid(colon + 1).split('/', Qt::SkipEmptyParts)) {
    // ".." climbs to the partition's node, where the nodes beside the root are.
    QTreeWidgetItem* next = name == QLatin1String("..") ? item->parent() : childNamed(item, name);
    while (next == nullptr && Background().Busy()) {
      QApplication::processEvents(QEventLoop::AllEvents, 50);
      if (!Background().Busy()) next = childNamed(item, name);
    }
    item = next;
    if (item == nullptr) return false;
    tree.setCurrentItem(item);
  }
  return true;
}
