// 8.3 names and labels that mtools wrote in code page 850, read back with the code page the
// user names: the same bytes show other characters under 437.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/CodePages.h"
#include "support/DiskImages.h"
#include "support/FatImages.h"

namespace {

// A volume whose label and names hold bytes above 0x7F, as mtools stores them in 850.
void FillVolume(const MtoolsVolume& volume) {
  volume.Label("CAFÉ NOËL");  // Ë is 0xD3 in 850, ╙ in 437
  volume.Write("/café.txt", PatternBytes(10, 1));  // no long name: CAFÉ.TXT with both case flags
  volume.Write("/ØL.TXT", PatternBytes(20, 2));    // Ø is 0x9D in 850, ¥ in 437
  volume.Write("/ÕL.TXT", PatternBytes(30, 3));    // Õ is 0xE5 in 850, stored as 0x05
  volume.Write("/ÕX.TXT", PatternBytes(40, 4));
  volume.Delete("/ÕX.TXT");  // its first byte is lost to the deletion mark
}

// The names of the root's children and what each saves under.
std::set<std::string> RootNames(TPartition& partition) {
  std::set<std::string> names;
  for (const auto& child : partition.rootEntry->children) {
    EXPECT_EQ(child->FileName(), child->name);  // short names alone: the caption is the name
    names.insert(child->name);
  }
  return names;
}

struct Reading {
  const char* codePage;
  std::string label;
  std::set<std::string> names;
};

const Reading kReadings[] = {
    {"850", "CAFÉ NOËL", {"café.txt", "ØL.TXT", "ÕL.TXT", "_X.TXT"}},
    {"cp437", "CAFÉ NO╙L", {"café.txt", "¥L.TXT", "σL.TXT", "_X.TXT"}},
};

TEST_F(DiscoveryFixture, ShortNamesAndLabelsAreReadInTheCodePageNamed) {
  const std::string image = dir / "cafe.img";
  const MtoolsVolume volume(image, 0, 850);
  volume.Format("-F 12", 1440);
  FillVolume(volume);
  for (const Reading& r : kReadings) {
    PartitionList partitions = Discover(image, "512", r.codePage);
    ASSERT_EQ(partitions.size(), 1u) << r.codePage;
    EXPECT_EQ(partitions[0]->label, r.label) << r.codePage;
    EXPECT_EQ(RootNames(*partitions[0]), r.names) << r.codePage;
  }
  // Without a code page named, 437.
  PartitionList partitions = Discover(image);
  ASSERT_EQ(partitions.size(), 1u);
  EXPECT_EQ(RootNames(*partitions[0]), kReadings[1].names);
}

// Every FAT volume discovery makes decodes with the code page: one behind a primary entry and
// one behind a logical drive, with their labels in the root and in the boot sector.
TEST_F(DiscoveryFixture, EveryPartitionFoundTakesTheCodePage) {
  const std::string disk = MakeDisk("disk.img", "16M",
                                    "label: dos\n"
                                    "start=2048, size=4096, type=1\n"
                                    "start=8192, size=16384, type=5\n"
                                    "start=10240, size=4096, type=1\n");
  for (const uint64_t start : {2048, 10240}) {
    const MtoolsVolume volume(disk, start * 512, 850);
    volume.Format("-F 12", 2048);
    FillVolume(volume);
  }
  for (const Reading& r : kReadings) {
    PartitionList partitions = Discover(disk, "512", r.codePage);
    ASSERT_EQ(partitions.size(), 2u) << r.codePage;
    for (const auto& partition : partitions) {
      EXPECT_EQ(partition->GetDescription(), "FAT12 partition \"" + r.label + "\"") << r.codePage;
      EXPECT_EQ(RootNames(*partition), r.names) << r.codePage;
    }
  }
}

}  // namespace
