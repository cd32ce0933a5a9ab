// FAT12, FAT16 and FAT32 volumes made by mkfs.fat and mtools, read back through the tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "fs/fat/FatNode.h"
#include "fs/fat/FatPartition.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"

namespace {

// Every node below dir, keyed by path + name (a folder by its own path), reading each folder,
// deleted ones too, as the browser does when it is selected.
void Walk(TDirectoryEntry& dir, std::map<std::string, TDirectoryEntry*>& nodes) {
  for (auto& child : dir.children) {
    const std::string key = child->IsFolder() ? child->path : child->path + child->name;
    EXPECT_TRUE(nodes.emplace(key, child.get()).second) << "two nodes at " << key;
    if (child->IsFolder()) {
      child->ReadChildren();
      Walk(*child, nodes);
    }
  }
}

Bytes DataOf(TDirectoryEntry& node, uint32_t& size) {
  ByteBuffer data = node.GetData(size);
  return Bytes(data.begin(), data.end());
}

struct FatImageTest : ::testing::TestWithParam<int> {
  FatImageTest() : image(SharedFatImage(GetParam())), source(image.path), partition(&source.ref, PartitionEntry{}) {}

  TDirectoryEntry& Root() { return *partition.rootEntry; }
  TDirectoryEntry& Child(TDirectoryEntry& dir, const std::string& name) {
    if (dir.children.empty()) dir.ReadChildren();
    for (auto& child : dir.children) {
      if (child->name == name) return *child;
    }
    throw std::runtime_error("no child " + name);
  }

  const FatImage& image;
  OpenSource source;
  TFATPartition partition;
};

TEST_P(FatImageTest, TheTreeHoldsWhatWasWrittenLiveAndDeleted) {
  EXPECT_EQ(partition.fatType, image.fatType);
  EXPECT_EQ(partition.GetDescription(), "FAT" + std::to_string(image.fatType) + " partition \"" + image.label + "\"");
  EXPECT_EQ(Root().name, "\\ (Root)");
  EXPECT_EQ(Root().path, "\\");
  EXPECT_EQ(partition.DataClusterCount(), MtoolsVolume(image.path).DataClusters());

  std::map<std::string, TDirectoryEntry*> nodes;
  Walk(Root(), nodes);
  std::map<std::string, const ExpectedNode*> expected;
  for (const ExpectedNode& node : image.nodes) {
    expected[node.folder ? node.path : node.path + node.name] = &node;
  }
  for (const auto& [key, node] : nodes) EXPECT_TRUE(expected.count(key)) << "unexpected node " << key;

  for (const auto& [key, want] : expected) {
    auto found = nodes.find(key);
    if (found == nodes.end()) {
      ADD_FAILURE() << "missing node " << key;
      continue;
    }
    TDirectoryEntry& node = *found->second;
    EXPECT_EQ(node.name, want->name) << key;
    EXPECT_EQ(node.state, want->state) << key;
    EXPECT_EQ(node.IsDeleted(), want->state == kStateDeleted) << key;
    EXPECT_EQ(node.IsFolder(), want->folder) << key;
    if (want->state == kStateDirectory) continue;
    EXPECT_EQ(node.size, want->content.size()) << key;
    if (!want->checkContent) continue;
    uint32_t size = node.size;
    const Bytes data = DataOf(node, size);
    EXPECT_EQ(size, want->content.size()) << key;
    EXPECT_TRUE(data == want->content) << "content of " << key;
    // A preview asks for the first bytes only.
    size = kDumpSize;
    const Bytes head = DataOf(node, size);
    EXPECT_EQ(size, std::min<size_t>(kDumpSize, want->content.size())) << key;
    EXPECT_TRUE(std::equal(head.begin(), head.end(), want->content.begin())) << "first bytes of " << key;
  }
}

TEST_P(FatImageTest, ADirectoryOfSeveralClustersKeepsItsOrder) {
  TDirectoryEntry& many = Child(Root(), "MANY");
  many.ReadChildren();
  ASSERT_EQ(many.children.size(), image.manyEntries.size());
  for (size_t i = 0; i < image.manyEntries.size(); ++i) {
    EXPECT_EQ(many.children[i]->name, image.manyEntries[i]);
  }
  uint32_t size = 0;
  const Bytes raw = DataOf(many, size);
  EXPECT_EQ(raw.size() % image.clusterBytes, 0u);
  EXPECT_GE(raw.size(), 3 * size_t{image.clusterBytes});
  EXPECT_EQ(raw[0], '.');  // the directory's own slots, "." first
}

// A deleted folder's data are its own slots as read back from free clusters: "." first, up to
// the end marker; its children, a deleted folder among them, are all deleted.
TEST_P(FatImageTest, ADeletedFolderDeliversItsSlotsAndOpens) {
  TDirectoryEntry& old = Child(Root(), "_LD");
  EXPECT_TRUE(old.IsFolder());
  EXPECT_EQ(old.state, kStateDeleted);
  uint32_t size = 0;
  const Bytes raw = DataOf(old, size);
  ASSERT_EQ(raw.size(), 5u * 32);  // ".", "..", INSIDE.TXT, and Sub Folder's long name and short name
  EXPECT_EQ(std::string(raw.begin(), raw.begin() + 11), ".          ");
  size = 40;
  EXPECT_EQ(DataOf(old, size), Bytes(raw.begin(), raw.begin() + 40));

  TDirectoryEntry& sub = Child(old, "Sub Folder - _UBFOL~1");
  EXPECT_EQ(sub.path, "\\_LD\\Sub Folder - _UBFOL~1\\");
  EXPECT_TRUE(sub.IsFolder());
  EXPECT_TRUE(Child(sub, "_EEP.BIN").IsDeleted());
}

TEST_P(FatImageTest, InformationRowsComeFromTheSlot) {
  TDirectoryEntry& readme = Child(Root(), "README.TXT");
  const uint32_t firstCluster = MtoolsVolume(image.path).ClusterRuns("/README.TXT").at(0).first;
  RecordingInfoList list;
  readme.FillInfo(list);
  ASSERT_EQ(list.groups.size(), 1u);
  EXPECT_EQ(list.groups[0].title, "Basic information");
  EXPECT_TRUE(list.groupView);
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"Attributes", "A"},
      {"Created date/time", "2009/04/15, 15:52:58"},
      {"Modified date/time", "2009/04/15, 15:52:58"},
      {"Last access date", "2009/04/15"},
      {"Starting cluster", std::to_string(firstCluster)},
      {"File size", "1000"},
      {"Data", "whole"},
  };
  ASSERT_EQ(list.rows.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(list.rows[i].caption, rows[i].first);
    EXPECT_EQ(list.rows[i].value, rows[i].second);
  }
  EXPECT_EQ(readme.modifiedText, "2009/04/15, 15:52:58");
  EXPECT_EQ(readme.attributesText, "A");
}

