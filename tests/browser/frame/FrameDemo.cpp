// brindle-frame-demo: the browser frame alone on a source, for looking at it and taking
// screenshots until the main window exists.
//
//   brindle-frame-demo [--sector-size N] [--select N:/DIR/NAME ...] [--page 0|1|2|3] [--save-to DIR]
//                      [--sort-by COLUMN [--descending]] SOURCE
//
// --select opens the entry's directories and selects it, as clicks in the tree would, and
// each further --select adds its entry to the selection, as Ctrl and a click would; --sort-by
// sorts the tree by a column (0 caption, 1 size, 2 time, 3 state) as a click on its header;
// --page shows the information (0), preview (1), gallery (2) or hex page (3); --save-to saves the selected
// entry into DIR a moment after the window appears, as the save button and the folder dialog
// would (to look at the progress of a long save).

#include <QApplication>
#include <QCommandLineParser>
#include <QHeaderView>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <optional>
#include <string>
#include <QTreeWidget>

#include "browser/ReadFaultQuestion.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/TfrmFileSystem.h"
#include "browser/frame/QtBackground.h"
#include "fs/OpenedSource.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/QtShellServices.h"
#include "support/qt/TreeSelect.h"

namespace {

class FixedFolder final : public FolderDialogService {
 public:
  explicit FixedFolder(std::string folder) : folder_(std::move(folder)) {}
  std::optional<std::string> ChooseFolder(const std::string& /*prompt*/) override { return folder_; }

 private:
  std::string folder_;
};

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
  const QCommandLineOption saveTo(QStringLiteral("save-to"), QStringLiteral("save the selected entry into DIR"),
                                  QStringLiteral("DIR"));
  const QCommandLineOption sortBy(QStringLiteral("sort-by"), QStringLiteral("column to sort the tree by"),
                                  QStringLiteral("COLUMN"));
  const QCommandLineOption descending(QStringLiteral("descending"), QStringLiteral("sort from the largest"));
  parser.addOptions({sectorSize, select, page, saveTo, sortBy, descending});
  parser.process(application);
  if (parser.positionalArguments().size() != 1) parser.showHelp(2);

  QtPlatformServices services;
  QtShellServices shell;
  const std::string path = parser.positionalArguments().front().toStdString();
  AskingFaultPolicy askOnFault;
  OpenSettings settings;
  settings.faultPolicy = &askOnFault;
  OpenFailure failure;
  const std::unique_ptr<OpenedSource> source =
      OpenedSource::Open(SourceFromPath(path, parser.value(sectorSize).toStdString()), settings, failure);
  if (!source) {
    if (!failure.text.empty()) ShowMessageBox(failure.text, kErrorCaption, kMbOkWarning);
    return 1;
  }
  if (source->partitions().empty()) {
    ShowMessageBox(source->NoPartitionsMessage(), kApplicationTitle, kMbOkWarning);
    return 1;
  }
  const IconSet icons;
  TfrmFileSystem frame(icons);
  QtBackground background(&frame);
  const ScopedService<BackgroundService> backgroundGuard(BackgroundSlot(), background);
  frame.setWindowTitle(QStringLiteral("Brindle"));
  frame.ScanPartitions(*source);
  frame.ShowSourceNotes(source->Notes("a sector size of "));
  frame.FillTree();
  frame.resize(frame.logicalDpiX() * 1000 / 96, frame.logicalDpiY() * 640 / 96);
  frame.show();
  auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
  for (const QString& entry : parser.values(select)) {
    const QList<QTreeWidgetItem*> before = tree->selectedItems();
    if (!SelectEntry(*tree, entry)) {
      ShowMessageBox("There is no entry " + entry.toStdString() + ".", kApplicationTitle, kMbOkWarning);
    }
    for (QTreeWidgetItem* item : before) item->setSelected(true);
  }
  if (parser.isSet(sortBy)) {
    const int column = parser.value(sortBy).toInt();
    tree->header()->setSortIndicator(column, parser.isSet(descending) ? Qt::DescendingOrder : Qt::AscendingOrder);
    emit tree->header()->sectionClicked(column);
  }
  frame.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(parser.value(page).toInt());
  std::optional<FixedFolder> folder;
  std::optional<ScopedService<FolderDialogService>> folderGuard;
  if (parser.isSet(saveTo)) {
    folder.emplace(parser.value(saveTo).toStdString());
    folderGuard.emplace(FolderDialogSlot(), *folder);
    QTimer::singleShot(500, &frame, [&frame] { frame.findChild<QToolButton*>(QStringLiteral("btnSave"))->click(); });
  }
  return QApplication::exec();
}
