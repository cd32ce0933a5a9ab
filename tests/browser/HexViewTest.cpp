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

TEST(HexViewTest, AFullDumpHas1024LinesEndingAt3FF0) {
  std::vector<uint8_t> data(kDumpSize, 0x41);
  const std::string dump = FormatHexDump(data.data(), data.size());
  size_t lines = 0;
  for (size_t p = dump.find("\r\n"); p != std::string::npos; p = dump.find("\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 1024u);
  EXPECT_EQ(dump.substr(dump.rfind("\r\n", dump.size() - 3) + 2, 4), "3FF0");
}

TEST(HexViewTest, PreviewDecision) {
  EXPECT_EQ(DecidePreview(nullptr, 0).kind, PreviewKind::kNone);

  const uint8_t png[] = {0x89, 'P', 'N', 'G', 0, 0};
  const PreviewDecision picture = DecidePreview(png, sizeof png);
  EXPECT_EQ(picture.kind, PreviewKind::kPicture);
  EXPECT_EQ(picture.picture->format, PictureFormat::kPng);

  const std::string ten = "0123456789";
  EXPECT_EQ(DecidePreview(reinterpret_cast<const uint8_t*>(ten.data()), ten.size()).text, "012345678");
  const uint8_t zeroFirst[] = {0, 'a', 'b'};
  const PreviewDecision empty = DecidePreview(zeroFirst, 3);
  EXPECT_EQ(empty.kind, PreviewKind::kText);
  EXPECT_EQ(empty.text, "");

  std::vector<uint8_t> long_(20000, 'x');
  EXPECT_EQ(DecidePreview(long_.data(), long_.size()).text.size(), kDumpSize - 1);
}

}  // namespace
