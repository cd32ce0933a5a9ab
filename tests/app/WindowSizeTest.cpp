// The main window on screens of several sizes: it opens with the design's size where that
// fits, else with what fits, and when it is resized the browser frame, its splitter and its
// pages follow.

#include <QApplication>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>

#include <gtest/gtest.h>

#include "app/TForm1.h"
#include "platform/qt/Widgets.h"
#include "support/FakeSysfs.h"
#include "support/FatImages.h"
#include "support/ScriptedMessageBox.h"

namespace {

std::string Text(QSize size) { return std::to_string(size.width()) + "x" + std::to_string(size.height()); }

TEST(WindowSizeTest, TheDesignsSizeWhereItFitsElseWhatFitsWithRoomForTheFrame) {
  const struct {
    QSize available;
    QSize minimum;
    const char* size;
  } cases[] = {
      {{1920, 1050}, {400, 300}, "715x583"},  // a desktop
      {{1366, 728}, {400, 300}, "715x583"},   // a laptop, panel taken off
      {{1024, 576}, {400, 300}, "715x518"},   // a netbook: the height gives way
      {{640, 480}, {400, 300}, "608x432"},
      {{640, 480}, {620, 460}, "620x460"},    // never below what the controls need
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(SizeOnScreen({715, 583}, c.minimum, c.available)), c.size) << Text(c.available);
  }
}

TEST(WindowSizeTest, TheWindowFitsItsScreenAndItsControlsFitASmallOne) {
  TempDir dir;
  FakeSysfs sysfs(dir);
  TForm1 form(sysfs.root, sysfs.devices);
  const QSize available = form.screen()->availableGeometry().size();
  EXPECT_LE(form.width(), available.width()) << Text(available);
  EXPECT_LE(form.height(), available.height()) << Text(available);
  // What the controls need leaves room on a 800 × 600 screen.
  EXPECT_LE(form.minimumSizeHint().width(), 760) << Text(form.minimumSizeHint());
  EXPECT_LE(form.minimumSizeHint().height(), 540) << Text(form.minimumSizeHint());
}

TEST(WindowSizeTest, TheFrameItsSplitterAndItsPagesFollowTheWindow) {
  TempDir dir;
  const std::string image = dir / "fat12.img";
  MtoolsVolume volume(image);
  volume.Format("-F 12 -n SAMPLE", 1440);
  ScriptedMessageBox boxes;
  FakeSysfs sysfs(dir);
  TForm1 form(sysfs.root, sysfs.devices);
  form.show();
  form.OpenImageFile(image, "512");
  auto* splitter = form.findChild<QSplitter*>(QStringLiteral("Splitter1"));
  auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
  auto* tree = form.findChild<QTabWidget*>(QStringLiteral("pageControlResults"));
  ASSERT_TRUE(splitter && pages && tree);

  const auto layOut = [&](QSize size) {
    form.resize(size);
    QApplication::processEvents();
    return std::make_pair(splitter->size(), pages->size());
  };
  const auto [smallSplitter, smallPages] = layOut({720, 520});
  const auto [largeSplitter, largePages] = layOut({1400, 900});
  EXPECT_GT(largeSplitter.width(), smallSplitter.width() + 600);
  EXPECT_GT(largeSplitter.height(), smallSplitter.height() + 300);
  // The pages take the width the window gains; the tree keeps its own.
  EXPECT_GT(largePages.width(), smallPages.width() + 600);
  EXPECT_GT(largePages.height(), smallPages.height() + 300);
  EXPECT_EQ(splitter->widget(0), tree);

  // Dragging the splitter hands width from the pages to the tree.
  const int treeWidth = tree->width();
  splitter->setSizes({treeWidth + 200, pages->width() - 200});
  QApplication::processEvents();
  EXPECT_EQ(tree->width(), treeWidth + 200);
  EXPECT_EQ(pages->width(), largePages.width() - 200);
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
