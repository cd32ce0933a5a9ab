// Names as the search field takes them, and the kinds a name or a file's first bytes tell.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "search/NamePattern.h"
#include "search/TreeSearch.h"

namespace {

TEST(NamePatternTest, PiecesAndPatternsMatchWithoutRegardToCase) {
  struct Row {
    const char* typed;
    const char* name;
    bool matches;
  };
  const std::vector<Row> rows = {
      {"holiday", "Summer HOLIDAY.jpg", true},   // a piece, anywhere, any case
      {"année", "RAPPORT ANNÉE.TXT", true},      // folded beyond ASCII
      {"jpg", "JPEG.PNG", false},
      {"*.jpg", "IMG_0001.JPG", true},           // a pattern fits the whole name
      {"*.jpg", "IMG_0001.JPG.txt", false},
      {"img", "IMG_0001.JPG", true},
      {"img*", "photo IMG_0001.JPG", false},     // anchored at the start
      {"IMG_00??.*", "img_0012.jpg", true},
      {"IMG_00??.*", "img_012.jpg", false},
      {"?", "é", true},                          // "?" is one character, not one byte
      {"??", "é", false},
      {"a*b*c", "aXbYbZc", true},                // the last "*" is tried further on
      {"a*b*c", "aXbYcZ", false},
      {"*", "anything", true},
      {"**x", "x", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(NamePattern(row.typed).MatchesName(row.name), row.matches) << row.typed << " / " << row.name;
  }
  EXPECT_TRUE(NamePattern("").MatchesName("x"));
  EXPECT_FALSE(NamePattern("x").MatchesName(""));
}

TEST(NamePatternTest, KindsAreToldByTheExtensionOrByTheFirstBytes) {
  EXPECT_EQ(KindOfName("IMG_0001.JPG"), kKindPictures);
  EXPECT_EQ(KindOfName("clip.MOV"), kKindVideos);
  EXPECT_EQ(KindOfName("song.Flac"), kKindSounds);
  EXPECT_EQ(KindOfName("Report.docx"), kKindDocuments);
  EXPECT_EQ(KindOfName("setup.exe"), kToldOther);  // a telling name: its bytes are not asked
  EXPECT_EQ(KindOfName("BLOB.DAT"), 0u);
  EXPECT_EQ(KindOfName("README"), 0u);
  EXPECT_EQ(KindOfName("trailing."), 0u);

  // SOI, a JFIF APP0 segment of 16 bytes, and the next segment's marker.
  std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01, 0x00,
                               0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB};
  jpeg.resize(512, 0);
  EXPECT_EQ(KindOfContent(jpeg.data(), jpeg.size()), kKindPictures);
  const std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<<>>\nendobj\n";
  EXPECT_EQ(KindOfContent(reinterpret_cast<const uint8_t*>(pdf.data()), pdf.size()), kKindDocuments);
  const std::string text = "just some words\n";
  EXPECT_EQ(KindOfContent(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0u);
  EXPECT_EQ(KindOfContent(nullptr, 0), 0u);
}

}  // namespace