TEST_P(FatImageTest, NodesSayTheirNamesAndTimeApartFromTheCaption) {
  TDirectoryEntry& readme = Child(Root(), "README.TXT");
  EXPECT_EQ(readme.LongName(), "");
  EXPECT_EQ(readme.ShortName(), "README.TXT");
  EXPECT_EQ(readme.FileName(), "README.TXT");
  const std::optional<RecordedTime> time = readme.ModifiedTime();
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(std::tie(time->stamp.year, time->stamp.month, time->stamp.day, time->stamp.hour, time->stamp.minute,
                     time->stamp.seconds),
            std::make_tuple(2009u, 4u, 15u, 15u, 52u, 58u));
  EXPECT_FALSE(time->utcOffsetMinutes.has_value());  // FAT keeps local time

  TDirectoryEntry& longFile = Child(Root(), "Données été.txt - DONNÉE~1.TXT");
  EXPECT_EQ(longFile.LongName(), "Données été.txt");
  EXPECT_EQ(longFile.ShortName(), "DONNÉE~1.TXT");
  EXPECT_EQ(longFile.FileName(), "Données été.txt");
  TDirectoryEntry& folder = Child(Child(Root(), "DOCS"), "Nested Folder");
  EXPECT_TRUE(folder.IsFolder());
  EXPECT_EQ(folder.LongName(), "Nested Folder");
  EXPECT_FALSE(Root().ModifiedTime().has_value());  // the synthetic root record keeps no time
  EXPECT_FALSE(Root().CreatedTime().has_value());

  // The creation time with its 10-ms count is the one the window shows; a folder, which keeps
  // no texts, records both times all the same.
  const std::optional<RecordedTime> created = readme.CreatedTime();
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(FormatDosDate(created->stamp) + ", " + FormatDosTime(created->stamp, created->hundredths),
            readme.createdText);
  EXPECT_TRUE(folder.CreatedTime().has_value());
  EXPECT_TRUE(folder.ModifiedTime().has_value());
}

TEST_P(FatImageTest, TheRootDeliversItsSlots) {
  RecordingInfoList list;
  Root().FillInfo(list);
  uint32_t size = 64;
  const Bytes raw = DataOf(Root(), size);
  if (image.fatType == 32) {
    EXPECT_EQ(*list.Find("Starting cluster"), "2");
    EXPECT_EQ(*list.Find("File size"), "0");
    EXPECT_EQ(raw.size(), 64u);
  } else {
    // The fixed root region comes whole, whatever is asked.
    const uint32_t rootBytes = (image.fatType == 12 ? 224 : 512) * 32;
    EXPECT_EQ(*list.Find("Starting cluster"), "0");
    EXPECT_EQ(*list.Find("File size"), std::to_string(rootBytes));
    EXPECT_EQ(*list.Find("Created date/time"), "");  // the synthetic record keeps no dates
    EXPECT_EQ(*list.Find("Attributes"), "");
    EXPECT_EQ(raw.size(), rootBytes);
    EXPECT_EQ(size, rootBytes);
  }
  // The volume label slot leads the root and is no node.
  EXPECT_EQ(std::string(raw.begin(), raw.begin() + 8), image.label);
}

INSTANTIATE_TEST_SUITE_P(Widths, FatImageTest, ::testing::Values(12, 16, 32),
                         [](const auto& info) { return "FAT" + std::to_string(info.param); });

