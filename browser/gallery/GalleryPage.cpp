#include "browser/gallery/GalleryPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

#include "browser/Background.h"
#include "device/SectorReader.h"
#include "fs/Partition.h"
#include "platform/qt/Widgets.h"

namespace {

// A picture's data is read whole for its structure and its decode, up to this much: a camera
// raw file keeps its preview well before.
constexpr uint32_t kMostPictureBytes = 64u << 20;

// Makes the thumbnails the queue gives, until it has none or the operation is cancelled.
void MakeThumbnails(ThumbnailQueue& queue, int side, Operation& operation) {
  while (!operation.Cancelled()) {
    const std::optional<ThumbnailQueue::Job> job = queue.Next();
    if (!job) return;
    TDirectoryEntry& entry = *job->entry;
    std::optional<ReadSession> session;
    if (entry.readerRef != nullptr && entry.readerRef->reader != nullptr) {
      session.emplace(*entry.readerRef->reader, operation.policy(), operation.faults());
    }
    uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(entry.DataLength(), kMostPictureBytes));
    ThumbnailQueue::Made made{job->generation, job->row, {}};
    if (count != 0) {
      const ByteBuffer data = entry.GetData(count);
      made.thumbnail = MakeThumbnail(data.data(), std::min<size_t>(count, data.size()), entry.DataLength(), side);
    } else {
      made.thumbnail.state = PictureState::kUnreadable;
    }
    queue.Finish(std::move(made));
    const auto [done, total] = queue.Progress();
    operation.Advance(done, total);
  }
  queue.Stopped();
}

}  // namespace

