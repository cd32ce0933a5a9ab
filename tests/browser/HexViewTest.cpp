#include "browser/HexView.h"

#include <gtest/gtest.h>

#include <vector>

#include "fs/Partition.h"

namespace {

TEST(HexViewTest, DumpLinesAndCharacterColumn) {
  const uint8_t hi[] = {0x48, 0x69, 0x21, 0x0A};
  EXPECT_EQ(FormatHexDump(hi, 4), "0000    48 69 21 0A     Hi!.\r\n");

  std::vector<uint8_t> seventeen(17, 'A');
  seventeen[16] = 0x80;
  EXPECT_EQ(FormatHexDump(seventeen.data(), 17),
            "0000    41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41     AAAAAAAAAAAAAAAA\r\n"
            "0010    80     \xE2\x82\xAC\r\n");

  const uint8_t high[] = {0x7F, 0x81, 0x93, 0xE9, 0x1F};
  EXPECT_EQ(FormatHexDump(high, 5), "0000    7F 81 93 E9 1F     ..\xE2\x80\x9C\xC3\xA9.\r\n");
  EXPECT_EQ(FormatHexDump(nullptr, 0), "");
}

// Each line starts with the offset of its first byte; past FFFF the offset grows a fifth digit
// instead of wrapping round. Line n holds 16 times the letter 'A' + n % 26.
TEST(HexViewTest, OffsetsOfEveryLineAndBeyondFourDigits) {
  std::vector<uint8_t> data(0x10010);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i / 16 % 26);
  std::vector<std::string> lines;
  const std::string dump = FormatHexDump(data.data(), data.size());
  for (size_t start = 0, end; (end = dump.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(dump.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 0x1001u);
  const auto line = [](const std::string& offset, const std::string& hex, char letter) {
    std::string text = offset + "    ";
    for (int i = 0; i < 16; ++i) text += hex + " ";
    return text + "    " + std::string(16, letter);
  };
  EXPECT_EQ(lines[0], line("0000", "41", 'A'));
  EXPECT_EQ(lines[0x3FF], line("3FF0", "4A", 'J'));   // the last line of a full 16 KiB dump
  EXPECT_EQ(lines[0xFFF], line("FFF0", "4E", 'N'));
  EXPECT_EQ(lines[0x1000], line("10000", "4F", 'O'));
}

TEST(HexViewTest, PreviewDecision) {
  EXPECT_EQ(DecidePreview(nullptr, 0).kind, PreviewKind::kNone);

  const uint8_t png[] = {0x89, 'P', 'N', 'G', 0, 0};
  const PreviewDecision picture = DecidePreview(png, sizeof png);
  EXPECT_EQ(picture.kind, PreviewKind::kPicture);
  EXPECT_EQ(picture.picture->format, PictureFormat::kPng);

  // The text is every byte delivered up to the first zero byte, at most kDumpSize of them.
  struct Case {
    std::string data;
    std::string text;
  } cases[] = {
      {"x", "x"},
      {"0123456789", "0123456789"},
      {std::string("ab\0cd", 5), "ab"},
      {std::string("\0ab", 3), ""},
      {std::string(20000, 'x'), std::string(kDumpSize, 'x')},
      {std::string(kDumpSize, 'y') + std::string(1, '\0'), std::string(kDumpSize, 'y')},
      {"\xFF\xD8\xFF\xDB", "\xFF\xD8\xFF\xDB"},  // a JPEG that does not start with APP0 or APP1
  };
  for (const Case& c : cases) {
    const PreviewDecision text = DecidePreview(reinterpret_cast<const uint8_t*>(c.data.data()), c.data.size());
    EXPECT_EQ(text.kind, PreviewKind::kText) << c.data.size();
    EXPECT_EQ(text.text, c.text) << c.data.size();
  }
}

}  // namespace
