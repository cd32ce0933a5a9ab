#include "platform/qt/QtShellServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

std::optional<std::string> QtFileDialog::ChooseFileToOpen(const std::string& title,
                                                          const std::vector<std::string>& nameFilters) {
  QStringList filters;
  for (const std::string& filter : nameFilters) filters << QString::fromStdString(filter);
  QString selected = filters.value(0);
  const QString file = QFileDialog::getOpenFileName(QApplication::activeWindow(), QString::fromStdString(title),
                                                    QString(), filters.join(QStringLiteral(";;")), &selected);
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

bool QtUrlOpener::OpenUrl(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool QtSummaryBox::Show(const std::string& caption, const std::string& text, const std::string& details) {
  QMessageBox box(QMessageBox::Information, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, QApplication::activeWindow());
  box.setObjectName(QStringLiteral("boxSaveSummary"));
  if (!details.empty()) box.setDetailedText(QString::fromStdString(details));
  QPushButton* open = box.addButton(QCoreApplication::translate("SummaryBox", "打开文件夹"), QMessageBox::ActionRole);
  open->setObjectName(QStringLiteral("btnOpenFolder"));
  box.exec();
  return box.clickedButton() == open;
}

QtShellServices::QtShellServices()
    : fileDialogGuard_(FileDialogSlot(), fileDialog_),
      urlOpenerGuard_(UrlOpenerSlot(), urlOpener_),
      summaryBoxGuard_(SummaryBoxSlot(), summaryBox_) {}
