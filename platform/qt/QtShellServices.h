#pragma once
// The desktop's file-open dialog, its handler of web addresses and the report of a save, for the main window and its
// about box. The window's start-up installs them for its lifetime with QtShellServices.

#include "platform/FileDialog.h"
#include "platform/SummaryBox.h"
#include "platform/UrlOpener.h"

class QWidget;

// QFileDialog, owned by the active window, starting in no particular folder.
class QtFileDialog final : public FileDialogService {
 public:
  std::optional<std::string> ChooseFileToOpen(const std::string& title,
                                              const std::vector<std::string>& nameFilters) override;
};

// QDesktopServices::openUrl: the desktop's default web browser.
class QtUrlOpener final : public UrlOpenerService {
 public:
  bool OpenUrl(const std::string& url) override;
};

// A QMessageBox with the details below a button that shows them, an OK button and one that
// opens the folder.
class QtSummaryBox final : public SummaryBoxService {
 public:
  bool Show(const std::string& caption, const std::string& text, const std::string& details) override;
};

// Installs the three for its lifetime.
class QtShellServices {
 public:
  QtShellServices();

 private:
  QtFileDialog fileDialog_;
  QtUrlOpener urlOpener_;
  QtSummaryBox summaryBox_;
  ScopedService<FileDialogService> fileDialogGuard_;
  ScopedService<UrlOpenerService> urlOpenerGuard_;
  ScopedService<SummaryBoxService> summaryBoxGuard_;
};
