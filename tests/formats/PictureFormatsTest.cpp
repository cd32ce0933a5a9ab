#include "formats/PictureFormats.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PictureFormatsTest, RecognizesByFirstBytesInOrder) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* extension;  // nullptr: no match
  } cases[] = {
      {{0xFF, 0xD8, 0xFF, 0xE0}, "jpg"},
      {{0xFF, 0xD8, 0xFF, 0xE1, 0}, "jpg"},
      {{0xFF, 0xD8, 0xFF, 0xDB}, nullptr},  // a JPEG without APP0/APP1 first
      {{0xFF, 0xD8, 0xFF}, nullptr},
      {{'G', 'I', 'F', '8', '7', 'a'}, "gif"},
      {{'G', 'I', 'F', '8', '9', 'a'}, "gif"},
      {{'G', 'I', 'F', '8', 'x', 'a'}, "gif"},
      {{'G', 'I', 'F', '8', '9'}, nullptr},
      {{0x89, 'P', 'N', 'G'}, "png"},
      {{'B', 'M', 1, 2, 3, 4, 0, 9, 0}, "bmp"},
      {{'B', 'M', 1, 2, 3, 4, 1, 9, 0}, nullptr},
      {{'B', 'M', 1, 2, 3, 4, 0, 9, 1}, nullptr},
      {{'B', 'M'}, nullptr},
      {{}, nullptr},
  };
  for (const Case& c : cases) {
    const FormatRecognizer* r = RecognizePicture(c.bytes.data(), c.bytes.size());
    if (c.extension == nullptr) {
      EXPECT_EQ(r, nullptr) << c.bytes.size();
    } else {
      ASSERT_NE(r, nullptr) << c.extension;
      EXPECT_STREQ(r->extension, c.extension);
    }
  }
}

}  // namespace
