// The about box: the version and legal notice come from the version table when its US English
// strings are there, the design-time texts stay otherwise; its links open their addresses and
// leave the box open.

#include "app/TfrmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/Links.h"
#include "support/ScriptedShellServices.h"
#include "support/qt/QtPrinters.h"

namespace {

QString Text(const TfrmAbout& box, const char* name) {
  const auto* label = box.findChild<QLabel*>(QString::fromLatin1(name));
  EXPECT_NE(label, nullptr) << name;
  return label != nullptr ? label->text() : QString();
}

TEST(AboutBoxTest, ShowsTheVersionAndNoticeOfTheUsEnglishTableOrKeepsItsOwn) {
  const TfrmAbout program;
  EXPECT_EQ(Text(program, "lblVersion").toStdString(), std::string("Version ") + BRINDLE_VERSION);
  EXPECT_TRUE(Text(program, "lblCopyright").contains("Brindle"));

  const VersionTable usEnglish({{"\\StringFileInfo\\040904E4\\FileVersion", "0.3.1.127"},
                                {"\\StringFileInfo\\040904E4\\LegalCopyright", "(c) 2024 Someone"}});
  const TfrmAbout shown(nullptr, usEnglish);
  EXPECT_EQ(Text(shown, "lblVersion"), "Version 0.3.1.127");
  EXPECT_EQ(Text(shown, "lblCopyright"), "(c) 2024 Someone");

  const VersionTable german({{"\\StringFileInfo\\040704E4\\FileVersion", "0.3.1.127"},
                             {"\\StringFileInfo\\040704E4\\LegalCopyright", "(c) 2024 Jemand"}});
  const TfrmAbout designTime(nullptr, german);
  EXPECT_EQ(Text(designTime, "lblVersion"), "版本 0.1.0");
  EXPECT_EQ(Text(designTime, "lblCopyright"), "版权所有 © Brindle 作者");
}

TEST(AboutBoxTest, ItsLinksOpenTheirAddressesAndTheBoxStaysOpen) {
  RecordingUrlOpener urls;
  auto* box = new TfrmAbout;  // it destroys itself when closed
  const QPointer<TfrmAbout> watch(box);
  box->show();
  for (const char* name : {"lblWebsiteLink", "Label4"}) {
    QLabel* link = box->findChild<QLabel*>(QString::fromLatin1(name));
    ASSERT_NE(link, nullptr) << name;
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    const QPointF centre = QRectF(link->rect()).center();
    QMouseEvent release(QEvent::MouseButtonRelease, centre, link->mapToGlobal(centre), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(link, &release);
  }
  EXPECT_EQ(urls.opened, (std::vector<std::string>{kWebsiteAddress, kDonateAddress}));
  EXPECT_TRUE(box->isVisible());
  box->findChild<QPushButton*>("btnOk")->click();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull());
}

}  // namespace