// AROUND.BIN is written into the holes that two deleted files left on either side of LIVE.BIN,
// then deleted. Its clusters are the free ones from its first on; LIVE.BIN's lie between them.
// (FAT12 and FAT16 fill the first hole first; FAT32 wraps round from the end of the volume.)
struct AroundALiveFile : ::testing::TestWithParam<int> {};

TEST_P(AroundALiveFile, ADeletedFileWrittenAroundALiveOneComesBackWhole) {
  const int width = GetParam();
  const uint32_t cluster = width == 16 ? 2048 : 512;
  TempDir dir;
  MtoolsVolume volume(dir / "around.img");
  volume.Format(width == 12   ? "-F 12"
                : width == 16 ? "-F 16 -s 4"
                              : "-F 32 -s 1",
                width == 12 ? 1440 : width == 16 ? 16384 : 34000);
  volume.Write("/BEFORE.BIN", PatternBytes(3 * cluster, 1));
  const Bytes live = PatternBytes(2 * cluster, 2);
  volume.Write("/LIVE.BIN", live);
  volume.Write("/AFTER.BIN", PatternBytes(4 * cluster, 3));
  volume.Write("/FILL.BIN", PatternBytes(volume.FreeBytes(), 4));
  volume.Delete("/BEFORE.BIN");
  volume.Delete("/AFTER.BIN");
  const Bytes around = PatternBytes(7 * cluster - 100, 5);
  volume.Write("/AROUND.BIN", around);
  const auto runs = volume.ClusterRuns("/AROUND.BIN");
  const auto liveRuns = volume.ClusterRuns("/LIVE.BIN");
  ASSERT_EQ(runs.size(), 2u);
  ASSERT_EQ(liveRuns.size(), 1u);
  ASSERT_EQ(liveRuns[0].first, runs[0].second + 1);
  ASSERT_EQ(runs[1].first, liveRuns[0].second + 1);
  volume.Delete("/AROUND.BIN");

  OpenSource source(dir / "around.img");
  TFATPartition partition(&source.ref, PartitionEntry{});
  auto& children = partition.rootEntry->children;
  auto found = std::find_if(children.begin(), children.end(), [](auto& c) { return c->name == "_ROUND.BIN"; });
  ASSERT_NE(found, children.end());
  uint32_t size = 0;
  const Bytes data = DataOf(**found, size);
  EXPECT_EQ(data.size(), around.size());
  EXPECT_TRUE(data == around) << "content differs";
}

INSTANTIATE_TEST_SUITE_P(Widths, AroundALiveFile, ::testing::Values(12, 16, 32),
                         [](const auto& info) { return "FAT" + std::to_string(info.param); });

// A deleted folder whose slots fill the volume's last two clusters: read back from the free
// clusters, the walk ends with the volume and every slot is there.
struct SmallestVolume {
  int width;
  const char* options;
  uint32_t sizeKiB, clusterBytes;
};

struct AtTheVolumesEnd : ::testing::TestWithParam<SmallestVolume> {};

TEST_P(AtTheVolumesEnd, ADeletedFolderInTheLastClustersOpensWhole) {
  const SmallestVolume& layout = GetParam();
  TempDir dir;
  MtoolsVolume volume(dir / "end.img");
  volume.Format(layout.options, layout.sizeKiB);
  volume.Write("/FILL.BIN", PatternBytes(volume.FreeBytes() - 2 * layout.clusterBytes, 1));
  volume.MakeDirectory("/LASTDIR");
  // Empty files take no clusters: their slots fill the folder's two after "." and "..".
  std::vector<std::pair<std::string, Bytes>> files;
  for (uint32_t i = 0; i < 2 * layout.clusterBytes / 32 - 2; ++i) {
    files.emplace_back("E" + std::to_string(1000 + i) + ".TXT", Bytes{});
  }
  volume.WriteAll("/LASTDIR", files);
  const auto runs = volume.ClusterRuns("/LASTDIR");
  ASSERT_FALSE(runs.empty());
  ASSERT_EQ(runs.back().second, volume.DataClusters() + 1) << "LASTDIR does not end the volume";
  volume.DeleteTree("/LASTDIR");

  OpenSource source(dir / "end.img");
  TFATPartition partition(&source.ref, PartitionEntry{});
  std::vector<std::string> names;
  for (auto& child : partition.rootEntry->children) {
    if (child->name != "_ASTDIR") continue;
    EnsureChildren(*child);
    for (auto& inside : child->children) names.push_back(inside->name);
  }
  ASSERT_EQ(names.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(names[i], "_" + files[i].first.substr(1)) << i;
}

INSTANTIATE_TEST_SUITE_P(Widths, AtTheVolumesEnd,
                         ::testing::Values(SmallestVolume{12, "-F 12", 1440, 512},
                                           SmallestVolume{16, "-F 16 -s 4", 16384, 2048},
                                           SmallestVolume{32, "-F 32 -s 1", 34000, 512}),
                         [](const auto& info) { return "FAT" + std::to_string(info.param.width); });

}  // namespace
