#include "formats/qt/PictureLoader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <limits>

namespace {

const char* ReaderFormat(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpeg: return "jpeg";
    case PictureFormat::kGif: return "gif";
    case PictureFormat::kPng: return "png";
    case PictureFormat::kBmp: return "bmp";
  }
  return "";
}

// Whether a picture of that size stays within the memory Qt's readers allow one picture. The
// size comes from the file's header, so it is checked before anything is made that big.
bool WithinAllocationLimit(QSize size) {
  if (size.isEmpty()) return false;
  const qint64 limitBytes = qint64{QImageReader::allocationLimit()} * 1024 * 1024;
  return limitBytes == 0 || qint64{size.width()} * size.height() * 4 <= limitBytes;
}

// What a JPEG whose image data failed still shows: the part decoded, or a blank picture of
// the header's size when nothing was.
QImage PartialJpeg(QSize headerSize, QImage decoded) {
  if (!WithinAllocationLimit(headerSize)) return {};
  if (decoded.size() == headerSize) return decoded;
  QImage blank(headerSize, QImage::Format_RGB32);
  blank.fill(Qt::white);
  return blank;
}

}  // namespace

QImage LoadPreview(PictureFormat format, const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0 || length > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, ReaderFormat(format));
  reader.setAutoTransform(false);
  // The JPEG header is read first, so that a picture whose data fails later still counts.
  const QSize headerSize = format == PictureFormat::kJpeg ? reader.size() : QSize();
  QImage image;
  if (reader.read(&image)) return image;
  if (format == PictureFormat::kJpeg && headerSize.isValid()) return PartialJpeg(headerSize, std::move(image));
  return {};
}
