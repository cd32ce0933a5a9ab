// The Sleuth Kit as a second opinion on the test images: fls lists them, tsk_recover and icat
// read them, and the names, sizes and bytes of every live file and directory must be what
// Brindle shows. Deleted files are recovered by guesswork in both tools, and differently:
// where the two differ is printed, not failed. Skipped when The Sleuth Kit is not installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>

#include "fs/Discovery.h"
#include "fs/exfat/ExfatNode.h"
#include "fs/fat/FatNode.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"
#include "support/OpenSource.h"
#include "support/TestFiles.h"
#include "support/TreeSnapshot.h"

namespace {

bool HaveSleuthKit() {
  return std::system("{ command -v fls && command -v icat && command -v tsk_recover; } >/dev/null 2>&1") == 0;
}

// One line of fls -r -p -l.
struct TskEntry {
  std::string path;  // "/"-separated from the root
  std::string inode;
  bool directory = false;
  bool deleted = false;
  bool reallocated = false;  // TSK holds the entry's metadata to be in use by another file
  uint64_t size = 0;
};

std::vector<TskEntry> ListWithFls(const std::string& tskSource) {
  const std::string listing = RunCommand("fls -r -p -l" + tskSource);
  const std::regex head(R"(^(.)/(.) (\* )?([0-9]+)(\(realloc\))?:$)");
  std::vector<TskEntry> entries;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    std::smatch m;
    if (fields.size() < 7 || !std::regex_match(fields[0], m, head)) {
      ADD_FAILURE() << "an fls line not understood: " << line;
      continue;
    }
    const std::string& path = fields[1];
    // TSK's own virtual files ($MBR, $FAT1, $OrphanFiles, $ALLOC_BITMAP, ...) and label entries.
    if (m[1] == "v" || m[1] == "V" || path[0] == '$' || path.find("(Volume Label Entry)") != std::string::npos) {
      continue;
    }
    entries.push_back({path, m[4], m[1] == "d" || m[2] == "d", m[3].matched, m[5].matched,
                       std::stoull(fields[6])});
  }
  return entries;
}

// A node as TSK would name it: FAT files and folders by their long name alone, where Brindle's
// caption adds " - " and the short name; paths "/"-separated, without the leading one.
struct BrindleEntry {
  std::string path;
  TDirectoryEntry* node = nullptr;
  bool directory = false;
  bool deleted = false;
};

void ListBelow(TDirectoryEntry& folder, const std::string& prefix, std::vector<BrindleEntry>& entries) {
  EnsureChildren(folder);
  for (auto& child : folder.children) {
    const std::string longName = child->LongName();
    const BrindleEntry e{prefix + (longName.empty() ? child->name : longName), child.get(), child->IsFolder(),
                         child->IsDeleted()};
    entries.push_back(e);
    if (e.directory) ListBelow(*child, e.path + "/", entries);
  }
}

std::vector<BrindleEntry> ListWithBrindle(PartitionList& partitions) {
  std::vector<BrindleEntry> entries;
  ListBelow(*partitions[0]->rootEntry, "", entries);
  return entries;
}

Bytes DataOf(TDirectoryEntry& node) {
  uint32_t size = node.size;
  const ByteBuffer data = node.GetData(size);
  return Bytes(data.begin(), data.end());
}

std::string CompareBytes(const Bytes& brindle, const Bytes& tsk) {
  if (brindle == tsk) return "";
  const auto diff = std::mismatch(brindle.begin(), brindle.end(), tsk.begin(), tsk.end());
  return "Brindle gives " + std::to_string(brindle.size()) + " bytes, TSK " + std::to_string(tsk.size()) +
         "; they differ from byte " + std::to_string(diff.first - brindle.begin()) + " on";
}

struct OracleImage {
  std::string name;
  std::string path;
  std::string sectorSize;
  uint32_t firstSector = 0;
};

OracleImage ImageNamed(const std::string& name) {
  if (name.rfind("fat", 0) == 0) return {name, SharedFatImage(std::stoi(name.substr(3))).path, "512", 0};
  const ExfatManifest manifest = ReadExfatManifest(name);
  return {name, TestImagePath(name + ".img"), manifest.sectorSize, manifest.firstSector};
}

struct SleuthKitOracle : ::testing::TestWithParam<std::string> {
  void SetUp() override {
    if (!HaveSleuthKit()) GTEST_SKIP() << "The Sleuth Kit (fls, icat, tsk_recover) is not installed";
  }
};

