#pragma once
// The browser's gallery page: a thumbnail of every picture of the selected folder and the
// folders below it, with its name, size, time and state; a filter that shows only the whole
// ones; the ticked (or else the selected) pictures saved with the save command; a double
// click shows a picture on the preview page. The thumbnails are made by one background
// operation (browser/Background.h) that reads through the tree's reader, the rows on screen
// first; the window's thread only takes what was made and never reads the medium for them.

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "browser/gallery/GalleryModel.h"
#include "browser/gallery/ThumbnailQueue.h"

class QCheckBox;
class QLabel;
class QListView;
class QToolBar;
class QToolButton;

class GalleryPage final : public QWidget {
  Q_DECLARE_TR_FUNCTIONS(GalleryPage)

 public:
  explicit GalleryPage(QWidget* parent = nullptr);
  ~GalleryPage() override;

  // Shows these pictures from now on, their thumbnails to come.
  void ShowPictures(std::vector<GalleryPicture> pictures);
  // Lets go of every picture: the entries are about to go. What runs in the background has
  // ended before (the frame waits for it).
  void Clear() { ShowPictures({}); }
  // Whether thumbnails are still waiting to be made or taken.
  bool Loading() const;
  // The pictures of this many rows have been looked at, of how many.
  std::pair<size_t, size_t> Progress() const { return queue_->Progress(); }
  GalleryModel& model() { return *model_; }

  // A picture double-clicked (or Enter pressed on it).
  std::function<void(TDirectoryEntry& entry)> onOpen;
  // The save command on the ticked pictures, or the selected ones where none is ticked.
  std::function<void(std::vector<SaveItem> items)> onSave;

  // Takes what the background made and asks for the rows on screen; the timer calls it.
  void TakeThumbnails();

 private:
  void btnSaveTickedClick();
  void chkWholeOnlyClick();
  void lstGalleryActivated(const QModelIndex& index);
  // The rows on screen go first, and those whose thumbnail left the cache are made again.
  void PreferVisible();
  void StartLoading();
  void ShowStatus();

  std::shared_ptr<ThumbnailQueue> queue_ = std::make_shared<ThumbnailQueue>();
  GalleryModel* model_;
  GalleryFilter* filter_;
  QToolBar* ToolBarGallery;
  QToolButton* btnSaveTicked;
  QCheckBox* chkWholeOnly;
  QLabel* lblGallery;
  QListView* lstGallery;
  QTimer timerThumbnails_;
};
