#include "platform/qt/QtServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// The arrow while a box waits for an answer, also when a long operation shows the busy cursor.
class ArrowWhileAsking {
 public:
  ArrowWhileAsking() : active_(QApplication::overrideCursor() != nullptr) {
    if (active_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileAsking() {
    if (active_) QApplication::restoreOverrideCursor();
  }
  ArrowWhileAsking(const ArrowWhileAsking&) = delete;
  ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

 private:
  bool active_;
};

struct BoxStyle {
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
};

BoxStyle StyleOf(unsigned flags) {
  switch (flags) {
    case kMbAbortRetryIgnoreWarning:
      return {QMessageBox::Warning, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore};
    case kMbYesNoQuestion: return {QMessageBox::Question, QMessageBox::Yes | QMessageBox::No};
    default: return {QMessageBox::Warning, QMessageBox::Ok};
  }
}

int ResultOf(int button) {
  switch (button) {
    case QMessageBox::Abort: return kIdAbort;
    case QMessageBox::Retry: return kIdRetry;
    case QMessageBox::Ignore: return kIdIgnore;
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    default: return kIdOk;
  }
}

}  // namespace

int QtMessageBox::Show(const std::string& text, const std::string& caption, unsigned flags) {
  ArrowWhileAsking arrow;
  const BoxStyle style = StyleOf(flags);
  QMessageBox box(style.icon, QString::fromStdString(caption), QString::fromStdString(text), style.buttons,
                  QApplication::activeWindow());
  box.exec();
  QAbstractButton* pressed = box.clickedButton();
  return pressed != nullptr ? ResultOf(box.standardButton(pressed)) : UnansweredResult(flags);
}

std::optional<std::string> QtFolderDialog::ChooseFolder(const std::string& prompt) {
  ArrowWhileAsking arrow;
  QWidget* owner = owner_ != nullptr ? owner_ : QApplication::activeWindow();
  const QString folder = QFileDialog::getExistingDirectory(owner, QString::fromStdString(prompt), QString(),
                                                           QFileDialog::ShowDirsOnly);
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

void QtWaitCursor::Show() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtWaitCursor::Restore() { QApplication::restoreOverrideCursor(); }

QtPlatformServices::QtPlatformServices(QWidget* owner)
    : folderDialog_(owner),
      messageBoxGuard_(messageBox_),
      folderDialogGuard_(FolderDialogSlot(), folderDialog_),
      waitCursorGuard_(WaitCursorSlot(), waitCursor_) {}
