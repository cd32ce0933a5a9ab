#include "platform/qt/QtServices.h"

#include <algorithm>
#include <limits>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QProgressDialog>

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

// The dialog of one operation. It stays hidden for the first moment; once shown, the event loop
// runs at most every 50 ms, enough to repaint and to see a click on Cancel without slowing the
// operation down.
class DialogReport final : public ProgressReport {
 public:
  DialogReport(QWidget* owner, const std::string& label, int showAfterMs)
      : label_(QString::fromStdString(label)), showAfterMs_(showAfterMs), dialog_(label_, QCoreApplication::translate("Progress", "取消"), 0, kSteps, owner) {
    dialog_.setWindowTitle(QApplication::applicationDisplayName());
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setAutoClose(false);
    dialog_.setAutoReset(false);
    dialog_.setMinimumDuration(std::numeric_limits<int>::max());  // shown by Update, not by its own timer
    dialog_.setMinimumWidth(360);
    started_.start();
  }

  bool Update(uint64_t done, uint64_t total) override {
    if (dialog_.isHidden()) {
      if (started_.elapsed() < showAfterMs_) return true;
      dialog_.show();
    }
    if (total == 0) {
      dialog_.setRange(0, 0);  // length not known: a busy bar
    } else {
      dialog_.setValue(static_cast<int>(std::min(done, total) * kSteps / total));
    }
    const QLocale locale;
    QString amount = locale.formattedDataSize(static_cast<qint64>(done));
    if (total != 0) amount += " of " + locale.formattedDataSize(static_cast<qint64>(total));
    dialog_.setLabelText(label_ + "\n" + amount);
    if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= 50) {
      QApplication::processEvents();
      sinceEvents_.start();
    }
    return !dialog_.wasCanceled();
  }

 private:
  static constexpr int kSteps = 1000;
  QString label_;
  int showAfterMs_;
  QProgressDialog dialog_;
  QElapsedTimer started_;
  QElapsedTimer sinceEvents_;
};

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

std::unique_ptr<ProgressReport> QtProgress::Begin(const std::string& label) {
  QWidget* owner = owner_ != nullptr ? owner_ : QApplication::activeWindow();
  return std::make_unique<DialogReport>(owner, label, showAfterMs_);
}

void QtWaitCursor::Show() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void QtWaitCursor::Restore() { QApplication::restoreOverrideCursor(); }

QtPlatformServices::QtPlatformServices(QWidget* owner)
    : folderDialog_(owner),
      progress_(owner),
      messageBoxGuard_(messageBox_),
      folderDialogGuard_(FolderDialogSlot(), folderDialog_),
      waitCursorGuard_(WaitCursorSlot(), waitCursor_),
      progressGuard_(ProgressSlot(), progress_) {}
