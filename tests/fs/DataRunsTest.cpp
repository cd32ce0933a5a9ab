// Where an entry's data lies: the runs a node gives, read straight from the image, are the
// bytes its StreamData delivers, for every entry of the FAT and exFAT test images (deleted
// ones, fragmented ones, folders); and a limit on the runs cuts the list short, saying so.

#include <gtest/gtest.h>

#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/TreeSnapshot.h"

namespace {

Bytes Streamed(TDirectoryEntry& entry) {
  Bytes got;
  CallbackSink sink([&](const uint8_t* data, size_t n) {
    got.insert(got.end(), data, data + n);
    return true;
  });
  entry.StreamData(sink, 0);
  return got;
}

TEST(DataRuns, TheRunsReadBackWhatTheEntryDelivers) {
  const std::pair<std::string, std::string> images[] = {
      {SharedFatImage(32).path, "512"}, {SharedFatImage(12).path, "512"},
      {TestImagePath("exfat-tree.img"), "512"}, {TestImagePath("exfat-4k.img"), "4096"}};
  for (const auto& [path, sectorSize] : images) {
    SCOPED_TRACE(path);
    const Bytes image = ReadFileBytes(path);
    OpenSource source(path, sectorSize);
    size_t fragmented = 0;
    WalkTree(source.partitions, [&](const std::string& key, TDirectoryEntry& entry) {
      SCOPED_TRACE(key);
      const DataRunList list = entry.DataRuns(100000);
      EXPECT_TRUE(list.complete);
      Bytes fromRuns;
      bool placed = true;
      for (const ByteRun& run : list.runs) {
        EXPECT_EQ(run.fileOffset, fromRuns.size());
        if (run.mediumOffset) {
          ASSERT_LE(*run.mediumOffset + run.length, image.size());
          fromRuns.insert(fromRuns.end(), image.begin() + static_cast<ptrdiff_t>(*run.mediumOffset),
                          image.begin() + static_cast<ptrdiff_t>(*run.mediumOffset + run.length));
        } else {
          placed = placed && run.zeros;  // a deleted folder's slots come from memory
          fromRuns.insert(fromRuns.end(), run.length, 0);
        }
      }
      if (placed) {
        EXPECT_TRUE(fromRuns == Streamed(entry));
      }
      if (list.runs.size() < 2) return;
      ++fragmented;
      const DataRunList cut = entry.DataRuns(1);
      EXPECT_FALSE(cut.complete);
      ASSERT_EQ(cut.runs.size(), 1u);
      EXPECT_EQ(cut.runs[0].length, list.runs[0].length);
    });
    if (path == SharedFatImage(32).path) {
      EXPECT_GT(fragmented, 0u);
    }
  }
}

}  // namespace
