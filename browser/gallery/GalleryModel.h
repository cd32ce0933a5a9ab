#pragma once
// The gallery's pictures as a Qt list model: per row the picture's name, size, time and state
// as text, its thumbnail as decoration with a mark for its state, and a tick. The thumbnails
// live in a cache of bounded size: one that goes is made again when its row is shown again,
// while what was learnt of the picture's state stays. A proxy shows only the whole ones.

#include <QAbstractListModel>
#include <QCache>
#include <QCoreApplication>
#include <QPixmap>
#include <QSortFilterProxyModel>

#include <vector>

#include "browser/gallery/GalleryPictures.h"
#include "browser/gallery/Thumbnail.h"

class GalleryModel final : public QAbstractListModel {
  Q_DECLARE_TR_FUNCTIONS(GalleryModel)

 public:
  static constexpr int kStateRole = Qt::UserRole;  // the PictureState, as an int
  // Thumbnails are at most this many pixels wide and high, at 96 dpi.
  static constexpr int kThumbnailSide = 128;
  // The memory the thumbnails kept may take, in KiB.
  static constexpr int kCacheKiB = 48 * 1024;

  explicit GalleryModel(int side, QObject* parent = nullptr);

  void SetPictures(std::vector<GalleryPicture> pictures);
  void SetThumbnail(int row, Thumbnail thumbnail);
  const GalleryPicture& picture(int row) const { return rows_.at(static_cast<size_t>(row)).picture; }
  PictureState state(int row) const { return rows_.at(static_cast<size_t>(row)).state; }
  // Whether the row's state is known but its thumbnail has left the cache.
  bool NeedsThumbnail(int row) const;
  bool HasThumbnail(int row) const { return cache_.contains(row); }
  std::vector<int> TickedRows() const;
  int side() const { return side_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Row {
    GalleryPicture picture;
    PictureState state = PictureState::kUnknown;
    bool ticked = false;
    QString text;  // the caption under the thumbnail
  };

  QString Caption(const Row& row) const;
  // The thumbnail on a square of the thumbnail's side, framed in the colour of its state.
  QPixmap Framed(const QImage& image, PictureState state) const;
  const QPixmap& Placeholder(PictureState state) const;

  int side_;
  std::vector<Row> rows_;
  QCache<int, QPixmap> cache_;  // by row; cost in KiB
  mutable QPixmap placeholders_[4];
};

// The rows of a GalleryModel, all or only the whole ones (and those not looked at yet).
class GalleryFilter final : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;
  void SetWholeOnly(bool wholeOnly);
  bool wholeOnly() const { return wholeOnly_; }
  // The states changed: the rows shown are decided again.
  void StatesChanged();

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  bool wholeOnly_ = false;
};
