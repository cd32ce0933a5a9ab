// The window that table lookups read through: bytes asked for are the source's, wherever they
// lie against the stretch it holds, and zeros beyond the end of the source.

#include "fs/SectorWindow.h"

#include <gtest/gtest.h>

#include "support/OpenSource.h"
#include "support/TestFiles.h"

namespace {

TEST(SectorWindow, BytesAreTheSourcesWhereverTheyLieAgainstTheStretch) {
  constexpr size_t kSourceBytes = 6 * 512;
  TempDir dir;
  const Bytes source = PatternBytes(kSourceBytes, 7);
  WriteFileBytes(dir / "six.img", source);
  OpenSource opened(dir / "six.img");
  struct Read {
    uint64_t position;
    size_t count;
  };
  struct Case {
    size_t sectors;
    std::vector<Read> reads;  // in this order, through one window
  } cases[] = {
      // Two sectors: inside, up to the end of the stretch, across it (reloaded from the sector
      // holding the first byte), before it, across the end of the source, beyond it.
      {2, {{0, 4}, {1020, 4}, {1022, 4}, {1534, 2}, {100, 4}, {kSourceBytes - 2, 4}, {kSourceBytes + 600, 4}}},
      // One sector, single bytes as the bitmap reads them: each sector's first and last.
      {1, {{0, 1}, {511, 1}, {512, 1}, {1023, 1}, {kSourceBytes - 1, 1}, {kSourceBytes, 1}}},
  };
  for (const Case& c : cases) {
    SectorWindow window(opened.reader, c.sectors);
    for (const Read& r : c.reads) {
      SCOPED_TRACE(testing::Message() << c.sectors << " sectors, " << r.count << " bytes at " << r.position);
      Bytes expected(r.count, 0);
      for (size_t i = 0; i < r.count && r.position + i < kSourceBytes; ++i) expected[i] = source[r.position + i];
      const uint8_t* got = window.At(r.position, r.count);
      EXPECT_EQ(Bytes(got, got + r.count), expected);
    }
  }
}

}  // namespace
