#pragma once
// FAT volumes made with mkfs.fat and mtools, and what Brindle is expected to show of them. The
// shared images are made once per test process, on first use, and removed at its end.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/TestFiles.h"

// One node the tree is expected to hold, as the FAT nodes form it.
struct ExpectedNode {
  std::string path;     // a folder's own path ("\DOCS\"), a file's parent path ("\DOCS\")
  std::string name;     // the tree caption: "Long name.txt - LONGNA~1.TXT", "_ONE.TXT", ...
  int32_t state = 1;    // 0 directory, 1 file, 2 deleted
  Bytes content;        // what was written (for a deleted file: before it was deleted)
  bool checkContent = true;  // false for folders: their bytes are not a file's
  bool folder = false;       // a directory, live or deleted: it opens
  // Where brindle-cli recover puts it below the partition's folder, named as the entry was
  // named: "DOCS/Nested Folder/照片 18.txt".
  std::string savedPath;
};

struct FatImage {
  std::string path;
  int fatType = 0;
  std::string label;
  uint32_t clusterBytes = 0;
  std::vector<ExpectedNode> nodes;  // every node below the root
  std::vector<std::string> manyEntries;  // the names in /MANY, in the order they were written
};

// The shared volume of that FAT width (12, 16 or 32), each with a volume label, nested
// directories, long names with non-ASCII characters, an all-lower-case 8.3 name, an empty file,
// deleted files (one with a long name of three pieces), a deleted directory holding files and
// a deleted directory, a fragmented file, a directory of several clusters, a file that ends in
// the volume's last cluster and a deleted file written around a live one.
const FatImage& SharedFatImage(int fatType);

// mkfs.fat and mtools on one volume of an image file; offset is the volume's first byte, for
// volumes inside a partitioned disk. Paths are mtools paths from the volume root ("/DOCS/A.TXT").
// mtools writes 8.3 names and labels in codePage (850 is its own default), whatever the
// user's mtools configuration says.
class MtoolsVolume {
 public:
  explicit MtoolsVolume(std::string image, uint64_t offset = 0, int codePage = 850);

  // mkfs.fat with options ("-F 12 -n LABEL") over sizeKiB; at offset 0 it creates the image
  // file, elsewhere the image must exist and be large enough.
  void Format(const std::string& options, uint32_t sizeKiB) const;
  void MakeDirectory(const std::string& path) const;
  // Writes content to path; a non-empty mtime ("2009-04-15 15:52:58", UTC) is kept on it.
  void Write(const std::string& path, const Bytes& content, const std::string& mtime = "") const;
  // Writes each (name, content) into directory, in this order, with one command.
  void WriteAll(const std::string& directory, const std::vector<std::pair<std::string, Bytes>>& files) const;
  // mlabel: the label of the root directory and the boot sector.
  void Label(const std::string& label) const;
  void Delete(const std::string& path) const;
  void DeleteTree(const std::string& path) const;
  uint64_t FreeBytes() const;
  // The cluster runs of path as mshowfat reports them: (first, last) pairs.
  std::vector<std::pair<uint32_t, uint32_t>> ClusterRuns(const std::string& path) const;
  // The number of data clusters, as fsck.fat counts them (volumes at offset 0 only).
  uint32_t DataClusters() const;

 private:
  std::string ImageOption() const;
  std::string Target(const std::string& path) const;

  std::string image_;
  uint64_t offset_;
  TempDir staging_;
  std::string tools_;  // the environment every mtools command runs in
};
