#include <gtest/gtest.h>

#include "fs/exfat/ExfatEntrySet.h"
#include "fs/exfat/ExfatTestVolume.h"

namespace {

using namespace exfat_test;

std::vector<EXFATDirectoryEntry> Parse(const Bytes& bytes, std::string* label = nullptr) {
  std::vector<EXFATDirectoryEntry> sets;
  std::string ignored;
  ParseDirectoryChunks(bytes.data(), bytes.size(), sets, label ? *label : ignored);
  return sets;
}

TEST(ExfatFormat, Timestamps) {
  struct Row { uint16_t date, time; uint8_t hundredths; const char* text; };
  const Row rows[] = {
      {0x3AEE, 0x40A4, 137, "2009/07/14, 08:05:09.37"},
      {0x3AEE, 0x40A4, 0, "2009/07/14, 08:05:08"},
      {0x3AEE, 0x40A4, 50, "2009/07/14, 08:05:08.5"},
      {0, 0, 0, "1980/00/00, 00:00:00"},
      {0xFFFF, 0xFFFF, 255, "2107/15/31, 31:63:64.55"},  // nothing is range-checked
  };
  for (const Row& r : rows) EXPECT_EQ(FormatExfatTimestamp(r.date, r.time, r.hundredths), r.text);
}

TEST(ExfatFormat, Attributes) {
  struct Row { uint8_t attributes; const char* text; };
  const Row rows[] = {{0x21, "RA"}, {0x10, "D"}, {0x60, "A 0x40"}, {0x00, ""},
                      {0xFF, "RHSVDA 0x40 0x80"}};
  for (const Row& r : rows) {
    EXPECT_EQ(FormatExfatAttributes({{FAT64ChunkBase{FileChunk(0, r.attributes)}}, false}), r.text);
  }
  EXPECT_EQ(FormatExfatAttributes({{FAT64ChunkBase{StreamChunk(0, 0, 0, 0)}}, false}), "");
}

TEST(ExfatEntrySets, GroupLiveAndDeletedSetsAcrossEndOfDirectoryEntries) {
  Chunk deletedFile = FileChunk(2, 0x20, true);
  Chunk deletedStream = StreamChunk(1, 9, 5, 10);
  deletedStream[0] = 0x40;
  Chunk deletedName = UnitsChunk(u"Hello.txtABCDEF", 0x41);
  const Bytes bytes = ChunkBytes({FileSet(u"live.txt", 3, 7, 100), {Chunk{}},
                                  {deletedFile, deletedStream, deletedName}});
  const auto sets = Parse(bytes);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_FALSE(sets[0].deleted);
  EXPECT_EQ(AssembleName(sets[0]), "live.txt");
  EXPECT_TRUE(sets[1].deleted);
  EXPECT_EQ(sets[1].chunks.size(), 3u);
  EXPECT_EQ(AssembleName(sets[1]), "Hello.txt");  // NameLength 9 cuts the 15 units
}

TEST(ExfatEntrySets, ShortSetsAndStrayChunks) {
  // A stray stream and name before any file chunk are dropped; SecondaryCount 1 keeps only
  // the stream; an entry of another kind inside a set does not use up its count; a new file
  // chunk starts a new set even when the last one is short.
  Chunk bitmap{};
  bitmap[0] = 0x81;
  const Bytes bytes = ChunkBytes({{StreamChunk(3, 4, 9, 9), UnitsChunk(u"lost")},
                                  {FileChunk(1), StreamChunk(3, 4, 9, 9), UnitsChunk(u"name")},
                                  {FileChunk(2), StreamChunk(3, 3, 9, 9), bitmap, UnitsChunk(u"abc")},
                                  {FileChunk(2)}, FileSet(u"next", 3, 9, 9)});
  const auto sets = Parse(bytes);
  ASSERT_EQ(sets.size(), 4u);
  EXPECT_EQ(sets[0].chunks.size(), 2u);
  EXPECT_EQ(AssembleName(sets[0]), "");
  EXPECT_EQ(AssembleName(sets[1]), "abc");
  EXPECT_EQ(sets[2].chunks.size(), 1u);
  EXPECT_EQ(FindStreamChunk(sets[2]), nullptr);
  EXPECT_EQ(AssembleName(sets[3]), "next");
}

TEST(ExfatEntrySets, Names) {
  // Two chunks joined without gaps; a surrogate pair; a lone surrogate; a zero unit ending
  // the name early; 20 name chunks and no stream (256 units, nothing copied past the buffer).
  const std::u16string twenty = u"abcdefghijklmnopqrst";
  EXPECT_EQ(AssembleName(Parse(ChunkBytes({FileSet(twenty, 3, 0, 0)}))[0]), "abcdefghijklmnopqrst");
  EXPECT_EQ(AssembleName(Parse(ChunkBytes({FileSet(u"x\U0001F600.txt", 3, 0, 0)}))[0]), "x😀.txt");
  EXPECT_EQ(AssembleName(Parse(ChunkBytes({FileSet(u"a\xD800z", 3, 0, 0)}))[0]), "a\uFFFDz");
  EXPECT_EQ(AssembleName(Parse(ChunkBytes({FileSet(std::u16string(u"ab\0cd", 5), 3, 0, 0)}))[0]), "ab");

  std::vector<Chunk> longSet = {FileChunk(20)};
  for (int i = 0; i < 20; ++i) longSet.push_back(UnitsChunk(std::u16string(15, u'n')));
  const auto sets = Parse(ChunkBytes({longSet}));
  EXPECT_EQ(AssembleName(sets[0]), std::string(256, 'n'));
}

TEST(ExfatEntrySets, LastLabelWinsAndIsCutAtElevenUnits) {
  std::string label;
  Parse(ChunkBytes({{UnitsChunk(u"DATA", 0x83, 4)}}), &label);
  EXPECT_EQ(label, "DATA");
  Parse(ChunkBytes({{UnitsChunk(u"FIRST", 0x83, 5), UnitsChunk(u"ABCDEFGHIJKLMNO", 0x03, 15)}}), &label);
  EXPECT_EQ(label, "ABCDEFGHIJK");
  Parse(ChunkBytes({{UnitsChunk(u"Donn\u00E9es", 0x83, 255)}}), &label);
  EXPECT_EQ(label, "Données");  // ends at the first zero unit
  Parse(ChunkBytes({{UnitsChunk(u"X", 0x83, 0)}}), &label);
  EXPECT_EQ(label, "");
}

}  // namespace
