// Streaming an entry's data gives the bytes GetData gives, on every entry of every test image
// (FAT12, FAT16 and FAT32 made by mkfs.fat and mtools, the committed exFAT images): files live
// and deleted, fragmented ones, directories' raw records, the FAT12/16 fixed root, and the
// same again with unreadable sectors answered Ignore.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fs/Discovery.h"
#include "fs/SpanStream.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/FaultyRead.h"
#include "support/OpenSource.h"
#include "support/ScriptedFaults.h"
#include "support/TreeSnapshot.h"

namespace {

struct StreamVolume {
  std::string name;
  std::string path;
  std::string sectorSize;
};

void PrintTo(const StreamVolume& volume, std::ostream* out) { *out << volume.name; }

std::vector<StreamVolume> Volumes() {
  std::vector<StreamVolume> volumes;
  for (int fatType : {12, 16, 32}) volumes.push_back({"FAT" + std::to_string(fatType), "", "512"});
  for (const std::string& name : kExfatImageNames) {
    std::string id = name;
    std::replace(id.begin(), id.end(), '-', '_');
    volumes.push_back({id, TestImagePath(name + ".img"), ReadExfatManifest(name).sectorSize});
  }
  return volumes;
}

// What StreamData sends, through a sink that has no space of its own; every piece must be of
// bounded size.
Bytes Streamed(TDirectoryEntry& node, uint64_t limit) {
  Bytes got;
  CallbackSink sink([&](const uint8_t* data, size_t n) {
    EXPECT_TRUE(n > 0 && n <= kPieceBytes) << n;
    got.insert(got.end(), data, data + n);
    return true;
  });
  EXPECT_TRUE(node.StreamData(sink, limit));
  return got;
}

Bytes Collected(TDirectoryEntry& node, uint32_t count) {
  const ByteBuffer data = node.GetData(count);
  EXPECT_EQ(count, data.size());
  return Bytes(data.begin(), data.end());
}

struct StreamData : ::testing::TestWithParam<StreamVolume> {
  // Walks the volume, failing every badEvery-th sector when that is not 0, and compares both
  // reads of every node for several counts: none (everything), and cuts inside the first
  // sectors and clusters.
  void CompareEveryNode(uint64_t badEvery) {
    StreamVolume volume = GetParam();
    if (volume.path.empty()) volume.path = SharedFatImage(std::stoi(volume.name.substr(3))).path;
    const uint32_t bytesPerSector = static_cast<uint32_t>(std::stoul(volume.sectorSize));
    const uint64_t totalSectors = std::filesystem::file_size(volume.path) / bytesPerSector;
    const auto fault = std::make_shared<FaultyRead>();
    // The image of 4 KiB sectors holds its few files in a few sectors: fail more of them there.
    if (badEvery != 0 && bytesPerSector >= 4096) badEvery = 3;
    for (uint64_t sector = badEvery / 2; badEvery != 0 && sector < totalSectors; sector += badEvery) {
      fault->FailSector(sector, bytesPerSector);
    }
    OpenSettings settings;
    settings.faultPolicy = &boxes;
    settings.faultLog = &boxes.log;
    settings.platformRead = ThroughFaultyRead(fault);
    OpenSource source(volume.path, volume.sectorSize, settings);
    PartitionList& partitions = source.partitions;
    ASSERT_EQ(partitions.size(), 1u);
    size_t nodes = 0;
    size_t withData = 0;
    WalkTree(partitions, [&](const std::string& key, TDirectoryEntry& node) {
      SCOPED_TRACE(key);
      ++nodes;
      ASSERT_LT(node.DataLength(), uint64_t{1} << 32);  // no test image holds more
      for (const uint32_t count : {0u, 700u, 5000u}) {
        const Bytes collected = Collected(node, count);
        EXPECT_TRUE(Streamed(node, count) == collected) << "count " << count;
        if (count == 0 && !collected.empty()) ++withData;
      }
    });
    EXPECT_GE(nodes, 3u);
    EXPECT_GE(withData, 2u);
  }

  ScriptedFaults boxes;
};

TEST_P(StreamData, DeliversWhatGetDataDeliversForEveryEntry) {
  CompareEveryNode(0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_P(StreamData, DeliversWhatGetDataDeliversAroundUnreadableSectors) {
  boxes.readErrorAnswer = FaultAnswer::kIgnore;
  CompareEveryNode(37);
  EXPECT_FALSE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Images, StreamData, ::testing::ValuesIn(Volumes()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
