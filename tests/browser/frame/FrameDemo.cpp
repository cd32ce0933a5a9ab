// brindle-frame-demo: the browser frame alone on a source, for looking at it and taking
// screenshots until the main window exists.
//
//   brindle-frame-demo [--sector-size N] [--select N:/DIR/NAME] [--page 0|1|2] SOURCE
//
// --select opens the entry's directories and selects it, as clicks in the tree would;
// --page shows the information (0), preview (1) or hex page (2).

#include <QApplication>
#include <QCommandLineParser>
#include <QTabWidget>
#include <QTreeWidget>

#include "browser/frame/IconSet.h"
#include "browser/frame/TfrmFileSystem.h"
#include "fs/Discovery.h"
#include "fs/Source.h"
#include "platform/qt/QtServices.h"

namespace {

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const QString& name) {
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i)->text(0) == name) return parent->child(i);
  }
  return nullptr;
}

// Selects "N:/DIR/NAME": the root of partition N, then each name below it in turn.
bool SelectEntry(QTreeWidget& tree, const QString& entry) {
  const int colon = entry.indexOf(':');
  bool numbered = false;
  const int partition = entry.left(colon).toInt(&numbered);
  if (colon < 0 || !numbered || partition < 1 || partition > tree.topLevelItemCount()) return false;
  QTreeWidgetItem* item = tree.topLevelItem(partition - 1)->child(0);
  if (item == nullptr) return false;
  tree.setCurrentItem(item);
  for (const QString& name : entry.mid(colon + 1).split('/', Qt::SkipEmptyParts)) {
    item = ChildNamed(item, name);
    if (item == nullptr) return false;
    tree.setCurrentItem(item);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindle"));
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addPositionalArgument(QStringLiteral("SOURCE"), QStringLiteral("disk image file or block device"));
  const QCommandLineOption sectorSize(QStringLiteral("sector-size"), QStringLiteral("sector size of an image"),
                                      QStringLiteral("N"), QStringLiteral("512"));
  const QCommandLineOption select(QStringLiteral("select"), QStringLiteral("entry to select, N:/DIR/NAME"),
                                  QStringLiteral("ENTRY"));
  const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("page to show: 0, 1 or 2"),
                                QStringLiteral("PAGE"), QStringLiteral("0"));
  parser.addOptions({sectorSize, select, page});
  parser.process(application);
  if (parser.positionalArguments().size() != 1) parser.showHelp(2);

  QtPlatformServices services;
  TSectorReader reader;
  ReaderRef readerRef{&reader};
  const IconSet icons;
  TfrmFileSystem frame(&readerRef, icons);
  frame.setWindowTitle(QStringLiteral("Brindle"));
  const std::string source = parser.positionalArguments().front().toStdString();
  if (!OpenSource(reader, SourceFromPath(source, parser.value(sectorSize).toStdString()))) return 1;
  frame.ScanPartitions();
  if (frame.partitions().empty()) {
    const std::string hint = DescribeUnreadTable(&readerRef);
    ShowMessageBox(kNoPartitionsMessage + (hint.empty() ? "" : "\n" + hint), kApplicationTitle, kMbOkWarning);
    return 1;
  }
  frame.FillTree();
  frame.resize(frame.logicalDpiX() * 1000 / 96, frame.logicalDpiY() * 640 / 96);
  frame.show();
  auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
  if (parser.isSet(select) && !SelectEntry(*tree, parser.value(select))) {
    ShowMessageBox("There is no entry " + parser.value(select).toStdString() + ".", kApplicationTitle, kMbOkWarning);
  }
  frame.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(parser.value(page).toInt());
  return QApplication::exec();
}
