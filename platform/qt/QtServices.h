#pragma once
// The platform services on the desktop: message boxes with QMessageBox, the folder dialog with
// QFileDialog, the busy cursor as the application's override cursor, progress with
// QProgressDialog. The main window installs them for its lifetime with QtPlatformServices.

#include "platform/FolderDialog.h"
#include "platform/MessageBox.h"
#include "platform/Progress.h"
#include "platform/WaitCursor.h"

class QWidget;

// Boxes with the buttons and icon of the flags (48: OK and a warning; 50: Abort, Retry and
// Ignore with a warning; 36: Yes and No with a question), answered with the button's result.
// While a box is open the pointer is the normal arrow, even under a busy cursor.
class QtMessageBox final : public MessageBoxService {
 public:
  int Show(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The desktop's folder dialog, with the prompt as its title and no folder chosen at first.
class QtFolderDialog final : public FolderDialogService {
 public:
  explicit QtFolderDialog(QWidget* owner = nullptr) : owner_(owner) {}
  std::optional<std::string> ChooseFolder(const std::string& prompt) override;

 private:
  QWidget* owner_;  // the active window when null
};

class QtWaitCursor final : public WaitCursorService {
 public:
  void Show() override;
  void Restore() override;
};

// A QProgressDialog, modal to the window, that appears once the operation has run for
// showAfterMs (half a second: a quick save shows nothing), with the label, the bytes done and
// a Cancel button. While it is up, updates let the window repaint and the button be pressed.
class QtProgress final : public ProgressService {
 public:
  explicit QtProgress(QWidget* owner = nullptr, int showAfterMs = 500) : owner_(owner), showAfterMs_(showAfterMs) {}
  std::unique_ptr<ProgressReport> Begin(const std::string& label) override;

 private:
  QWidget* owner_;  // the active window when null
  int showAfterMs_;
};

// Installs the four for its lifetime.
class QtPlatformServices {
 public:
  explicit QtPlatformServices(QWidget* owner = nullptr);

 private:
  QtMessageBox messageBox_;
  QtFolderDialog folderDialog_;
  QtWaitCursor waitCursor_;
  QtProgress progress_;
  ScopedMessageBoxService messageBoxGuard_;
  ScopedService<FolderDialogService> folderDialogGuard_;
  ScopedService<WaitCursorService> waitCursorGuard_;
  ScopedService<ProgressService> progressGuard_;
};