GalleryPage::GalleryPage(QWidget* parent) : QWidget(parent) {
  const int side = Scaled(this, GalleryModel::kThumbnailSide);
  model_ = new GalleryModel(side, this);
  filter_ = new GalleryFilter(this);
  filter_->setSourceModel(model_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ToolBarGallery = Named(new QToolBar(this), "ToolBarGallery");
  btnSaveTicked = Named(new QToolButton(ToolBarGallery), "btnSaveTicked");
  btnSaveTicked->setText(tr("保存勾选的图片"));
  btnSaveTicked->setToolButtonStyle(Qt::ToolButtonTextOnly);
  chkWholeOnly = Named(new QCheckBox(tr("只显示完好的图片"), ToolBarGallery), "chkWholeOnly");
  lblGallery = Named(new QLabel(this), "lblGallery");
  lblGallery->setMargin(Scaled(this, 2));
  ToolBarGallery->addWidget(btnSaveTicked);
  ToolBarGallery->addSeparator();
  ToolBarGallery->addWidget(chkWholeOnly);
  layout->addWidget(ToolBarGallery);

  lstGallery = Named(new QListView(this), "lstGallery");
  lstGallery->setViewMode(QListView::IconMode);
  lstGallery->setMovement(QListView::Static);
  lstGallery->setResizeMode(QListView::Adjust);
  lstGallery->setUniformItemSizes(true);
  lstGallery->setWordWrap(true);
  lstGallery->setTextElideMode(Qt::ElideMiddle);
  lstGallery->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lstGallery->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstGallery->setIconSize(QSize(side + 6, side + 6));
  // Room for the thumbnail, its tick and four lines of caption with their margins.
  const int lines = 5 * lstGallery->fontMetrics().lineSpacing();
  lstGallery->setGridSize(QSize(side + Scaled(this, 40), side + Scaled(this, 16) + lines));
  lstGallery->setSpacing(Scaled(this, 4));
  lstGallery->setModel(filter_);
  layout->addWidget(lstGallery, 1);
  layout->addWidget(lblGallery);

  timerThumbnails_.setInterval(40);
  connect(&timerThumbnails_, &QTimer::timeout, this, &GalleryPage::TakeThumbnails);
  connect(btnSaveTicked, &QToolButton::clicked, this, &GalleryPage::btnSaveTickedClick);
  connect(chkWholeOnly, &QCheckBox::toggled, this, &GalleryPage::chkWholeOnlyClick);
  connect(lstGallery, &QListView::activated, this, &GalleryPage::lstGalleryActivated);
  connect(lstGallery->verticalScrollBar(), &QScrollBar::valueChanged, this, &GalleryPage::PreferVisible);
  ShowStatus();
}

GalleryPage::~GalleryPage() = default;

void GalleryPage::ShowPictures(std::vector<GalleryPicture> pictures) {
  std::vector<TDirectoryEntry*> entries;
  entries.reserve(pictures.size());
  for (const GalleryPicture& picture : pictures) entries.push_back(picture.item.entry);
  queue_->Reset(std::move(entries));
  model_->SetPictures(std::move(pictures));
  lstGallery->scrollToTop();
  ShowStatus();
  StartLoading();
}

bool GalleryPage::Loading() const {
  const auto [done, total] = queue_->Progress();
  return done < total || timerThumbnails_.isActive();
}

void GalleryPage::StartLoading() {
  PreferVisible();
  if (!queue_->StartIfWaiting()) return;
  timerThumbnails_.start();
  const std::shared_ptr<ThumbnailQueue> queue = queue_;
  const int side = model_->side();
  QPointer<GalleryPage> page(this);
  Background().Start(
      "Loading thumbnails", [queue, side](Operation& operation) { MakeThumbnails(*queue, side, operation); },
      [page](Operation&) {
        if (page) page->TakeThumbnails();
      });
}

void GalleryPage::TakeThumbnails() {
  std::vector<ThumbnailQueue::Made> made = queue_->TakeMade();
  const int generation = queue_->generation();
  bool changed = false;
  for (ThumbnailQueue::Made& one : made) {
    if (one.generation != generation) continue;
    model_->SetThumbnail(one.row, std::move(one.thumbnail));
    changed = true;
  }
  if (changed) filter_->StatesChanged();
  const auto [done, total] = queue_->Progress();
  if (done >= total && made.empty()) timerThumbnails_.stop();
  ShowStatus();
  StartLoading();
}

void GalleryPage::PreferVisible() {
  std::vector<int> rows;
  const QRect view = lstGallery->viewport()->rect();
  QModelIndex first = lstGallery->indexAt(QPoint(view.left() + 1, view.top() + 1));
  if (!first.isValid() && filter_->rowCount() > 0) first = filter_->index(0, 0);
  for (int row = first.isValid() ? first.row() : filter_->rowCount(); row < filter_->rowCount(); ++row) {
    const QModelIndex index = filter_->index(row, 0);
    if (!lstGallery->visualRect(index).intersects(view)) {
      if (!rows.empty()) break;
      continue;
    }
    const int source = filter_->mapToSource(index).row();
    if (model_->NeedsThumbnail(source)) queue_->Request(source);
    rows.push_back(source);
  }
  queue_->Prefer(rows);
}

void GalleryPage::ShowStatus() {
  const auto [done, total] = queue_->Progress();
  QString text = total == 0 ? tr("这里没有图片") : tr("%1 张图片，已载入 %2 张").arg(total).arg(done);
  if (lblGallery->text() != text) lblGallery->setText(text);
}

void GalleryPage::btnSaveTickedClick() {
  std::vector<int> rows = model_->TickedRows();
  if (rows.empty()) {
    for (const QModelIndex& index : lstGallery->selectionModel()->selectedIndexes()) {
      rows.push_back(filter_->mapToSource(index).row());
    }
    std::sort(rows.begin(), rows.end());
  }
  if (rows.empty() || !onSave) return;
  std::vector<SaveItem> items;
  for (const int row : rows) items.push_back(model_->picture(row).item);
  onSave(std::move(items));
}

void GalleryPage::chkWholeOnlyClick() {
  filter_->SetWholeOnly(chkWholeOnly->isChecked());
  PreferVisible();
}

void GalleryPage::lstGalleryActivated(const QModelIndex& index) {
  if (!index.isValid() || !onOpen) return;
  onOpen(*model_->picture(filter_->mapToSource(index).row()).item.entry);
}
