#include "browser/gallery/Thumbnail.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "formats/carve/Carving.h"

namespace {

// The picture's bytes as the structure checks read them.
class BufferSource final : public CarveSource {
 public:
  BufferSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Read(uint64_t offset, uint8_t* dest, size_t count) override {
    if (offset >= size_) return 0;
    const size_t n = std::min<uint64_t>(count, size_ - offset);
    std::memcpy(dest, data_ + offset, n);
    return n;
  }
  uint64_t Limit() const override { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
};

// Whether a picture of that size fits the memory Qt's readers allow one picture. The size
// comes from the header, so it is checked before anything is made that big.
bool WithinAllocationLimit(QSize size) {
  if (size.isEmpty()) return false;
  const qint64 limitBytes = qint64{QImageReader::allocationLimit()} * 1024 * 1024;
  return limitBytes == 0 || qint64{size.width()} * size.height() * 4 <= limitBytes;
}

// libjpeg gives the blocks it has no data for the value of an empty block: mid grey. Rows of
// that grey, all of them, at the bottom of a decoded JPEG are the part the data did not reach.
bool EndsInMissingRows(const QImage& image) {
  if (image.isNull() || image.height() < 8) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  int grey = 0;
  for (int y = rgb.height() - 1; y >= 0; --y, ++grey) {
    const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    const bool allGrey = std::all_of(row, row + rgb.width(), [](QRgb pixel) {
      return std::abs(qRed(pixel) - 128) <= 2 && std::abs(qGreen(pixel) - 128) <= 2 && std::abs(qBlue(pixel) - 128) <= 2;
    });
    if (!allGrey) break;
  }
  return grey * 16 >= rgb.height();
}

struct Decoded {
  QImage image;
  bool whole = false;
  bool readable = false;  // the header was read and is within the limit
};

// Decodes the bytes scaled down by the decoder to fit side × side.
Decoded DecodeScaled(const uint8_t* data, size_t size, int side) {
  Decoded decoded;
  if (size == 0 || size > static_cast<size_t>(std::numeric_limits<int>::max())) return decoded;
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(true);
  const QSize full = reader.size();
  if (!full.isValid() || !WithinAllocationLimit(full)) return decoded;
  decoded.readable = true;
  if (full.width() > side || full.height() > side) reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio));
  decoded.whole = reader.read(&decoded.image);
  // Only libjpeg keeps going past bad data (and leaves grey what it did not reach); what the
  // other readers leave behind after an error is not the picture.
  if (!decoded.whole && reader.format() != "jpeg") decoded.image = QImage();
  if (decoded.whole && reader.format() == "jpeg" && EndsInMissingRows(decoded.image)) decoded.whole = false;
  if (!decoded.image.isNull() && (decoded.image.width() > side || decoded.image.height() > side)) {
    decoded.image = decoded.image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return decoded;
}

}  // namespace

Thumbnail MakeThumbnail(const uint8_t* data, size_t size, uint64_t recordedLength, int side) {
  Thumbnail thumbnail;
  thumbnail.state = PictureState::kUnreadable;
  if (data == nullptr || size == 0) return thumbnail;
  const std::optional<CarvedKind> start = RecognizeStart(data, std::min<size_t>(size, 4096));
  BufferSource source(data, size);
  std::optional<CarveResult> structure;
  if (start) structure = MeasureFile(*start, source);
  // A structure that breaks off, or data that stops short of the recorded length.
  const bool structureWhole = !start || (structure && structure->whole);
  const bool delivered = size >= recordedLength;

  // The picture's own smaller copy, where it keeps one that decodes.
  if (start) {
    const CarvedKind kind = structure ? structure->kind : *start;
    if (const std::optional<EmbeddedPreview> preview = FindEmbeddedPreview(kind, source)) {
      if (preview->offset < size && preview->length <= size - preview->offset) {
        Decoded small = DecodeScaled(data + preview->offset, static_cast<size_t>(preview->length), side);
        if (small.whole) {
          thumbnail.image = std::move(small.image);
          thumbnail.state = structureWhole && delivered ? PictureState::kWhole : PictureState::kDamaged;
          return thumbnail;
        }
      }
    }
  }
  Decoded decoded = DecodeScaled(data, size, side);
  if (!decoded.readable) {
    // A raw file with no preview that decodes is still a picture, only not one shown here.
    return thumbnail;
  }
  thumbnail.image = std::move(decoded.image);
  thumbnail.state = decoded.whole && structureWhole && delivered ? PictureState::kWhole : PictureState::kDamaged;
  return thumbnail;
}
