#include "formats/qt/PictureLoader.h"

#include <gtest/gtest.h>

#include "support/qt/Pictures.h"

namespace {

struct Type {
  const char* file;
  PictureFormat format;
};
constexpr Type kTypes[] = {
    {"jpg", PictureFormat::kJpeg}, {"gif", PictureFormat::kGif}, {"png", PictureFormat::kPng}, {"bmp", PictureFormat::kBmp}};

QImage Load(PictureFormat format, const Bytes& bytes) { return LoadPreview(format, bytes.data(), bytes.size()); }

// The segments of a JPEG up to its scan, as (offset, length with the marker) pairs.
std::vector<std::pair<size_t, size_t>> JpegSegments(const Bytes& jpeg) {
  std::vector<std::pair<size_t, size_t>> segments;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA;) {
    const size_t length = 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    segments.emplace_back(at, length);
    at += length;
  }
  return segments;
}

// The JPEG without its quantization tables: its header reads, its image data cannot be decoded.
Bytes WithoutQuantizationTables(Bytes jpeg) {
  const auto segments = JpegSegments(jpeg);
  for (auto it = segments.rbegin(); it != segments.rend(); ++it) {
    if (jpeg[it->first + 1] == 0xDB) jpeg.erase(jpeg.begin() + it->first, jpeg.begin() + it->first + it->second);
  }
  return jpeg;
}

// The JPEG with the width and height its frame header states replaced.
Bytes WithStatedSize(Bytes jpeg, uint16_t width, uint16_t height) {
  for (const auto& [at, length] : JpegSegments(jpeg)) {
    if (jpeg[at + 1] != 0xC0) continue;
    jpeg[at + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[at + 6] = static_cast<uint8_t>(height);
    jpeg[at + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[at + 8] = static_cast<uint8_t>(width);
  }
  return jpeg;
}

TEST(PictureLoaderTest, PicturesOfEveryTypeDecodeFromMemory) {
  for (const Type& type : kTypes) {
    const Bytes file = PictureFile(type.file, 40, 30);
    const FormatRecognizer* recognized = RecognizePicture(file.data(), file.size());
    ASSERT_NE(recognized, nullptr) << type.file;
    EXPECT_EQ(recognized->format, type.format) << type.file;
    const QImage picture = Load(type.format, file);
    ASSERT_EQ(picture.size(), QSize(40, 30)) << type.file;
    EXPECT_GT(qRed(picture.pixel(0, 15)), 200) << type.file;
    EXPECT_GT(qBlue(picture.pixel(39, 15)), 200) << type.file;
  }
}

TEST(PictureLoaderTest, BytesThatAreNotAPictureOfTheTypeGiveNone) {
  for (const Type& type : kTypes) {
    const Bytes file = PictureFile(type.file, 40, 30);
    Bytes damaged(file.begin(), file.begin() + 10);
    damaged.resize(file.size(), 0xA5);
    EXPECT_TRUE(Load(type.format, damaged).isNull()) << type.file;
    EXPECT_TRUE(LoadPreview(type.format, file.data(), 0).isNull()) << type.file;
    EXPECT_TRUE(LoadPreview(type.format, nullptr, 0).isNull()) << type.file;
  }
  const Bytes png = PictureFile("png", 40, 30);
  EXPECT_TRUE(Load(PictureFormat::kPng, Bytes(png.begin(), png.begin() + png.size() / 2)).isNull());
  EXPECT_TRUE(Load(PictureFormat::kGif, png).isNull());  // each type has its own decoder
}

TEST(PictureLoaderTest, AJpegWhoseHeaderWasReadCountsAsLoaded) {
  const Bytes jpeg = PictureFile("jpg", 40, 30);
  EXPECT_EQ(Load(PictureFormat::kJpeg, WithoutQuantizationTables(jpeg)).size(), QSize(40, 30));
  const auto [last, lastLength] = JpegSegments(jpeg).back();
  const size_t scan = last + lastLength;  // the start-of-scan marker
  EXPECT_EQ(Load(PictureFormat::kJpeg, Bytes(jpeg.begin(), jpeg.begin() + scan + 20)).size(), QSize(40, 30));
  EXPECT_TRUE(Load(PictureFormat::kJpeg, Bytes(jpeg.begin(), jpeg.begin() + scan - 20)).isNull());
  // The header's size is believed only as far as a picture of that size may take memory.
  EXPECT_TRUE(Load(PictureFormat::kJpeg, WithStatedSize(WithoutQuantizationTables(jpeg), 60000, 60000)).isNull());
}

}  // namespace
