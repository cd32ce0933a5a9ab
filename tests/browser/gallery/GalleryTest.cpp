// The gallery page on a card made with mkfs.fat and mtools: live, deleted and found pictures,
// one deleted picture partly overwritten, pictures whose headers claim sizes no decoder should
// try, the filter, saving the ticked ones and opening one on the preview page. Also the
// thumbnails of single files and the order in which the queue hands out its rows.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QListView>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "browser/Background.h"
#include "browser/frame/IconSet.h"
#include "browser/frame/PreviewImage.h"
#include "browser/frame/QtBackground.h"
#include "browser/frame/TfrmFileSystem.h"
#include "browser/gallery/GalleryPage.h"
#include "browser/gallery/Thumbnail.h"
#include "browser/gallery/ThumbnailQueue.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/ScriptedServices.h"
#include "support/ScriptedShellServices.h"
#include "support/qt/Pictures.h"

namespace {

// A noisy photo-like JPEG from ImageMagick: its compressed data looks like a camera's.
Bytes PhotoJpeg(int seed, int width, int height) {
  TempDir dir;
  const std::string path = dir / "photo.jpg";
  RunCommand("convert -seed " + std::to_string(seed) + " -size " + std::to_string(width) + "x" +
             std::to_string(height) + " plasma:fractal -quality 92 " + ShellQuote(path));
  return ReadFileBytes(path);
}

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBe32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A real PNG whose header claims 100000 × 100000 pixels, its checksum made to match.
Bytes HugePng() {
  Bytes png = PictureFile("png", 64, 48);
  PutBe32(png, 16, 100000);
  PutBe32(png, 20, 100000);
  PutBe32(png, 29, Crc32(png.data() + 12, 17));
  return png;
}

// A real JPEG whose frame header claims 60000 × 60000 pixels.
Bytes HugeJpeg() {
  Bytes jpeg = PictureFile("jpg", 64, 48);
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

struct Card {
  std::string path;
  Bytes photo = PhotoJpeg(2, 480, 360);
  Bytes chart = PictureFile("png", 200, 150);
  Bytes gone = PhotoJpeg(3, 480, 360);
  Bytes cut = PhotoJpeg(4, 640, 480);
  Bytes holiday = PhotoJpeg(5, 480, 360);
};

// A card formatted once over an older one: the older picture lies in free space, found by its
// content; the newer tree holds live pictures, a deleted one, a deleted one whose middle
// another file's text overwrote, and two hostile headers.
const Card& SharedCard() {
  static TempDir dir;
  static Card card = [] {
    Card made;
    made.path = dir / "card.img";
    MtoolsVolume volume(made.path);
    volume.Format("-F 16 -n OLDCARD", 16384);
    volume.Write("/FILL.BIN", PatternBytes(3 << 20, 7));
    volume.Write("/HOLIDAY.JPG", made.holiday);
    RunCommand("mkfs.fat -F 16 -n CARD " + ShellQuote(made.path) + " >/dev/null");
    volume.MakeDirectory("/DCIM");
    volume.MakeDirectory("/DCIM/100CAM");
    volume.Write("/DCIM/100CAM/PHOTO.JPG", made.photo, "2024-07-01 10:00:00");
    volume.Write("/DCIM/100CAM/CHART.PNG", made.chart);
    volume.Write("/DCIM/100CAM/GONE.JPG", made.gone);
    volume.Write("/DCIM/100CAM/CUT.JPG", made.cut);
    volume.Write("/DCIM/HUGE.PNG", HugePng());
    volume.Write("/DCIM/HUGE.JPG", HugeJpeg());
    volume.Write("/NOTES.TXT", {'n', 'o', 't', 'e', 's'});
    volume.Delete("/DCIM/100CAM/GONE.JPG");
    volume.Delete("/DCIM/100CAM/CUT.JPG");
    // Text over 4 KiB in the middle of the deleted picture's clusters.
    Bytes image = ReadFileBytes(made.path);
    const auto found = std::search(image.begin(), image.end(), made.cut.begin(), made.cut.begin() + 1024);
    EXPECT_NE(found, image.end());
    const size_t middle = static_cast<size_t>(found - image.begin()) + made.cut.size() / 2 / 2048 * 2048;
    const std::string text = "Shopping list: bread, milk, apples, coffee, a new card for the camera. ";
    for (size_t i = 0; i < 4096; ++i) image[middle + i] = static_cast<uint8_t>(text[i % text.size()]);
    WriteFileBytes(made.path, image);
    return made;
  }();
  return card;
}

struct GalleryFixture : ::testing::Test {
  GalleryFixture() {
    frame.ScanPartitions(*source.opened);
    frame.FillTree();
    frame.resize(1000, 700);
    tree = frame.findChild<QTreeWidget*>(QStringLiteral("treeFat"));
    pages = frame.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    gallery = frame.findChild<GalleryPage*>(QStringLiteral("tsGallery"));
    list = frame.findChild<QListView*>(QStringLiteral("lstGallery"));
  }

  // The lost-and-found scan, then the whole volume on the gallery page.
  void ShowVolume() {
    QTreeWidgetItem* volume = tree->topLevelItem(0);
    tree->setCurrentItem(volume->child(1));  // "Lost and found": the scan runs
    // Under the window's background service the scan runs on its own thread; the volume's
    // folders are read once it has ended.
    QElapsedTimer limit;
    limit.start();
    while (Background().Busy() && limit.elapsed() < 60'000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    tree->setCurrentItem(volume);
    pages->setCurrentWidget(gallery);
    WaitForThumbnails();
  }

  void WaitForThumbnails() {
    QElapsedTimer limit;
    limit.start();
    while ((gallery->Loading() || Background().Busy()) && limit.elapsed() < 60'000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(gallery->Loading());
  }

  int RowEndingIn(const std::string& suffix) {
    GalleryModel& model = gallery->model();
    for (int row = 0; row < model.rowCount(); ++row) {
      const std::string& name = model.picture(row).name;
      if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) return row;
    }
    ADD_FAILURE() << "no picture named *" << suffix;
    return 0;
  }

  const Card& card = SharedCard();
  OpenSource source{card.path};
  IconSet icons;
  TfrmFileSystem frame{icons};
  QTreeWidget* tree = nullptr;
  QTabWidget* pages = nullptr;
  GalleryPage* gallery = nullptr;
  QListView* list = nullptr;
};

TEST_F(GalleryFixture, AVolumeShowsItsLiveDeletedAndFoundPicturesEachWithItsState) {
  ShowVolume();
  GalleryModel& model = gallery->model();
  struct Expected {
    EntryOrigin origin;
    PictureState state;
    uint64_t size;
  };
  const std::map<std::string, Expected> expected = {
      {"PHOTO.JPG", {EntryOrigin::kLive, PictureState::kWhole, card.photo.size()}},
      {"CHART.PNG", {EntryOrigin::kLive, PictureState::kWhole, card.chart.size()}},
      {"ONE.JPG", {EntryOrigin::kDeleted, PictureState::kWhole, card.gone.size()}},
      {"UT.JPG", {EntryOrigin::kDeleted, PictureState::kDamaged, card.cut.size()}},
      {"HUGE.PNG", {EntryOrigin::kLive, PictureState::kUnreadable, HugePng().size()}},
      {"HUGE.JPG", {EntryOrigin::kLive, PictureState::kUnreadable, HugeJpeg().size()}},
      {".jpg", {EntryOrigin::kFound, PictureState::kWhole, card.holiday.size()}},
  };
  EXPECT_EQ(model.rowCount(), static_cast<int>(expected.size()));  // NOTES.TXT is no picture
  for (const auto& [suffix, want] : expected) {
    const int row = RowEndingIn(suffix);
    SCOPED_TRACE(model.picture(row).name);
    EXPECT_EQ(model.picture(row).origin, want.origin);
    EXPECT_EQ(model.state(row), want.state);
    EXPECT_EQ(model.picture(row).size, want.size);
    // Whole and damaged pictures show what decodes, within the thumbnail's square; unreadable
    // ones show nothing decoded.
    const QPixmap shown = model.data(model.index(row), Qt::DecorationRole).value<QPixmap>();
    EXPECT_LE(shown.width(), model.side() + 6);
    EXPECT_EQ(model.HasThumbnail(row), want.state != PictureState::kUnreadable);
  }
  const QString caption = model.data(model.index(RowEndingIn("PHOTO.JPG")), Qt::DisplayRole).toString();
  EXPECT_TRUE(caption.contains("2024")) << caption.toStdString();
  EXPECT_TRUE(model.data(model.index(RowEndingIn("UT.JPG")), Qt::DisplayRole).toString().contains(QStringLiteral("损坏")));
}

TEST_F(GalleryFixture, TheFilterLeavesOutTheDamagedAndUnreadablePictures) {
  ShowVolume();
  QCheckBox* wholeOnly = frame.findChild<QCheckBox*>(QStringLiteral("chkWholeOnly"));
  ASSERT_NE(wholeOnly, nullptr);
  wholeOnly->setChecked(true);
  std::vector<std::string> shown;
  for (int row = 0; row < list->model()->rowCount(); ++row) {
    shown.push_back(list->model()->index(row, 0).data(Qt::DisplayRole).toString().section('\n', 0, 0).toStdString());
  }
  EXPECT_EQ(shown.size(), 4u);
  for (const std::string& name : shown) {
    EXPECT_EQ(name.find("UT.JPG"), std::string::npos);
    EXPECT_EQ(name.find("HUGE"), std::string::npos);
  }
  wholeOnly->setChecked(false);
  EXPECT_EQ(list->model()->rowCount(), 7);
}

TEST_F(GalleryFixture, AFolderShowsThePicturesOfTheFoldersBelowItOnly) {
  QTreeWidgetItem* root = tree->topLevelItem(0)->child(0);
  tree->setCurrentItem(root);
  QTreeWidgetItem* dcim = nullptr;
  for (int i = 0; i < root->childCount(); ++i) {
    if (root->child(i)->text(0) == "DCIM") dcim = root->child(i);
  }
  ASSERT_NE(dcim, nullptr);
  tree->setCurrentItem(dcim);  // not read below it: the gallery reads 100CAM itself
  pages->setCurrentWidget(gallery);
  WaitForThumbnails();
  EXPECT_EQ(gallery->model().rowCount(), 6);  // no found picture: it lies outside DCIM
}

TEST_F(GalleryFixture, TheTickedPicturesAreSavedWithTheSummary) {
  ShowVolume();
  GalleryModel& model = gallery->model();
  const int gone = RowEndingIn("ONE.JPG"), found = RowEndingIn(".jpg");
  model.setData(model.index(gone), Qt::Checked, Qt::CheckStateRole);
  model.setData(model.index(found), Qt::Checked, Qt::CheckStateRole);
  TempDir output;
  ScriptedFolderDialog folders;
  folders.answers.push_back(std::string(output.path()));
  RecordingSummaryBox summary;
  frame.findChild<QToolButton*>(QStringLiteral("btnSaveTicked"))->click();
  WaitForThumbnails();
  ASSERT_EQ(summary.shown.size(), 1u);
  std::map<std::string, Bytes> saved;
  for (const auto& file : std::filesystem::recursive_directory_iterator(output.path())) {
    if (file.is_regular_file()) saved[file.path().filename().string()] = ReadFileBytes(file.path());
  }
  ASSERT_EQ(saved.size(), 2u) << summary.shown.front().text;
  EXPECT_EQ(saved[model.picture(gone).name], card.gone);
  EXPECT_EQ(saved[model.picture(found).name], card.holiday);
}

TEST_F(GalleryFixture, ADoubleClickShowsThePictureOnThePreviewPage) {
  ShowVolume();
  const int row = RowEndingIn("PHOTO.JPG");
  const QModelIndex shown = list->model()->index(row, 0);
  ASSERT_EQ(shown.data(Qt::DisplayRole), gallery->model().index(row).data(Qt::DisplayRole));
  emit list->activated(shown);
  EXPECT_EQ(pages->currentWidget(), frame.findChild<QWidget*>(QStringLiteral("tsPreview")));
  const PreviewImage* preview = frame.findChild<PreviewImage*>(QStringLiteral("imgPreview"));
  EXPECT_EQ(preview->picture().size(), QSize(480, 360));
}

TEST_F(GalleryFixture, ThumbnailsAreMadeAwayFromTheWindowsThread) {
  QtBackground background{&frame, 0};
  ScopedService<BackgroundService> guard{BackgroundSlot(), background};
  ShowVolume();
  GalleryModel& model = gallery->model();
  for (int row = 0; row < model.rowCount(); ++row) EXPECT_NE(model.state(row), PictureState::kUnknown);
  EXPECT_EQ(model.state(RowEndingIn("UT.JPG")), PictureState::kDamaged);
  // Going back to the source page lets go of the pictures while nothing reads them.
  frame.ClearPartitions();
  EXPECT_EQ(model.rowCount(), 0);
}

// A JPEG with an EXIF thumbnail of another colour, put in by exiftool.
Bytes JpegWithExifThumbnail() {
  TempDir dir;
  const std::string main = dir / "main.jpg", small = dir / "small.jpg";
  WriteFileBytes(main, PictureFile("jpg", 800, 600));
  RunCommand("convert -size 160x120 xc:'#00ff00' " + ShellQuote(small));
  RunCommand("exiftool -q -overwrite_original '-ThumbnailImage<=" + small + "' " + ShellQuote(main));
  return ReadFileBytes(main);
}

TEST(Thumbnail, ComesFromTheEmbeddedCopyOrAScaledDecodeAndTellsWholeFromDamaged) {
  constexpr int kSide = 128;
  const Bytes jpeg = PictureFile("jpg", 800, 600);
  const Bytes exif = JpegWithExifThumbnail();
  const Bytes png = PictureFile("png", 300, 100);
  const Bytes halfJpeg(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  const Bytes halfPng(png.begin(), png.begin() + png.size() / 2);
  const Bytes text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
  struct Case {
    const char* what;
    const Bytes& bytes;
    uint64_t recorded;
    PictureState state;
    QSize size;    // (0, 0): nothing shown
    QRgb topLeft;  // roughly
  };
  const Case cases[] = {
      {"whole JPEG, decoded scaled", jpeg, jpeg.size(), PictureState::kWhole, {128, 96}, qRgb(255, 0, 0)},
      {"EXIF thumbnail", exif, exif.size(), PictureState::kWhole, {128, 96}, qRgb(0, 255, 0)},
      {"whole PNG", png, png.size(), PictureState::kWhole, {128, 42}, qRgb(255, 0, 0)},
      {"JPEG cut in half: its top decodes", halfJpeg, halfJpeg.size(), PictureState::kDamaged, {128, 96}, qRgb(255, 0, 0)},
      {"JPEG delivered shorter than recorded", jpeg, jpeg.size() + 4096, PictureState::kDamaged, {128, 96}, qRgb(255, 0, 0)},
      {"PNG cut in half: nothing shown", halfPng, halfPng.size(), PictureState::kDamaged, {0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Thumbnail thumbnail = MakeThumbnail(c.bytes.data(), c.bytes.size(), c.recorded, kSide);
    EXPECT_EQ(thumbnail.state, c.state);
    EXPECT_EQ(thumbnail.image.size(), c.size);
    if (thumbnail.image.isNull()) continue;
    const QRgb pixel = thumbnail.image.pixel(2, 2);
    EXPECT_NEAR(qRed(pixel), qRed(c.topLeft), 60);
    EXPECT_NEAR(qGreen(pixel), qGreen(c.topLeft), 60);
    EXPECT_NEAR(qBlue(pixel), qBlue(c.topLeft), 60);
  }
  for (const Bytes& refused : {HugePng(), HugeJpeg(), text, Bytes{}}) {
    const Thumbnail thumbnail = MakeThumbnail(refused.data(), refused.size(), refused.size(), kSide);
    EXPECT_EQ(thumbnail.state, PictureState::kUnreadable);
    EXPECT_TRUE(thumbnail.image.isNull());
  }
}

TEST(ThumbnailQueue, HandsOutTheRowsOnScreenFirstThenTheRestInOrder) {
  std::vector<TDirectoryEntry*> entries(6, nullptr);
  ThumbnailQueue queue;
  queue.Reset(entries);
  ASSERT_TRUE(queue.StartIfWaiting());
  EXPECT_FALSE(queue.StartIfWaiting());  // it runs already
  queue.Prefer({4, 5});
  std::vector<int> order;
  const auto take = [&] {
    const std::optional<ThumbnailQueue::Job> job = queue.Next();
    if (job) queue.Finish({job->generation, job->row, {}});
    return job ? job->row : -1;
  };
  for (int i = 0; i < 3; ++i) order.push_back(take());
  queue.Request(4);  // its thumbnail went from the cache
  while (true) {
    const int row = take();
    if (row < 0) break;
    order.push_back(row);
  }
  EXPECT_EQ(order, (std::vector<int>{4, 5, 0, 4, 1, 2, 3}));
  EXPECT_EQ(queue.Progress(), (std::pair<size_t, size_t>{6, 6}));
  EXPECT_EQ(queue.TakeMade().size(), 7u);
  // Once Next had nothing, new work may start; what the old generation makes is dropped.
  const int old = queue.generation();
  queue.Reset(entries);
  EXPECT_TRUE(queue.StartIfWaiting());
  queue.Finish({old, 1, {}});
  EXPECT_TRUE(queue.TakeMade().empty());
}

}  // namespace
