// Bitmap pictures: the file header says how long the file is; the info header's size, depth
// and dimensions must fit within that.

#include <cstdlib>

#include "formats/carve/Endian.h"
#include "formats/carve/Families.h"

namespace carve {

namespace {

namespace bmp {
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kFileSize = 2, kReserved1 = 6, kReserved2 = 8, kPixelOffset = 10, kInfoSize = 14;
// BITMAPINFOHEADER and its successors.
constexpr size_t kWidth = 18, kHeight = 22, kPlanes = 26, kBitCount = 28, kCompression = 30;
// The OS/2 BITMAPCOREHEADER of 12 bytes.
constexpr size_t kCoreWidth = 18, kCoreHeight = 20, kCorePlanes = 22, kCoreBitCount = 24;
constexpr uint32_t kCoreInfoSize = 12;
constexpr uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
constexpr size_t kNeeded = 34;  // bytes every test here reads
}  // namespace bmp

struct Layout {
  uint32_t fileSize = 0, pixelOffset = 0, compression = 0;
  uint64_t width = 0, height = 0;
  uint16_t bitCount = 0;
};

std::optional<Layout> ReadLayout(const uint8_t* p) {
  if (p[0] != 'B' || p[1] != 'M' || le16(p + bmp::kReserved1) != 0 || le16(p + bmp::kReserved2) != 0) {
    return std::nullopt;
  }
  Layout layout;
  layout.fileSize = le32(p + bmp::kFileSize);
  layout.pixelOffset = le32(p + bmp::kPixelOffset);
  const uint32_t infoSize = le32(p + bmp::kInfoSize);
  uint16_t planes = 0;
  if (infoSize == bmp::kCoreInfoSize) {
    layout.width = le16(p + bmp::kCoreWidth);
    layout.height = le16(p + bmp::kCoreHeight);
    planes = le16(p + bmp::kCorePlanes);
    layout.bitCount = le16(p + bmp::kCoreBitCount);
  } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 || infoSize == 108 ||
             infoSize == 124) {
    const int32_t width = static_cast<int32_t>(le32(p + bmp::kWidth));
    const int32_t height = static_cast<int32_t>(le32(p + bmp::kHeight));
    if (width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
    layout.width = static_cast<uint64_t>(width);
    layout.height = static_cast<uint64_t>(std::abs(height));
    planes = le16(p + bmp::kPlanes);
    layout.bitCount = le16(p + bmp::kBitCount);
    layout.compression = le32(p + bmp::kCompression);
  } else {
    return std::nullopt;
  }
  const uint16_t b = layout.bitCount;
  if (planes != 1 || layout.width == 0 || layout.height == 0 ||
      (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) || layout.compression > bmp::kAlphaBitFields) {
    return std::nullopt;
  }
  if (layout.pixelOffset < bmp::kFileHeaderSize + infoSize || layout.pixelOffset >= layout.fileSize) return std::nullopt;
  return layout;
}

}  // namespace

std::optional<CarvedKind> RecognizeBmpStart(const uint8_t* head, size_t size) {
  if (size < bmp::kNeeded || !ReadLayout(head)) return std::nullopt;
  return CarvedKind::kBmp;
}

std::optional<CarveResult> MeasureBmp(ByteReader& reader) {
  const uint8_t* p = reader.View(0, bmp::kNeeded);
  const std::optional<Layout> layout = p ? ReadLayout(p) : std::nullopt;
  if (!layout) return std::nullopt;
  if (!reader.Holds(0, layout->fileSize)) return Partial(CarvedKind::kBmp, reader.Limit());
  // Uncompressed rows are padded to four bytes; all of them must fit in the file.
  const bool uncompressed = layout->compression == bmp::kRgb || layout->compression == bmp::kBitFields ||
                            layout->compression == bmp::kAlphaBitFields;
  if (uncompressed) {
    const uint64_t stride = (layout->width * layout->bitCount + 31) / 32 * 4;
    if (layout->height > (layout->fileSize - layout->pixelOffset) / stride) {
      return Partial(CarvedKind::kBmp, layout->fileSize);
    }
  }
  return Whole(CarvedKind::kBmp, layout->fileSize);
}

}  // namespace carve
