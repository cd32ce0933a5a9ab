#include <gtest/gtest.h>

#include "fs/exfat/ExfatEntrySet.h"
#include "support/ExfatVolumeBytes.h"

namespace {

using namespace exfat_test;

std::vector<EXFATDirectoryEntry> Parse(const Bytes& bytes, std::string& label) {
  std::vector<EXFATDirectoryEntry> sets;
  ParseDirectoryChunks(bytes.data(), bytes.size(), sets, label);
  return sets;
}

std::vector<EXFATDirectoryEntry> Parse(const Bytes& bytes) {
  std::string label;
  return Parse(bytes, label);
}

TEST(ExfatFormat, TimestampsAndAttributes) {
  struct Stamp { uint16_t date, time; uint8_t hundredths; const char* text; };
  const Stamp stamps[] = {
      {0x3AEE, 0x40A4, 137, "2009/07/14, 08:05:09.37"},
      {0x3AEE, 0x40A4, 0, "2009/07/14, 08:05:08"},
      {0x3AEE, 0x40A4, 50, "2009/07/14, 08:05:08.5"},
      {0, 0, 0, ""},                                      // records nothing
      {0xFFFF, 0xFFFF, 255, "invalid date, invalid time"},  // month 15, 31:63:62, 255 hundredths
      {0x3A5E, 0x40A4, 0, "invalid date, 08:05:08"},        // 2009/02/30
      {0x3AEE, 0xC000, 0, "2009/07/14, invalid time"},      // 24:00:00
      {0x3AEE, 0x001E, 0, "2009/07/14, invalid time"},      // 60 seconds
      {0, 0x40A4, 0, "invalid date, 08:05:08"},             // a time without a date
  };
  for (const Stamp& s : stamps) EXPECT_EQ(FormatExfatTimestamp(s.date, s.time, s.hundredths), s.text);

  struct Attributes { uint8_t byte; const char* text; };
  const Attributes attributes[] = {{0x21, "RA"}, {0x10, "D"}, {0x60, "A 0x40"}, {0x00, ""}, {0xFF, "RHSVDA 0x40 0x80"}};
  for (const Attributes& a : attributes) {
    Bytes file = Entry(0x85, 0);
    file[4] = a.byte;
    EXPECT_EQ(FormatExfatAttributes(Parse(file)[0]), a.text);
  }
  EXPECT_EQ(FormatExfatAttributes(EXFATDirectoryEntry{}), "");
}

TEST(ExfatEntrySets, ShortSetsStrayChunksAndEndOfDirectory) {
  // A stray stream and name before any file chunk are dropped; SecondaryCount 1 keeps only the
  // stream; a bitmap entry inside a set does not use up its count; a file chunk starts a new
  // set even when the last one is short; an end-of-directory entry does not end the scan; a
  // deleted set keeps its name chunk, whose in-use bit is clear too (NameLength 9 cuts it).
  const Bytes bytes = Join({Stream(3, 4, 9, 9), Entry(0xC1, 0, u"lost"),
                            Entry(0x85, 1), Stream(3, 4, 9, 9), Entry(0xC1, 0, u"name"),
                            Entry(0x85, 2), Stream(3, 3, 9, 9), Entry(0x81, 0), Entry(0xC1, 0, u"abc"),
                            Entry(0x85, 2), Entry(0x00, 0),
                            Entry(0x05, 2), Stream(3, 9, 9, 9), Entry(0x41, 0, u"Hello.txtABCDEF")});
  const auto sets = Parse(bytes);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].chunks.size(), 2u);
  EXPECT_EQ(AssembleName(sets[0]), "");
  EXPECT_EQ(AssembleName(sets[1]), "abc");
  EXPECT_EQ(FindStreamChunk(sets[2]), nullptr);
  EXPECT_TRUE(sets[3].deleted);
  EXPECT_FALSE(sets[1].deleted);
  EXPECT_EQ(AssembleName(sets[3]), "Hello.txt");
}

TEST(ExfatEntrySets, NameChunksPastTheBufferAndZeroUnits) {
  Bytes longSet = Entry(0x85, 20);  // no stream: the name runs to 256 units
  for (int i = 0; i < 20; ++i) longSet = Join({longSet, Entry(0xC1, 0, std::u16string(15, u'n'))});
  EXPECT_EQ(AssembleName(Parse(longSet)[0]), std::string(256, 'n'));
  EXPECT_EQ(AssembleName(Parse(FileSet(std::u16string(u"ab\0cd", 5), 3, 0, 0))[0]), "ab");
}

TEST(ExfatEntrySets, LastLabelWinsAndIsCutAtElevenUnits) {
  struct Row { Bytes chunks; const char* label; };
  const Row rows[] = {
      {Entry(0x83, 4, u"DATA"), "DATA"},
      {Join({Entry(0x83, 5, u"FIRST"), Entry(0x83, 15, u"ABCDEFGHIJKLMNO")}), "ABCDEFGHIJK"},
      {Join({Entry(0x83, 5, u"FIRST"), Entry(0x03, 6, u"DELETE")}), "FIRST"},  // a deleted label is none
      {Entry(0x83, 255, u"Donn\u00E9es"), "Données"},  // ends at the first zero unit
      {Entry(0x83, 0, u"X"), ""},
  };
  for (const Row& r : rows) {
    std::string label = "old";
    Parse(r.chunks, label);
    EXPECT_EQ(label, r.label);
  }
}

}  // namespace
