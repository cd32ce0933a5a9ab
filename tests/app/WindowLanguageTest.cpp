// The window's language: which one the user's languages pick, and the window, the about box and
// the browser frame shown in English without one Chinese character left, or in Chinese as their
// texts stand.

#include "app/WindowLanguage.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "app/TForm1.h"
#include "app/TfrmAbout.h"
#include "support/FakeSysfs.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"

namespace {

TEST(WindowLanguageTest, TheFirstLanguageTheWindowHasIsShownAndEnglishWhenItHasNone) {
  const struct {
    QStringList languages;
    WindowLanguage shown;
  } cases[] = {
      {{"zh-CN"}, WindowLanguage::kChinese},
      {{"zh-Hans-CN", "en-US"}, WindowLanguage::kChinese},
      {{"zh-TW"}, WindowLanguage::kChinese},
      {{"en-US"}, WindowLanguage::kEnglish},
      {{"en-GB", "zh-CN"}, WindowLanguage::kEnglish},
      {{"fr-FR", "zh-CN"}, WindowLanguage::kChinese},  // LANGUAGE=fr:zh_CN: no French, so Chinese
      {{"de-DE", "fr-FR"}, WindowLanguage::kEnglish},
      {{"C"}, WindowLanguage::kEnglish},
      {{}, WindowLanguage::kEnglish},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseWindowLanguage(c.languages), c.shown) << c.languages.join(u':').toStdString();
  }
}

// Every text a widget shows: captions, tab captions, column headers, tool tips, window titles.
QStringList TextsOf(const QWidget& root) {
  QStringList texts{root.windowTitle(), root.toolTip()};
  for (const QWidget* widget : root.findChildren<QWidget*>()) {
    texts << widget->toolTip();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) texts << label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) texts << button->text();
    if (const auto* tabs = qobject_cast<const QTabWidget*>(widget)) {
      for (int i = 0; i < tabs->count(); ++i) texts << tabs->tabText(i);
    }
    if (const auto* tree = qobject_cast<const QTreeWidget*>(widget)) {
      for (int i = 0; i < tree->columnCount(); ++i) texts << tree->headerItem()->text(i);
    }
    for (const QAction* action : widget->actions()) texts << action->text() << action->toolTip();
  }
  texts.removeAll(QString());
  return texts;
}

QStringList Chinese(const QStringList& texts) {
  return texts.filter(QRegularExpression(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]")));
}

struct ShownWindow {
  ShownWindow() {
    sysfs.Disk("sda", 312581808).Partition("sda", "sda1", 102400000, 1);
    MtoolsVolume volume(image);
    volume.Format("-F 12 -n SAMPLE", 1440);
    volume.Write("/HELLO.TXT", {'h', 'i'});
  }
  TempDir dir;
  FakeSysfs sysfs{dir};
  const std::string image = dir / "fat12.img";
  ScriptedMessageBox boxes;
};

TEST(WindowLanguageTest, InEnglishNoWindowTextIsLeftInChineseAndMessagesStayAsTheyAre) {
  ShownWindow shown;
  const WindowTranslation english(WindowLanguage::kEnglish);
  ASSERT_TRUE(english.installed()) << "the English translation is not built into the program";
  TForm1 form(shown.sysfs.root, shown.sysfs.devices);
  TfrmAbout about(&form);
  EXPECT_EQ(form.windowTitle(), "Brindle (English)");
  EXPECT_EQ(form.findChild<QAbstractButton*>(QStringLiteral("btnNext"))->text(), "Next");
  QStringList texts = TextsOf(form) + TextsOf(about);
  EXPECT_EQ(Chinese(texts), QStringList()) << "first page and about box";
  form.OpenImageFile(shown.image, "512");  // the browser frame on page 2
  EXPECT_EQ(Chinese(TextsOf(form)), QStringList()) << "browser frame";
  // Messages are not translated: they read the same in every locale.
  form.findChild<QAbstractButton*>(QStringLiteral("btnBack"))->click();
  form.OpenImageFile(shown.dir / "nothing.img", "512");
  ASSERT_EQ(shown.boxes.shown.size(), 1u);
  EXPECT_EQ(shown.boxes.shown[0].text, "Failed to open the file for reading:\nNo such file or directory");
}

TEST(WindowLanguageTest, InChineseTheWindowShowsItsTextsAsTheyStand) {
  ShownWindow shown;
  const WindowTranslation chinese(WindowLanguage::kChinese);
  TForm1 form(shown.sysfs.root, shown.sysfs.devices);
  EXPECT_EQ(form.windowTitle(), "Brindle（简体中文版）");
  EXPECT_EQ(form.findChild<QAbstractButton*>(QStringLiteral("btnNext"))->text(), "下一步");
  EXPECT_EQ(form.findChild<QTreeWidget*>(QStringLiteral("lstDrives"))->headerItem()->text(0), "驱动器信息");
  // The group headers are the design's English ones, in every locale.
  EXPECT_EQ(form.findChild<QTreeWidget*>(QStringLiteral("lstDrives"))->topLevelItem(0)->text(0), "Physical media");
}

}  // namespace
