// brindle-app-demo: the main window in a chosen state, for taking screenshots.
//
//   brindle-app-demo [--sysfs DIR --dev DIR] [--advanced IMAGE] [--open IMAGE [--sector-size N]
//                    [--select N:/DIR/NAME ... [--hash]] [--page 0|1|2|3] [--whole-only] [--search TEXT]] [--about]
//
// --sysfs and --dev point the drive list at a made-up tree; --advanced shows the "高级" page
// with IMAGE typed in; --open opens IMAGE as `brindle IMAGE` does, and --select and --page pick
// an entry and a page of the browser, as clicks would; --hash runs the tree menu's hash command
// on that entry; --whole-only ticks the gallery's filter; --search types TEXT into the search
// field above the tree; --about presses F1 once the window is up.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include "app/BrindleApplication.h"
#include "app/TForm1.h"
#include "app/WindowLanguage.h"
#include "platform/MessageBox.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/QtShellServices.h"
#include "support/qt/TreeSelect.h"

int main(int argc, char** argv) {
  BrindleApplication application(argc, argv);
  const WindowTranslation language(UserWindowLanguage());
  QCommandLineParser parser;
  parser.addHelpOption();
  const auto option = [&parser](const char* name, const char* help, const char* value, const char* byDefault = "") {
    QCommandLineOption made(QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value),
                            QString::fromLatin1(byDefault));
    parser.addOption(made);
    return made;
  };
  const QCommandLineOption sysfs = option("sysfs", "sysfs root of the drive list", "DIR", kSysfsRoot);
  const QCommandLineOption dev = option("dev", "folder of the device files", "DIR", kDeviceRoot);
  const QCommandLineOption advanced = option("advanced", "image typed on the advanced page", "IMAGE");
  const QCommandLineOption open = option("open", "image to open", "IMAGE");
  const QCommandLineOption sectorSize = option("sector-size", "sector size of the image", "N", "512");
  const QCommandLineOption select = option("select", "entry to select, N:/DIR/NAME; several in turn", "ENTRY");
  const QCommandLineOption page = option("page", "browser page: 0, 1, 2 or 3", "PAGE", "0");
  const QCommandLineOption search = option("search", "text typed into the search field", "TEXT");
  const QCommandLineOption about(QStringLiteral("about"), QStringLiteral("open the about box"));
  parser.addOption(about);
  const QCommandLineOption hash(QStringLiteral("hash"), QStringLiteral("hash the selected entry"));
  parser.addOption(hash);
  const QCommandLineOption wholeOnly(QStringLiteral("whole-only"), QStringLiteral("gallery: only the whole pictures"));
  parser.addOption(wholeOnly);
  parser.process(application);

  QtPlatformServices services;
  QtShellServices shell;
  TForm1 form(parser.value(sysfs).toStdString(), parser.value(dev).toStdString());
  form.show();
  if (parser.isSet(advanced)) {
    form.findChild<QTabWidget*>(QStringLiteral("pageControlDrives"))->setCurrentIndex(1);
    form.findChild<QLineEdit*>(QStringLiteral("txtImageFile"))->setText(parser.value(advanced));
  }
  if (parser.isSet(open)) {
    form.OpenImageFile(parser.value(open).toStdString(), parser.value(sectorSize).toStdString());
    auto* tree = form.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
    // Several are selected in turn ("1:/../Lost and found", then "1:/.." for its volume).
    for (const QString& entry : parser.values(select)) {
      if (!SelectEntry(*tree, entry)) {
        ShowMessageBox("There is no entry " + entry.toStdString() + ".", kApplicationTitle, kMbOkWarning);
      }
    }
    if (parser.isSet(hash)) form.findChild<QAction*>(QStringLiteral("mnuHashFile"))->trigger();
    form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(parser.value(page).toInt());
    if (parser.isSet(search)) form.findChild<QLineEdit*>(QStringLiteral("edtSearch"))->setText(parser.value(search));
    if (parser.isSet(wholeOnly)) form.findChild<QCheckBox*>(QStringLiteral("chkWholeOnly"))->setChecked(true);
  }
  if (parser.isSet(about)) {
    QTimer::singleShot(500, &form, [&form] {
      QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
      QApplication::sendEvent(&form, &f1);
    });
  }
  return QApplication::exec();
}
