// Display texts of FAT slots: short names and labels in their code page, timestamps and
// attributes.

#include <gtest/gtest.h>

#include <string>

#include "fs/fat/FatDirectory.h"
#include "support/CodePages.h"

namespace {

FATDirectoryEntry MakeSlot(const std::string& name83, uint8_t caseFlags) {
  uint8_t slot[32] = {};
  std::copy(name83.begin(), name83.end(), slot);
  slot[12] = caseFlags;
  return FATDirectoryEntry(slot, 16);
}

TEST(FatTextTest, ShortNames) {
  struct Case {
    const char* codePage;
    std::string name83;  // 11 bytes
    uint8_t caseFlags;
    std::string shown;
  } cases[] = {
      {"437", "README  TXT", 0, "README.TXT"},
      {"437", "\xE5" "EADME  TXT", 0, "_EADME.TXT"},  // deleted: the first byte is lost
      {"437", "\x05" "EADME  TXT", 0, "σEADME.TXT"},  // 0x05 stands for 0xE5
      {"850", "\x05" "EADME  TXT", 0, "ÕEADME.TXT"},
      {"437", "FOO     BAR", 0x18, "foo.bar"},
      {"437", "FOO     BAR", 0x08, "foo.BAR"},
      {"437", "FOO     BAR", 0x10, "FOO.bar"},
      {"437", "MAKEFILE   ", 0, "MAKEFILE"},
      {"437", std::string("AB\0DEFGHTX\0", 11), 0, "AB.TX"},  // a zero byte ends a field
      {"437", "\x90TUDE   TXT", 0x18, "étude.txt"},             // the case flags lower É too
      {"850", "\x9DL      \x8E\x99\x9A", 0x10, "ØL.äöü"},
      {"437", "\x9DL      \x8E\x99\x9A", 0x10, "¥L.äöü"},
      {"437", "A\x01" "B     \x7F  ", 0, "A\x01" "B.\x7F"},  // control bytes stay as stored
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatShortName(MakeSlot(c.name83, c.caseFlags), NamedCodePage(c.codePage)), c.shown)
        << c.codePage << " " << c.name83;
  }
}

TEST(FatTextTest, VolumeLabels) {
  struct Case {
    const char* codePage;
    std::string field;  // 11 bytes
    std::string shown;
  } cases[] = {
      {"850", "CAF\x90 NO\xD3L  ", "CAFÉ NOËL"},
      {"437", "CAF\x90 NO\xD3L  ", "CAFÉ NO╙L"},
      {"1252", "  \x80 \x8A\x9F     ", "€ ŠŸ"},  // blanks trimmed on both sides
      {"437", std::string("AB\0\x90       ", 11), "AB"},
  };
  for (const Case& c : cases) {
    const auto* field = reinterpret_cast<const uint8_t*>(c.field.data());
    EXPECT_EQ(FormatVolumeLabel(field, NamedCodePage(c.codePage)), c.shown) << c.codePage << " " << c.field;
  }
}

TEST(FatTextTest, Timestamps) {
  struct Case {
    uint16_t date, time;
    uint8_t tenMs;
    const char* shown;
  } cases[] = {
      {0, 0, 0, ""},  // records no date
      {0x3A8F, 0x7E9D, 150, "2009/04/15, 15:52:59.5"},
      {0x3A8F, 0x7E9D, 0, "2009/04/15, 15:52:58"},
      {0x3A8F, 0x7E9D, 5, "2009/04/15, 15:52:58.05"},
      {0x3A8F, 0, 150, "2009/04/15"},  // midnight shows the date alone
      {0x0021, 0x0001, 0, "1980/01/01, 00:00:02"},
      {0xFFFF, 0xFFFF, 255, "invalid date, invalid time"},  // month 15, 31:63:62, 255 hundredths
      {0x3A40, 0x7E9D, 0, "invalid date, 15:52:58"},        // 2009/02/00
      {0x3A8F, 0x7F80, 0, "2009/04/15, invalid time"},      // 15:60:00
      {0x3A8F, 0, 200, "2009/04/15"},                       // the date alone has no time to check
      {0x3A8F, 0x7E9D, 200, "2009/04/15, invalid time"},    // 200 hundredths
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFatTimestamp(c.date, c.time, c.tenMs), c.shown) << c.shown;
  }
}

TEST(FatTextTest, Attributes) {
  struct Case {
    uint8_t attributes;
    const char* shown;
  } cases[] = {{0x00, ""}, {0x31, "RDA"}, {0xC1, "R 0x40 0x80"}, {0x3F, "RHSVDA"}, {0x0F, "RHSV"}, {0x40, " 0x40"}};
  for (const Case& c : cases) EXPECT_EQ(FormatFatAttributes(c.attributes), c.shown) << int{c.attributes};
}

}  // namespace
