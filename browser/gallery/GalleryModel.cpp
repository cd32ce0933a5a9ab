#include "browser/gallery/GalleryModel.h"

#include <QLocale>
#include <QPainter>

#include <utility>

namespace {

QColor MarkColour(PictureState state) {
  switch (state) {
    case PictureState::kWhole: return QColor(0x3a, 0x9a, 0x3a);
    case PictureState::kDamaged: return QColor(0xd0, 0x30, 0x20);
    case PictureState::kUnreadable: return QColor(0x80, 0x80, 0x80);
    case PictureState::kUnknown: break;
  }
  return QColor(0xc8, 0xc8, 0xc8);
}

}  // namespace

GalleryModel::GalleryModel(int side, QObject* parent) : QAbstractListModel(parent), side_(side) {
  cache_.setMaxCost(kCacheKiB);
}

void GalleryModel::SetPictures(std::vector<GalleryPicture> pictures) {
  beginResetModel();
  cache_.clear();
  rows_.clear();
  rows_.reserve(pictures.size());
  for (GalleryPicture& picture : pictures) {
    Row row;
    row.picture = std::move(picture);
    row.text = Caption(row);
    rows_.push_back(std::move(row));
  }
  endResetModel();
}

void GalleryModel::SetThumbnail(int row, Thumbnail thumbnail) {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  Row& r = rows_[static_cast<size_t>(row)];
  r.state = thumbnail.state;
  r.text = Caption(r);
  if (!thumbnail.image.isNull()) {
    auto pixmap = std::make_unique<QPixmap>(Framed(thumbnail.image, thumbnail.state));
    const int cost = std::max(1, pixmap->width() * pixmap->height() * 4 / 1024);
    cache_.insert(row, pixmap.release(), cost);
  } else {
    cache_.remove(row);
  }
  const QModelIndex changed = index(row);
  emit dataChanged(changed, changed);
}

bool GalleryModel::NeedsThumbnail(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return false;
  const PictureState state = rows_[static_cast<size_t>(row)].state;
  return state != PictureState::kUnknown && state != PictureState::kUnreadable && !cache_.contains(row);
}

std::vector<int> GalleryModel::TickedRows() const {
  std::vector<int> ticked;
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].ticked) ticked.push_back(static_cast<int>(i));
  }
  return ticked;
}

int GalleryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant GalleryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size()) return {};
  const Row& row = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole: return row.text;
    case Qt::ToolTipRole: return QString::fromStdString(row.picture.item.displayPath);
    case Qt::DecorationRole:
      if (const QPixmap* pixmap = cache_.object(index.row())) return *pixmap;
      return Placeholder(row.state);
    case Qt::CheckStateRole: return row.ticked ? Qt::Checked : Qt::Unchecked;
    case kStateRole: return static_cast<int>(row.state);
    default: return {};
  }
}

bool GalleryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::CheckStateRole || static_cast<size_t>(index.row()) >= rows_.size()) return false;
  rows_[static_cast<size_t>(index.row())].ticked = value.toInt() == Qt::Checked;
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

Qt::ItemFlags GalleryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

// The name; the size and how the picture is known; when it was modified; whether it is whole.
// Every caption has four lines: the list takes the size of the first for all.
QString GalleryModel::Caption(const Row& row) const {
  QString origin;
  switch (row.picture.origin) {
    case EntryOrigin::kLive: origin = tr("现存"); break;
    case EntryOrigin::kDeleted: origin = tr("已删除"); break;
    case EntryOrigin::kLost: origin = tr("丢失"); break;
    case EntryOrigin::kFound: origin = tr("找到"); break;
  }
  const QString size = QLocale().formattedDataSize(static_cast<qint64>(row.picture.size));
  QString caption = QString::fromStdString(row.picture.name) + '\n' + size + QStringLiteral(" · ") + origin + '\n' +
                    QString::fromStdString(row.picture.modified);
  switch (row.state) {
    case PictureState::kUnknown: return caption + '\n' + tr("正在载入");
    case PictureState::kWhole: return caption + '\n' + tr("完好");
    case PictureState::kDamaged: return caption + '\n' + tr("损坏");
    case PictureState::kUnreadable: return caption + '\n' + tr("无法读取");
  }
  return caption;
}

QPixmap GalleryModel::Framed(const QImage& image, PictureState state) const {
  const int frame = 3;
  QPixmap pixmap(side_ + 2 * frame, side_ + 2 * frame);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  const QSize shown = image.size().scaled(side_, side_, Qt::KeepAspectRatio).boundedTo(image.size());
  const QRect target((pixmap.width() - shown.width()) / 2, (pixmap.height() - shown.height()) / 2,
                     shown.width(), shown.height());
  if (state != PictureState::kWhole) painter.fillRect(target.adjusted(-frame, -frame, frame, frame), MarkColour(state));
  painter.drawImage(target, image);
  if (state == PictureState::kDamaged) {
    // A badge in the corner, seen also on a small thumbnail.
    const int badge = std::max(12, side_ / 6);
    const QRect corner(pixmap.width() - badge - 1, 1, badge, badge);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(MarkColour(state));
    painter.setPen(Qt::white);
    painter.drawEllipse(corner);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(badge * 3 / 4);
    painter.setFont(font);
    painter.drawText(corner, Qt::AlignCenter, QStringLiteral("!"));
  }
  return pixmap;
}

const QPixmap& GalleryModel::Placeholder(PictureState state) const {
  QPixmap& placeholder = placeholders_[static_cast<int>(state)];
  if (placeholder.isNull()) {
    const int frame = 3;
    placeholder = QPixmap(side_ + 2 * frame, side_ + 2 * frame);
    placeholder.fill(Qt::transparent);
    QPainter painter(&placeholder);
    const QRect box = placeholder.rect().adjusted(frame + side_ / 8, frame + side_ / 8, -frame - side_ / 8, -frame - side_ / 8);
    painter.fillRect(box, QColor(0xe8, 0xe8, 0xe8));
    painter.setPen(QPen(MarkColour(state), 2));
    painter.drawRect(box);
    if (state == PictureState::kUnreadable) {
      painter.drawLine(box.topLeft(), box.bottomRight());
      painter.drawLine(box.topRight(), box.bottomLeft());
    }
  }
  return placeholder;
}

void GalleryFilter::SetWholeOnly(bool wholeOnly) {
  if (wholeOnly_ == wholeOnly) return;
  wholeOnly_ = wholeOnly;
  invalidateFilter();
}

void GalleryFilter::StatesChanged() {
  if (wholeOnly_) invalidateFilter();
}

bool GalleryFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
  if (!wholeOnly_) return true;
  const int state = sourceModel()->index(sourceRow, 0, sourceParent).data(GalleryModel::kStateRole).toInt();
  return state == static_cast<int>(PictureState::kWhole) || state == static_cast<int>(PictureState::kUnknown);
}