TEST_P(SleuthKitOracle, LiveEntriesAgreeAndDeletedRecoveriesAreCompared) {
  const OracleImage image = ImageNamed(GetParam());
  const std::string tskSource =
      " -o " + std::to_string(image.firstSector) + " -b " + image.sectorSize + " " + ShellQuote(image.path);
  TempDir dir;
  const std::vector<TskEntry> tsk = ListWithFls(tskSource);
  RunCommand("tsk_recover -a" + tskSource + " " + ShellQuote(dir / "live"));

  OpenSource source(image.path, image.sectorSize);
  PartitionList& partitions = source.partitions;
  ASSERT_EQ(partitions.size(), 1u);
  std::vector<BrindleEntry> brindle = ListWithBrindle(partitions);

  // Live entries: the same names, kinds, sizes and bytes.
  std::map<std::string, const BrindleEntry*> brindleLive;
  for (const BrindleEntry& e : brindle) {
    if (!e.deleted) brindleLive[e.path] = &e;
  }
  size_t compared = 0;
  for (const TskEntry& t : tsk) {
    if (t.deleted) continue;
    SCOPED_TRACE(t.path);
    auto found = brindleLive.find(t.path);
    if (found == brindleLive.end()) {
      ADD_FAILURE() << "TSK lists it, Brindle does not";
      continue;
    }
    const BrindleEntry& b = *found->second;
    brindleLive.erase(found);
    EXPECT_EQ(b.directory, t.directory);
    if (t.directory) continue;
    EXPECT_EQ(b.node->size, t.size);
    // tsk_recover writes no file for an empty one.
    const std::string recovered = dir / ("live/" + t.path);
    const Bytes expected = FileExists(recovered) ? ReadFileBytes(recovered) : Bytes();
    EXPECT_EQ(CompareBytes(DataOf(*b.node), expected), "");
    ++compared;
  }
  for (const auto& [path, b] : brindleLive) ADD_FAILURE() << path << ": Brindle shows it live, TSK does not list it";
  EXPECT_GT(compared, 0u);

  // Deleted entries: paired by path.
  std::vector<std::string> differences;
  std::vector<const TskEntry*> tskDeleted;
  for (const TskEntry& t : tsk) {
    if (t.deleted) tskDeleted.push_back(&t);
  }
  for (const BrindleEntry& b : brindle) {
    if (!b.deleted) continue;
    auto match = std::find_if(tskDeleted.begin(), tskDeleted.end(), [&](const TskEntry* t) { return t->path == b.path; });
    if (match == tskDeleted.end()) {
      differences.push_back(b.path + " (\"" + b.node->name + "\"): only Brindle shows it");
      continue;
    }
    const TskEntry& t = **match;
    tskDeleted.erase(match);
    const std::string what = b.path + (t.path != b.path ? " (TSK: " + t.path + ")" : "") + ": ";
    if (t.path != b.path) differences.push_back(what + "named differently: Brindle \"" + b.node->name + "\"");
    if (b.directory != t.directory) {
      differences.push_back(what + (t.directory ? "TSK lists a directory, Brindle a deleted file"
                                                : "Brindle shows a directory, TSK a file"));
    }
    if (b.directory || t.directory) continue;
    if (b.node->size != t.size) {
      differences.push_back(what + "size " + std::to_string(b.node->size) + " in Brindle, " + std::to_string(t.size) +
                            " in TSK");
    }
    const std::string file = dir / ("deleted-" + t.inode);
    const std::string icat = RunCommand("{ icat -r" + tskSource + " " + t.inode + " >" + ShellQuote(file) +
                                        " || echo 'icat failed'; }");
    const std::string bytes = CompareBytes(DataOf(*b.node), ReadFileBytes(file));
    if (!bytes.empty()) {
      differences.push_back(what + "content: " + bytes + (t.reallocated ? " (TSK holds it reallocated)" : "") +
                            (icat.empty() ? "" : "; icat said: " + icat));
    }
  }
  for (const TskEntry* t : tskDeleted) {
    differences.push_back(t->path + ": only TSK lists it" + (t->directory ? " (a directory)" : "") +
                          (t->reallocated ? " (reallocated)" : ""));
  }
  std::cout << "[ DELETED  ] " << image.name << ": " << differences.size()
            << " difference(s) between Brindle's and The Sleuth Kit's deleted entries\n";
  for (const std::string& line : differences) std::cout << "             " << line << "\n";
}

INSTANTIATE_TEST_SUITE_P(Images, SleuthKitOracle,
                         ::testing::Values("fat12", "fat16", "fat32", "exfat-tree", "exfat-mbr", "exfat-4k"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
