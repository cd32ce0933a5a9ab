#include "platform/qt/QtShellServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
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

QtShellServices::QtShellServices()
    : fileDialogGuard_(FileDialogSlot(), fileDialog_), urlOpenerGuard_(UrlOpenerSlot(), urlOpener_) {}
