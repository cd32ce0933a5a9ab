#include "browser/frame/PreviewImage.h"

#include <QPaintEvent>
#include <QPainter>

PreviewImage::PreviewImage(QWidget* parent) : QWidget(parent) {}

void PreviewImage::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  resize(picture_.size());
  update();
}

void PreviewImage::paintEvent(QPaintEvent* event) {
  if (picture_.isNull() || width() <= 0 || height() <= 0) return;
  QPainter painter(this);
  painter.setClipRegion(event->region());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(rect(), picture_);
}
