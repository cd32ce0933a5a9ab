#include "browser/frame/IconSet.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "browser/ImageIndex.h"

namespace {

// The sizes the drawn icons are made in; the tree and the tool bars pick the nearest.
constexpr int kDrawnSizes[] = {16, 22, 24, 32, 48};

QIcon ThemeOr(const char* name, const QStyle& style, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(name), style.standardIcon(fallback));
}

// An icon drawn at every size by paint(painter, side).
template <class Paint>
QIcon Drawn(Paint paint) {
  QIcon icon;
  for (const int side : kDrawnSizes) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, side);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The file icon, a little faded, with a red cross over its lower right part.
QIcon DeletedIcon(const QIcon& file) {
  return Drawn([&file](QPainter& painter, int side) {
    painter.setOpacity(0.8);
    file.paint(&painter, 0, 0, side, side);
    painter.setOpacity(1.0);
    const qreal from = side * 0.42;
    const qreal to = side * 0.94;
    QPainterPath cross;
    cross.moveTo(from, from);
    cross.lineTo(to, to);
    cross.moveTo(to, from);
    cross.lineTo(from, to);
    painter.setPen(QPen(Qt::white, side * 0.26, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
    painter.setPen(QPen(QColor(0xD0, 0x10, 0x10), side * 0.15, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(cross);
  });
}

// A magnifying glass with a plus (zoom in) or a minus.
QIcon MagnifierIcon(bool plus, const QPalette& palette) {
  return Drawn([plus, &palette](QPainter& painter, int side) {
    const qreal s = side;
    const QColor ink = palette.color(QPalette::WindowText);
    painter.setPen(QPen(ink, s * 0.16, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(s * 0.62, s * 0.62), QPointF(s * 0.9, s * 0.9));
    painter.setPen(QPen(ink, s * 0.09));
    painter.setBrush(palette.color(QPalette::Base));
    painter.drawEllipse(QPointF(s * 0.4, s * 0.4), s * 0.3, s * 0.3);
    painter.setPen(QPen(ink, s * 0.09, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(QPointF(s * 0.26, s * 0.4), QPointF(s * 0.54, s * 0.4));
    if (plus) painter.drawLine(QPointF(s * 0.4, s * 0.26), QPointF(s * 0.4, s * 0.54));
  });
}

}  // namespace

IconSet::IconSet(const QStyle* style) {
  const QStyle& s = style != nullptr ? *style : *QApplication::style();
  const QIcon file = ThemeOr("text-x-generic", s, QStyle::SP_FileIcon);
  formats_[kImgFile] = file;
  formats_[kImgPartition] = ThemeOr("drive-harddisk", s, QStyle::SP_DriveHDIcon);
  formats_[kImgDirectory] = ThemeOr("folder", s, QStyle::SP_DirIcon);
  formats_[kImgDeleted] = DeletedIcon(file);
  formats_[kImgSave] = ThemeOr("document-save", s, QStyle::SP_DialogSaveButton);
  const QPalette palette = s.standardPalette();
  toolbars_[kImgZoomIn] = QIcon::fromTheme(QStringLiteral("zoom-in"), MagnifierIcon(true, palette));
  toolbars_[kImgZoomOut] = QIcon::fromTheme(QStringLiteral("zoom-out"), MagnifierIcon(false, palette));
}

QIcon IconSet::Format(int index) const {
  const auto found = formats_.find(index);
  return found != formats_.end() ? found->second : QIcon();
}

QIcon IconSet::Toolbar(int index) const {
  const auto found = toolbars_.find(index);
  return found != toolbars_.end() ? found->second : QIcon();
}
