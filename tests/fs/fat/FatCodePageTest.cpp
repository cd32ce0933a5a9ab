// 8.3 names and labels that mtools wrote in code page 850, read back with the code page the
// user names: the same bytes show other characters under 437.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/DiskImages.h"
#include "support/FatImages.h"

namespace {

OemCodePage CodePage(const std::string& name) {
  std::string error;
  std::optional<OemCodePage> codePage = OemCodePage::FromName(name, error);
  EXPECT_TRUE(codePage) << error;
  return codePage.value_or(OemCodePage::Default());
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A volume whose label and names hold bytes above 0x7F, as mtools stores them in 850.
void FillVolume(const MtoolsVolume& volume, const std::string& label) {
  volume.Label(label);
  volume.Write("/café.txt", Text("coffee"));  // no long name: CAFÉ.TXT with both case flags
  volume.Write("/ØL.TXT", Text("beer"));      // Ø is 0x9D in 850, ¥ in 437
  volume.Write("/ÕL.TXT", Text("oil"));       // Õ is 0xE5 in 850, stored as 0x05
  volume.Write("/ÕX.TXT", Text("gone"));
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
  FillVolume(volume, "CAFÉ NOËL");
  for (const Reading& r : kReadings) {
    PartitionList partitions = Discover(image, "512", CodePage(r.codePage));
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
    FillVolume(volume, "CAFÉ NOËL");
  }
  for (const Reading& r : kReadings) {
    PartitionList partitions = Discover(disk, "512", CodePage(r.codePage));
    ASSERT_EQ(partitions.size(), 2u) << r.codePage;
    for (const auto& partition : partitions) {
      EXPECT_EQ(partition->GetDescription(), "FAT12 partition \"" + r.label + "\"") << r.codePage;
      EXPECT_EQ(RootNames(*partition), r.names) << r.codePage;
    }
  }
}

}  // namespace
