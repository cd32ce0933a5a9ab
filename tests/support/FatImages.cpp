#include "support/FatImages.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>

namespace {

// MTOOLS_SKIP_CHECK makes mtools accept image geometries it would otherwise question; mtools
// takes long names in the locale's character set, so the locale is UTF-8.
const std::string kTools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";

uint64_t DigitsOf(const std::string& text) {
  uint64_t value = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

// The name brindle-cli saves an entry under: the long name of a "LONG - SHORT" caption, else
// the caption, which is then the short name.
std::string SavedNameOf(const std::string& caption) {
  const size_t dash = caption.rfind(" - ");
  return dash == std::string::npos ? caption : caption.substr(0, dash);
}

// Builds one shared image and keeps, for every file and directory it makes, the node the tree
// is expected to show. Entries are keyed by their mtools path.
class Recipe {
 public:
  Recipe(const MtoolsVolume& volume, uint32_t clusterBytes) : volume_(volume), clusterBytes_(clusterBytes) {
    treePaths_["/"] = "\\";
    savedPaths_["/"] = "";
  }

  void Directory(const std::string& path, const std::string& shownName) {
    volume_.MakeDirectory(path);
    nodes_[path] = FolderNode(path, shownName, 0);
  }

  void File(const std::string& path, const std::string& shownName, size_t size, const std::string& mtime = "") {
    Bytes content = PatternBytes(size, ++seed_);
    volume_.Write(path, content, mtime);
    nodes_[path] = FileNode(path, shownName, 1, std::move(content));
  }

  // Files with 8.3 names into one directory, in this order, with one command.
  void Files(const std::string& directory, const std::vector<std::pair<std::string, size_t>>& files) {
    std::vector<std::pair<std::string, Bytes>> contents;
    for (const auto& [name, size] : files) {
      contents.emplace_back(name, PatternBytes(size, ++seed_));
      nodes_[directory + "/" + name] = FileNode(directory + "/" + name, name, 1, contents.back().second);
    }
    volume_.WriteAll(directory, contents);
  }

  // A deleted file keeps its slot and its bytes; only its name and state change.
  void DeleteFile(const std::string& path, const std::string& shownName) {
    volume_.Delete(path);
    ExpectedNode& node = nodes_.at(path);
    node = FileNode(path, shownName, 2, std::move(node.content));
  }

  // A deleted directory keeps its slot and still opens; everything in it was deleted with it
  // and is shown deleted, each under its name in shownNames (by mtools path, the directory's
  // own included).
  void DeleteDirectory(const std::string& path, const std::map<std::string, std::string>& shownNames) {
    volume_.DeleteTree(path);
    // Parents come before what they hold in the map's order, so their new paths are known.
    for (auto& [key, node] : nodes_) {
      if (key != path && key.rfind(path + "/", 0) != 0) continue;
      node = node.folder ? FolderNode(key, shownNames.at(key), 2)
                         : FileNode(key, shownNames.at(key), 2, std::move(node.content));
    }
  }

  // A file deleted to leave a hole: a later file takes its slot, so it is not seen again.
  void DeleteUnseen(const std::string& path) {
    volume_.Delete(path);
    nodes_.erase(path);
  }

  std::vector<ExpectedNode> Nodes() const {
    std::vector<ExpectedNode> nodes;
    for (const auto& [path, node] : nodes_) nodes.push_back(node);
    return nodes;
  }

  uint32_t clusterBytes() const { return clusterBytes_; }

 private:
  static std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

  // A folder's node, whose path is its own; what it holds goes below that path.
  ExpectedNode FolderNode(const std::string& path, const std::string& shownName, int32_t state) {
    const std::string parent = Parent(path);
    ExpectedNode node{treePaths_.at(parent) + shownName + "\\", shownName, state, {}, false, true,
                      savedPaths_.at(parent) + SavedNameOf(shownName)};
    treePaths_[path + "/"] = node.path;
    savedPaths_[path + "/"] = node.savedPath + "/";
    return node;
  }

  ExpectedNode FileNode(const std::string& path, const std::string& shownName, int32_t state, Bytes content) const {
    const std::string parent = Parent(path);
    return ExpectedNode{treePaths_.at(parent), shownName, state, std::move(content), true, false,
                        savedPaths_.at(parent) + SavedNameOf(shownName)};
  }

  const MtoolsVolume& volume_;
  uint32_t clusterBytes_;
  uint32_t seed_ = 0;
  // By mtools directory path ("/DOCS/"): the node path ("\\DOCS\\") and the saved path ("DOCS/").
  std::map<std::string, std::string> treePaths_;
  std::map<std::string, std::string> savedPaths_;
  std::map<std::string, ExpectedNode> nodes_;
};

struct Layout {
  int fatType;
  const char* options;
  uint32_t sizeKiB;
  const char* label;
  uint32_t clusterBytes;
};

constexpr Layout kLayouts[] = {
    {12, "-F 12 -n FLOPPY12", 1440, "FLOPPY12", 512},
    {16, "-F 16 -s 4 -n VOLUME16", 16384, "VOLUME16", 2048},
    {32, "-F 32 -s 1 -n VOLUME32", 34000, "VOLUME32", 512},  // the smallest FAT32 mkfs.fat makes
};

void AddNamesAndDirectories(Recipe& r) {
  r.File("/README.TXT", "README.TXT", 1000, "2009-04-15 15:52:58");
  r.File("/notes.txt", "notes.txt", 300);  // stored as NOTES.TXT with both case flags
  r.File("/EMPTY.TXT", "EMPTY.TXT", 0);
  r.File("/Données été.txt", "Données été.txt - DONNÉE~1.TXT", 2000);  // É is 0x90 in 437 and 850
  r.Directory("/DOCS", "DOCS");
  r.File("/DOCS/Привет мир.txt", "Привет мир.txt - ______~1.TXT", 1200);
  r.Directory("/DOCS/Nested Folder", "Nested Folder");
  r.File("/DOCS/Nested Folder/照片 18.txt", "照片 18.txt - __18~1.TXT", 3000);
  r.File("/DOCS/Removed report.txt", "Removed report.txt - REMOVE~1.TXT", 700);
  r.File("/DOCS/Jahresbericht Überweisung März.txt", "Jahresbericht Überweisung März.txt - JAHRES~1.TXT", 2500);
  r.Directory("/OLD", "OLD");
  r.File("/OLD/INSIDE.TXT", "INSIDE.TXT", 100);
  r.Directory("/OLD/Sub Folder", "Sub Folder");
  r.File("/OLD/Sub Folder/Tagebuch 日記 über den Sommer.txt", "Tagebuch 日記 über den Sommer.txt - TAGEBU~1.TXT", 1800);
  r.File("/OLD/Sub Folder/DEEP.BIN", "DEEP.BIN", 5000);
  r.File("/GONE.TXT", "GONE.TXT", 1500);

  r.Directory("/FILL", "FILL");
}

// Enough slots for three clusters of directory.
std::vector<std::string> AddManyEntries(Recipe& r) {
  r.Directory("/MANY", "MANY");
  std::vector<std::string> names;
  const uint32_t entries = r.clusterBytes() / 32 * 2 + 5;
  std::vector<std::pair<std::string, size_t>> files;
  for (uint32_t i = 1; i <= entries; ++i) {
    names.push_back("ENTRY" + std::to_string(1000 + i).substr(1) + ".TXT");
    files.emplace_back(names.back(), 20 + i);
  }
  r.Files("/MANY", files);
  return names;
}

// Fills the volume so that HIGH.BIN and LAST.BIN take its last clusters, LAST.BIN ending in
// the very last one. holeBytes are free but lie before the allocator's position.
void FillToTheEnd(const MtoolsVolume& volume, Recipe& r, uint64_t holeBytes) {
  const uint32_t cluster = r.clusterBytes();
  const uint64_t free = volume.FreeBytes();
  ASSERT_GT(free, holeBytes + 8 * cluster);
  r.File("/FILL/FILLER.BIN", "FILLER.BIN", free - holeBytes - 8 * cluster);
  r.File("/FILL/HIGH.BIN", "HIGH.BIN", 4 * cluster - 50);
  r.File("/FILL/LAST.BIN", "LAST.BIN", 4 * cluster - 100);
}

// FAT12 and FAT16: mtools takes the first free cluster, so D.BIN fills B.BIN's hole first and
// goes on after C.BIN.
void AddFragmentedFirstFit(const MtoolsVolume& volume, Recipe& r) {
  const uint32_t cluster = r.clusterBytes();
  r.File("/FILL/A.BIN", "A.BIN", 3 * cluster);
  r.File("/FILL/B.BIN", "B.BIN", 2 * cluster);
  r.File("/FILL/C.BIN", "C.BIN", cluster);
  r.DeleteUnseen("/FILL/B.BIN");
  r.File("/FILL/D.BIN", "D.BIN", 5 * cluster - 7);
  FillToTheEnd(volume, r, 0);
}

// FAT32: mtools goes on from its next-free hint, so D.BIN is written after the volume was filled
// to its end and wraps round into the holes that B1 and B2 left.
void AddFragmentedByWrapping(const MtoolsVolume& volume, Recipe& r) {
  const uint32_t cluster = r.clusterBytes();
  r.File("/FILL/A.BIN", "A.BIN", 3 * cluster);
  r.File("/FILL/B1.BIN", "B1.BIN", 2 * cluster);
  r.File("/FILL/C1.BIN", "C1.BIN", cluster);
  r.File("/FILL/B2.BIN", "B2.BIN", 2 * cluster);
  r.File("/FILL/C2.BIN", "C2.BIN", cluster);
  r.DeleteUnseen("/FILL/B1.BIN");
  r.DeleteUnseen("/FILL/B2.BIN");
  FillToTheEnd(volume, r, 4 * cluster);
  r.File("/FILL/D.BIN", "D.BIN", 3 * cluster + 10);
}

void DeleteLast(Recipe& r) {
  r.DeleteFile("/GONE.TXT", "_ONE.TXT");
  r.DeleteFile("/DOCS/Removed report.txt", "Removed report.txt - _EMOVE~1.TXT");
  r.DeleteFile("/DOCS/Jahresbericht Überweisung März.txt", "Jahresbericht Überweisung März.txt - _AHRES~1.TXT");
  r.DeleteFile("/FILL/HIGH.BIN", "_IGH.BIN");
  r.DeleteDirectory("/OLD", {{"/OLD", "_LD"},
                             {"/OLD/INSIDE.TXT", "_NSIDE.TXT"},
                             {"/OLD/Sub Folder", "Sub Folder - _UBFOL~1"},
                             {"/OLD/Sub Folder/Tagebuch 日記 über den Sommer.txt",
                              "Tagebuch 日記 über den Sommer.txt - _AGEBU~1.TXT"},
                             {"/OLD/Sub Folder/DEEP.BIN", "_EEP.BIN"}});
}

// The layout the tests rely on, checked with the tools' own view of the volume.
void CheckLayout(const MtoolsVolume& volume, int fatType) {
  const auto last = volume.ClusterRuns("/FILL/LAST.BIN");
  ASSERT_FALSE(last.empty());
  EXPECT_EQ(last.back().second, volume.DataClusters() + 1) << "LAST.BIN does not end the volume";
  EXPECT_GE(volume.ClusterRuns("/FILL/D.BIN").size(), 2u) << "D.BIN is not fragmented";
  if (fatType == 32) {
    EXPECT_GT(volume.ClusterRuns("/FILL/HIGH.BIN").front().first, 0xFFFFu) << "HIGH.BIN lies low";
  }
}

FatImage MakeImage(const Layout& layout, const std::string& path) {
  MtoolsVolume volume(path);
  volume.Format(layout.options, layout.sizeKiB);
  Recipe recipe(volume, layout.clusterBytes);
  AddNamesAndDirectories(recipe);
  std::vector<std::string> manyEntries = AddManyEntries(recipe);
  if (layout.fatType == 32) {
    AddFragmentedByWrapping(volume, recipe);
  } else {
    AddFragmentedFirstFit(volume, recipe);
  }
  CheckLayout(volume, layout.fatType);
  DeleteLast(recipe);
  return FatImage{path, layout.fatType, layout.label, layout.clusterBytes, recipe.Nodes(), std::move(manyEntries)};
}

}  // namespace

const FatImage& SharedFatImage(int fatType) {
  static TempDir dir;
  static std::map<int, FatImage> images;
  auto found = images.find(fatType);
  if (found != images.end()) return found->second;
  for (const Layout& layout : kLayouts) {
    if (layout.fatType == fatType) {
      return images[fatType] = MakeImage(layout, dir / ("fat" + std::to_string(fatType) + ".img"));
    }
  }
  throw std::invalid_argument("no shared FAT image of that type");
}

MtoolsVolume::MtoolsVolume(std::string image, uint64_t offset, int codePage)
    : image_(std::move(image)), offset_(offset) {
  const std::string settings = staging_ / "mtoolsrc";
  const std::string line = "default_codepage=" + std::to_string(codePage) + "\n";
  WriteFileBytes(settings, Bytes(line.begin(), line.end()));
  tools_ = kTools + "MTOOLSRC=" + ShellQuote(settings) + " ";
}

std::string MtoolsVolume::ImageOption() const {
  const std::string image = offset_ == 0 ? image_ : image_ + "@@" + std::to_string(offset_);
  return "-i " + ShellQuote(image);
}

std::string MtoolsVolume::Target(const std::string& path) const {
  return ImageOption() + " " + ShellQuote("::" + path);
}

void MtoolsVolume::Format(const std::string& options, uint32_t sizeKiB) const {
  const std::string where = offset_ == 0 ? "-C " : "--offset=" + std::to_string(offset_ / 512) + " ";
  RunCommand("mkfs.fat " + where + options + " " + ShellQuote(image_) + " " + std::to_string(sizeKiB));
}

void MtoolsVolume::MakeDirectory(const std::string& path) const { RunCommand(tools_ + "mmd " + Target(path)); }

void MtoolsVolume::Write(const std::string& path, const Bytes& content, const std::string& mtime) const {
  const std::string source = staging_ / "content";
  WriteFileBytes(source, content);
  std::string keepTime;
  if (!mtime.empty()) {
    RunCommand("touch -d " + ShellQuote(mtime + " UTC") + " " + ShellQuote(source));
    keepTime = "TZ=UTC ";
  }
  RunCommand(tools_ + keepTime + "mcopy -D o " + (mtime.empty() ? "" : "-m ") + ImageOption() + " " +
             ShellQuote(source) + " " + ShellQuote("::" + path));
}

void MtoolsVolume::WriteAll(const std::string& directory,
                            const std::vector<std::pair<std::string, Bytes>>& files) const {
  TempDir sources;
  std::string names;
  for (const auto& [name, content] : files) {
    WriteFileBytes(sources / name, content);
    names += " " + ShellQuote(sources / name);
  }
  RunCommand(tools_ + "mcopy -D o " + ImageOption() + names + " " + ShellQuote("::" + directory + "/"));
}

void MtoolsVolume::Label(const std::string& label) const {
  RunCommand(tools_ + "mlabel " + ImageOption() + " " + ShellQuote("::" + label));
}

void MtoolsVolume::Delete(const std::string& path) const { RunCommand(tools_ + "mdel " + Target(path)); }

void MtoolsVolume::DeleteTree(const std::string& path) const { RunCommand(tools_ + "mdeltree " + Target(path)); }

uint64_t MtoolsVolume::FreeBytes() const {
  const std::string listing = RunCommand(tools_ + "mdir " + Target("/"));
  const std::regex line(R"(([0-9 ]+) bytes free)");
  std::smatch match;
  if (!std::regex_search(listing, match, line)) {
    ADD_FAILURE() << "mdir gave no free space:\n" << listing;
    return 0;
  }
  return DigitsOf(match[1].str());
}

std::vector<std::pair<uint32_t, uint32_t>> MtoolsVolume::ClusterRuns(const std::string& path) const {
  const std::string report = RunCommand(tools_ + "mshowfat " + Target(path));
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  const std::regex run(R"(<([0-9]+)(?:-([0-9]+))?>)");
  for (std::sregex_iterator it(report.begin(), report.end(), run), end; it != end; ++it) {
    const auto first = static_cast<uint32_t>(DigitsOf((*it)[1].str()));
    const auto last = (*it)[2].matched ? static_cast<uint32_t>(DigitsOf((*it)[2].str())) : first;
    runs.emplace_back(first, last);
  }
  return runs;
}

uint32_t MtoolsVolume::DataClusters() const {
  const std::string report = RunCommand("fsck.fat -n -v " + ShellQuote(image_));
  const std::regex line(R"(([0-9]+) data clusters)");
  std::smatch match;
  if (!std::regex_search(report, match, line)) {
    ADD_FAILURE() << "fsck.fat gave no cluster count:\n" << report;
    return 0;
  }
  return static_cast<uint32_t>(DigitsOf(match[1].str()));
}
