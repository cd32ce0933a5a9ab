#pragma once
// What brindle-cli writes for the tools examiners already use: The Sleuth Kit's body file
// (`ls -r --bodyfile`, read by mactime and plaso), a table for a spreadsheet (`ls --csv`) and
// DFXML as fiwalk writes it (`report --dfxml`).

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fs/Partition.h"
#include "fs/TreeWalk.h"
#include "hash/Digest.h"

// How many byte runs of one entry a report lists at most.
inline constexpr size_t kMaxReportedRuns = 100000;

// The path of each entry of a walk as fls names it: from the walk's top, with the entries that
// the lost-and-found scan found, and what lies below them, under N:/$OrphanFiles.
class ReportPaths {
 public:
  // The path of item, visited after its parent as walks visit.
  const std::string& PathOf(const WalkItem& item);

 private:
  struct Level {
    std::string display;  // the walk's display path
    std::string path;     // the path reported
    bool orphan = false;
  };
  std::vector<Level> levels_;  // by depth
};

// Whether the lost-and-found scan found the entry (with or without a folder of its own).
bool IsOrphan(const TDirectoryEntry& entry);
// The length of an entry's data: its recorded length, and for a folder the length of its
// chain, as fls counts a folder's size.
uint64_t ReportedSize(TDirectoryEntry& entry);

// One line of a body file (3.x): MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime.
// path names the entry (see ReportPaths); a deleted entry is marked " (deleted)" as fls -m
// marks it, and its inode field is the index path with dashes ("1#0/2" is "1-0-2").
std::string BodyFileLine(const WalkItem& item, const std::string& path, uint64_t size);

// The header of `ls --csv` and the line of an entry, quoted as RFC 4180 quotes; the item's
// display path is printable already.
std::string CsvHeader();
std::string CsvLine(const WalkItem& item);

// Writes DFXML to out as the walk goes: the source, then a volume element per partition with
// a fileobject per entry.
class DfxmlWriter {
 public:
  DfxmlWriter(std::FILE* out, std::vector<HashAlgorithm> algorithms);
  void BeginSource(const std::string& imageName, uint64_t imageSize, uint32_t sectorSize,
                   const std::string& description);
  void BeginVolume(const TPartition& partition, uint32_t sectorSize);
  void FileObject(const WalkItem& item, const std::string& path, uint32_t sectorSize, uint64_t volumeOffset);
  void EndVolume();
  void End();

 private:
  std::FILE* out_;
  std::vector<HashAlgorithm> algorithms_;
  uint64_t nextId_ = 1;
};

// Text made fit for XML: the markup characters as entities, and what XML cannot hold (control
// characters, bytes that are not UTF-8) escaped as a terminal listing escapes them.
std::string XmlText(const std::string& text);
