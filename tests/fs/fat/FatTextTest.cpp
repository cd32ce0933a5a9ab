// Display texts of FAT slots: short names, timestamps and attributes.

#include <gtest/gtest.h>

#include <string>

#include "fs/fat/FatDirectory.h"

namespace {

FATDirectoryEntry MakeSlot(const std::string& name83, uint8_t caseFlags) {
  uint8_t slot[32] = {};
  std::copy(name83.begin(), name83.end(), slot);
  slot[12] = caseFlags;
  return FATDirectoryEntry(slot, 16);
}

TEST(FatTextTest, ShortNames) {
  struct Case {
    std::string name83;  // 11 bytes
    uint8_t caseFlags;
    std::string shown;
  } cases[] = {
      {"README  TXT", 0, "README.TXT"},
      {"\xE5" "EADME  TXT", 0, "_EADME.TXT"},
      {"\x05" "EADME  TXT", 0, "\xE5" "EADME.TXT"},
      {"FOO     BAR", 0x18, "foo.bar"},
      {"FOO     BAR", 0x08, "foo.BAR"},
      {"FOO     BAR", 0x10, "FOO.bar"},
      {"MAKEFILE   ", 0, "MAKEFILE"},
      {std::string("AB\0DEFGHTX\0", 11), 0, "AB.TX"},  // a zero byte ends a field
      {"\x90TUDE   TXT", 0x18, "\x90tude.txt"},       // bytes beyond ASCII stay as stored
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatShortName(MakeSlot(c.name83, c.caseFlags)), c.shown) << c.name83;
  }
}

TEST(FatTextTest, Timestamps) {
  struct Case {
    uint16_t date, time;
    uint8_t tenMs;
    const char* shown;
  } cases[] = {
      {0, 0, 0, "1980/00/00"},
      {0x3A8F, 0x7E9D, 150, "2009/04/15, 15:52:59.5"},
      {0x3A8F, 0x7E9D, 0, "2009/04/15, 15:52:58"},
      {0x3A8F, 0x7E9D, 5, "2009/04/15, 15:52:58.05"},
      {0x3A8F, 0, 150, "2009/04/15"},  // midnight shows the date alone
      {0x0021, 0x0001, 0, "1980/01/01, 00:00:02"},
      {0xFFFF, 0xFFFF, 255, "2107/15/31, 31:63:64.55"},
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
