// Display texts of FAT slots: short names, timestamps, attributes and the choice of node kind.

#include <gtest/gtest.h>

#include <string>

#include "fs/fat/FatDirectory.h"

namespace {

FATDirectoryEntry MakeSlot(const std::string& name83, uint8_t attributes, uint8_t caseFlags = 0) {
  uint8_t slot[32] = {};
  std::copy(name83.begin(), name83.end(), slot);
  slot[11] = attributes;
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
    EXPECT_EQ(FormatShortName(MakeSlot(c.name83, 0x20, c.caseFlags)), c.shown) << c.name83;
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
      {0x3A8F, 0x7E9D, 199, "2009/04/15, 15:52:59.99"},
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

TEST(FatTextTest, WhichSlotsBecomeNodes) {
  struct Case {
    std::string name83;
    uint8_t attributes;
    FATChildKind kind;
  } cases[] = {
      {"FILE    TXT", 0x20, FATChildKind::kFile},
      {"DIR        ", 0x10, FATChildKind::kDirectory},
      {"BOTH       ", 0x18, FATChildKind::kDirectory},
      {"LABEL      ", 0x08, FATChildKind::kNone},
      {"LONG       ", 0x0F, FATChildKind::kNone},
      {".          ", 0x10, FATChildKind::kNone},
      {"..         ", 0x10, FATChildKind::kNone},
      {std::string(11, '\0'), 0x20, FATChildKind::kNone},
      {"\xE5" "ILE    TXT", 0x20, FATChildKind::kDeletedFile},
      {"\xE5" "IR        ", 0x10, FATChildKind::kDeletedFile},
      {"\xE5" "ABEL      ", 0x08, FATChildKind::kNone},
      {"\xE5" "ONG       ", 0x0F, FATChildKind::kNone},
      {"\x05" "ILE    TXT", 0x20, FATChildKind::kFile},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SelectChild(MakeSlot(c.name83, c.attributes)), c.kind) << c.name83;
  }
}

TEST(FatTextTest, Fat32SlotsJoinBothHalvesOfTheFirstCluster) {
  uint8_t slot[32] = {};
  slot[20] = 0x01;
  slot[26] = 0x70;
  slot[27] = 0x11;
  EXPECT_EQ(FATDirectoryEntry(slot, 32).firstCluster, 0x11170u);
  EXPECT_EQ(FATDirectoryEntry(slot, 16).firstCluster, 0x1170u);
}

}  // namespace
