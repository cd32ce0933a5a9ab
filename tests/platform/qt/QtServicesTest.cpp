#include "platform/qt/QtServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

#include "support/TestFiles.h"

namespace {

// Runs answer on the modal dialog as soon as it is open.
void WhenModal(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    answer(dialog);
  });
}

TEST(QtServicesTest, MessageBoxesHaveTheButtonsOfTheirFlagsAndAnswerWithTheirResults) {
  struct Case {
    unsigned flags;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon;
    QMessageBox::StandardButton pressed;  // NoButton: Escape, then closed
    int result;
  } cases[] = {
      {kMbOkWarning, QMessageBox::Ok, QMessageBox::Warning, QMessageBox::Ok, kIdOk},
      {kMbAbortRetryIgnoreWarning, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
       QMessageBox::Warning, QMessageBox::Retry, kIdRetry},
      {kMbAbortRetryIgnoreWarning, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
       QMessageBox::Warning, QMessageBox::Ignore, kIdIgnore},
      {kMbAbortRetryIgnoreWarning, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
       QMessageBox::Warning, QMessageBox::NoButton, kIdAbort},
      {kMbYesNoQuestion, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::Yes, kIdYes},
      {kMbYesNoQuestion, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question, QMessageBox::NoButton, kIdNo},
  };
  QtMessageBox service;
  for (const Case& c : cases) {
    WhenModal([&c](QWidget* dialog) {
      auto* box = qobject_cast<QMessageBox*>(dialog);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(box->windowTitle(), "Caption");
      EXPECT_EQ(box->text(), "Text");
      EXPECT_EQ(box->standardButtons(), c.buttons);
      EXPECT_EQ(box->icon(), c.icon);
      if (c.pressed != QMessageBox::NoButton) {
        box->button(c.pressed)->click();
        return;
      }
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(box, &escape);
      box->reject();  // in case Escape did not close it
    });
    EXPECT_EQ(service.Show("Text", "Caption", c.flags), c.result) << c.flags;
  }
}

TEST(QtServicesTest, AnOpenBoxShowsTheArrowUnderABusyCursor) {
  QtMessageBox boxes;
  QtWaitCursor cursor;
  cursor.Show();
  Qt::CursorShape whileAsking = Qt::WaitCursor;
  WhenModal([&whileAsking](QWidget* dialog) {
    whileAsking = QApplication::overrideCursor()->shape();
    static_cast<QMessageBox*>(dialog)->button(QMessageBox::Ok)->click();
  });
  boxes.Show("Text", "Caption", kMbOkWarning);
  EXPECT_EQ(whileAsking, Qt::ArrowCursor);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  cursor.Restore();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtServicesTest, TheFolderDialogGivesTheChosenFolderOrNothing) {
  TempDir dir;
  QtFolderDialog dialog;
  WhenModal([](QWidget* open) { open->close(); });
  EXPECT_EQ(dialog.ChooseFolder("Prompt"), std::nullopt);

  WhenModal([&dir](QWidget* open) {
    auto* files = qobject_cast<QFileDialog*>(open);
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->windowTitle(), "Prompt");
    EXPECT_EQ(files->fileMode(), QFileDialog::Directory);
    files->selectFile(QString::fromStdString(dir.path()));
    static_cast<QDialog*>(files)->accept();
  });
  EXPECT_EQ(dialog.ChooseFolder("Prompt"), dir.path());
}

QProgressDialog* VisibleProgressDialog() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

TEST(QtServicesTest, ProgressAppearsOnlyAfterAMomentAndCancelStopsTheOperation) {
  QtProgress patient(nullptr, 60'000);
  {
    const std::unique_ptr<ProgressReport> quickSave = patient.Begin("Saving a.bin");
    EXPECT_TRUE(quickSave->Update(0, 4096));
    EXPECT_TRUE(quickSave->Update(4096, 4096));
    EXPECT_EQ(VisibleProgressDialog(), nullptr);
  }

  QtProgress immediate(nullptr, 0);
  std::unique_ptr<ProgressReport> save = immediate.Begin("Saving b.bin");
  EXPECT_TRUE(save->Update(2048, 4096));
  QProgressDialog* dialog = VisibleProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->value(), 500);
  EXPECT_TRUE(dialog->labelText().startsWith("Saving b.bin\n"));
  EXPECT_TRUE(dialog->labelText().contains(" of "));

  dialog->findChild<QPushButton*>()->click();
  EXPECT_FALSE(save->Update(3072, 4096));
  save.reset();
  EXPECT_EQ(VisibleProgressDialog(), nullptr);

  // A length not known yet shows a busy bar and the bytes so far.
  save = immediate.Begin("Saving folder");
  EXPECT_TRUE(save->Update(100, 0));
  dialog = VisibleProgressDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->maximum(), 0);
}

}  // namespace
