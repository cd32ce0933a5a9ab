// The images made by tests/images/make-exfat-images.sh: every tree is walked whole and checked
// against the manifest the script wrote (names, states, sizes, paths and content bytes).

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "fs/exfat/ExfatNode.h"
#include "fs/exfat/ExfatPartition.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"

namespace {

std::string ImagePath(const std::string& name) { return std::string(BRINDLE_TEST_IMAGES_DIR) + "/" + name; }

struct Expected {
  std::string type, state;
  uint32_t size = 0, seed = 0, delivered = 0;
};

struct Manifest {
  std::string sectorSize;
  uint32_t firstSector = 0;
  std::string label;
  std::map<std::string, Expected> entries;  // by path from the root, "/"-separated
};

Manifest ReadManifest(const std::string& name) {
  Manifest manifest;
  std::ifstream in(ImagePath(name));
  EXPECT_TRUE(in) << name;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (line.empty() || line[0] == '#') continue;
    if (fields[0] == "sector-size") manifest.sectorSize = fields.at(1);
    else if (fields[0] == "first-sector") manifest.firstSector = static_cast<uint32_t>(std::stoul(fields.at(1)));
    else if (fields[0] == "label") manifest.label = fields.size() > 1 ? fields[1] : "";
    else {
      Expected e{fields.at(0), fields.at(1), static_cast<uint32_t>(std::stoul(fields.at(2))),
                 static_cast<uint32_t>(std::stoul(fields.at(3))), static_cast<uint32_t>(std::stoul(fields.at(4)))};
      manifest.entries[fields.at(5)] = e;
    }
  }
  return manifest;
}

// The node's path as the browser sees it, for a node found at manifest path `path`.
std::string BackslashPath(const std::string& path, bool directory) {
  std::string dir = directory ? path : path.substr(0, path.rfind('/') + 1);
  std::string result = "\\";
  for (char c : dir) result += c == '/' ? '\\' : c;
  if (directory) result += "\\";
  return result;
}

struct ExfatImage : ::testing::TestWithParam<const char*> {
  // Checks every child of node against the manifest, reading every directory, deleted ones too.
  void Walk(TDirectoryEntry& node, const std::string& prefix) {
    node.ReadChildren();
    for (const auto& child : node.children) {
      const std::string path = prefix + child->name;
      seen.push_back(path);
      SCOPED_TRACE(path);
      auto found = manifest.entries.find(path);
      if (found == manifest.entries.end()) {
        ADD_FAILURE() << "not in the manifest";
        continue;
      }
      const Expected& e = found->second;
      const bool deleted = e.state == "deleted";
      if (e.type == "dir") {
        ASSERT_EQ(child->state, kStateDirectory);
        EXPECT_EQ(static_cast<EXFATDirectoryNode&>(*child).entrySet->deleted, deleted);
        EXPECT_EQ(child->path, BackslashPath(path, true));
        Walk(*child, path + "/");
        continue;
      }
      EXPECT_EQ(child->state, deleted ? kStateDeleted : kStateFile);
      EXPECT_EQ(child->path, BackslashPath(path, false));
      EXPECT_EQ(child->size, e.size);
      uint32_t size = 0;
      ByteBuffer data = child->GetData(size);
      const Bytes pattern = PatternBytes(e.delivered, e.seed);
      EXPECT_EQ(size, e.delivered);
      EXPECT_TRUE(Bytes(data.begin(), data.end()) == pattern) << "content differs";
    }
  }

  Manifest manifest;
  std::vector<std::string> seen;
};

TEST_P(ExfatImage, TreeMatchesTheManifest) {
  const std::string image = GetParam();
  manifest = ReadManifest(image + ".manifest");
  OpenSource source(ImagePath(image + ".img"), manifest.sectorSize);
  PartitionEntry entry;
  entry.startLba = manifest.firstSector;
  EXFATPartition partition(&source.ref, entry);

  EXPECT_EQ(partition.label, manifest.label);
  EXPECT_EQ(partition.rootEntry->name, "Root (\\)");
  EXPECT_EQ(partition.rootEntry->path, "\\");
  EXPECT_FALSE(partition.rootEntry->children.empty());  // read by the constructor
  Walk(*partition.rootEntry, "");
  EXPECT_EQ(seen.size(), manifest.entries.size());
}

INSTANTIATE_TEST_SUITE_P(Images, ExfatImage, ::testing::Values("exfat-tree", "exfat-mbr", "exfat-4k"));

struct ExfatTreeImage : ::testing::Test {
  ExfatTreeImage() : source(ImagePath("exfat-tree.img")), partition(&source.ref, PartitionEntry{}) {}
  TDirectoryEntry& RootChild(const std::string& name) {
    for (auto& child : partition.rootEntry->children) {
      if (child->name == name) return *child;
    }
    throw std::runtime_error("no " + name);
  }
  OpenSource source;
  EXFATPartition partition;
};

TEST_F(ExfatTreeImage, DescriptionInformationAndLimitedReads) {
  EXPECT_EQ(partition.GetDescription(), "exFAT partition \"Données\"");

  RecordingInfoList list;
  partition.rootEntry->FillInfo(list);
  ASSERT_EQ(list.groups.size(), 1u);
  EXPECT_EQ(list.groups[0].title, "Basic information");
  ASSERT_EQ(list.rows.size(), 2u);  // the made-up root set has no file chunk
  EXPECT_EQ(list.rows[0].caption, "Starting cluster");
  EXPECT_EQ(list.rows[1].caption, "File size");
  EXPECT_EQ(list.rows[1].value, "0");

  TDirectoryEntry& file = RootChild("contiguous.bin");
  list = RecordingInfoList();  // the browser empties the list before each fill
  file.FillInfo(list);
  std::vector<std::string> captions;
  for (const auto& row : list.rows) captions.push_back(row.caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"Attributes", "Created date/time", "Modified date/time",
                                                "Last access date", "Starting cluster", "File size"}));
  EXPECT_EQ(*list.Find("File size"), "50000");
  EXPECT_EQ(file.attributesText, "A");
  EXPECT_EQ(file.modifiedText, *list.Find("Modified date/time"));
  EXPECT_EQ(file.createdText.size(), std::string("2024/01/01, 00:00:00").size());

  uint32_t size = kDumpSize;
  ByteBuffer head = file.GetData(size);
  EXPECT_EQ(size, kDumpSize);
  EXPECT_TRUE(Bytes(head.begin(), head.end()) == PatternBytes(kDumpSize, 5));

  // A directory delivers its raw entries: three chained clusters of them.
  TDirectoryEntry& many = RootChild("Many entries");
  size = 0;
  ByteBuffer entries = many.GetData(size);
  EXPECT_EQ(size, 3u * 4096);
  EXPECT_EQ(entries[0], 0x85);
}

TEST(ExfatSectorSize, VolumeOfOtherSectorSizeGivesAnEmptyRoot) {
  OpenSource source(ImagePath("exfat-4k.img"), "512");
  EXFATPartition partition(&source.ref, PartitionEntry{});
  EXPECT_TRUE(partition.rootEntry->children.empty());
  EXPECT_EQ(partition.GetDescription(), "exFAT partition, no label");
}

}  // namespace
