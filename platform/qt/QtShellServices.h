#pragma once
// The desktop's file-open dialog and its handler of web addresses, for the main window and its
// about box. The window's start-up installs them for its lifetime with QtShellServices.

#include "platform/FileDialog.h"
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

// Installs the two for its lifetime.
class QtShellServices {
 public:
  QtShellServices();

 private:
  QtFileDialog fileDialog_;
  QtUrlOpener urlOpener_;
  ScopedService<FileDialogService> fileDialogGuard_;
  ScopedService<UrlOpenerService> urlOpenerGuard_;
};
