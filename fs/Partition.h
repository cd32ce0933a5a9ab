#pragma once
// The abstract partition and tree node that the browser works with. The FAT and exFAT
// families derive from them; the browser knows only these.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/SectorReader.h"
#include "fs/ClusterTrail.h"
#include "fs/ByteSink.h"
#include "fs/Completeness.h"
#include "fs/DosFields.h"
#include "fs/InfoList.h"
#include "fs/LostScanVolume.h"
#include "fs/MemoryStream.h"
#include "fs/PartitionEntry.h"

// What a node stands for; also picks its icon.
enum EntryState : int32_t {
  kStateDirectory = 0,
  kStateFile = 1,
  kStateDeleted = 2,
};

// Byte counts the browser asks of GetData.
inline constexpr uint32_t kDumpSize = 0x4000;
inline constexpr uint32_t kPictureSize = 0x1000000;

class TPartition;

// How an entry came to be known: through the live tree, as a deleted entry of it, in a folder
// that a scan found on the volume although no folder of the tree leads to it any more (lost),
// or by its content alone, without any directory entry (found).
enum class EntryOrigin { kLive, kDeleted, kLost, kFound };

// Where a directory's entries begin on the medium: two directory nodes with the same start
// read the same entries, however they were reached.
struct DirectoryStart {
  const TPartition* partition = nullptr;
  uint32_t firstCluster = 0;  // 0 for the fixed root region of FAT12 and FAT16
};

// A date and time as an entry records it: the clock fields as stored and, where the medium
// records one, the offset from UTC. Without an offset the time is the local time of whoever
// wrote it, as FAT keeps every time.
struct RecordedTime {
  DosDateTime stamp;
  unsigned hundredths = 0;
  std::optional<int> utcOffsetMinutes;
};

// Where a part of an entry's data lies: length bytes of it, from byte fileOffset of the data
// on, at byte mediumOffset of the source. Data that lies in no one place of the source (slots
// gathered in memory, zeros beyond the source's end or a file's valid length) has no
// mediumOffset; zeros says whether it is all zeros.
struct ByteRun {
  uint64_t fileOffset = 0;
  std::optional<uint64_t> mediumOffset;
  uint64_t length = 0;
  bool zeros = false;
};

struct DataRunList {
  std::vector<ByteRun> runs;
  bool complete = true;  // false when the limit on runs cut the list short
};

// One node of a partition's directory tree: a directory, a file or a deleted entry.
class TDirectoryEntry {
 public:
  explicit TDirectoryEntry(ReaderRef* readerRef) : readerRef(readerRef) {}
  virtual ~TDirectoryEntry() = default;
  TDirectoryEntry(const TDirectoryEntry&) = delete;
  TDirectoryEntry& operator=(const TDirectoryEntry&) = delete;

  virtual std::string GetPath() const { return path; }
  // The entry's bytes as stored on the medium: at most size bytes, all of them when size is 0.
  // On return size is the number of bytes delivered; nothing read gives an empty buffer and 0.
  // Reads are 32-bit: for the hex view, the preview and anything else that wants the first
  // bytes in memory.
  virtual ByteBuffer GetData(uint32_t& size);
  // The same bytes, sent to sink in pieces through a buffer of bounded size, and as many as
  // the entry holds: at most limit bytes, all of them when limit is 0. What GetData delivers
  // for a count is the start of what this delivers for the same limit. Returns false when the
  // sink stopped the read. An entry without a streamed read of its own hands over GetData's
  // bytes in one piece.
  virtual bool StreamData(ByteSink& sink, uint64_t limit);
  // The entry's length as its record states it, all 64 bits of it; 0 for directories, whose
  // data is their chain. The data delivered may be shorter: reads end with the chain and the
  // volume.
  virtual uint64_t DataLength() const { return size; }
  // How complete the entry's data is, found from its allocation data without reading the data
  // itself: how many of its bytes the volume still gives and why the others are missing.
  // Sectors that cannot be read show only when the data is read (StreamChecked). By default,
  // what StreamData delivers to a sink that only measures.
  virtual DataCompleteness Completeness();
  // StreamData, and what it found: how complete the data it delivered was. Returns false when
  // the sink stopped the read.
  bool StreamChecked(ByteSink& sink, uint64_t limit, DataCompleteness& found);
  // Where the bytes StreamData delivers lie on the source, in their order, runs that follow
  // each other on the source joined: at most maxRuns runs. The data itself is not read (a
  // directory may read its slots, as StreamData does).
  DataRunList DataRuns(size_t maxRuns);
  // Fills the file-information list with this entry's rows.
  virtual void FillInfo(TInfoList& list);
  // Reads this directory again and makes one child per visible entry, in directory order.
  virtual void ReadChildren() {}
  // Lets go of what ReadChildren made: the children and whatever the node read to make them, so
  // that a walk which has finished with a directory keeps no more of it than the node itself.
  virtual void ReleaseChildren() { children.clear(); }
  // Where this directory's entries begin; nothing for a file, or a directory that cannot say.
  virtual std::optional<DirectoryStart> StartsAt() const { return std::nullopt; }

  // Whether the node can be opened: ReadChildren makes its children. Every directory node
  // can; so can a deleted folder where its family can read one back.
  virtual bool IsFolder() const { return state == kStateDirectory; }
  // Whether the entry was deleted, whatever icon its state chooses (an exFAT folder keeps the
  // directory icon when it was deleted). Everything a deleted folder holds counts as deleted
  // too: none of it is reachable on the live volume.
  virtual bool IsDeleted() const { return state == kStateDeleted || inDeletedFolder; }
  // How the entry came to be known; entries of the tree are live or deleted.
  virtual EntryOrigin Origin() const {
    if (inLostAndFound) return EntryOrigin::kLost;
    return IsDeleted() ? EntryOrigin::kDeleted : EntryOrigin::kLive;
  }
  // The names the entry is stored under: a long name (empty when it has none) and an 8.3 name
  // (empty where the family keeps none). name, the caption, is made from them.
  virtual std::string LongName() const { return {}; }
  virtual std::string ShortName() const { return {}; }
  // The name a saved copy of the entry is given outside the window: the long name alone, the
  // short name when there is none, the caption for an entry that has neither.
  std::string FileName() const;
  // When the entry was last modified, and when it was created, as the medium records them;
  // nothing where it records none.
  virtual std::optional<RecordedTime> ModifiedTime() const { return std::nullopt; }
  virtual std::optional<RecordedTime> CreatedTime() const { return std::nullopt; }
  // When the entry was last read, as the medium records it (FAT keeps the date alone).
  virtual std::optional<RecordedTime> AccessedTime() const { return std::nullopt; }

  ReaderRef* readerRef;  // not owned
  std::string name;      // tree caption, and the name a saved copy gets
  std::string path;      // a directory's own path ("\" for the root); a file's parent path
  uint32_t size = 0;
  std::string createdText;
  std::string modifiedText;
  std::string attributesText;
  int32_t state = kStateFile;
  std::vector<std::unique_ptr<TDirectoryEntry>> children;
  // Set on the children of a deleted folder when they are made (see IsDeleted).
  bool inDeletedFolder = false;
  // Set on the volume's "Lost and found" node and, when they are made, on what lies below it:
  // no folder of the tree leads there.
  bool inLostAndFound = false;
  // What the last ReadChildren left unread, and why, where a bound cut the directory short;
  // empty when it read the whole directory.
  std::string cutNotice;

 protected:
  TSectorReader& Reader() const { return *readerRef->reader; }
  // GetData made from StreamData, for a node that streams its data: at most size bytes, all of
  // them when size is 0 (up to 4 GiB - 1, as a 32-bit read allows), and no more than most when
  // most is not 0. size becomes the number of bytes delivered.
  ByteBuffer DataFromStream(uint32_t& size, uint32_t most = 0);
  // Gives a new child its path (folders: this path + name + "\"; files: this path), tells
  // it whether it lies in a deleted folder, and appends it to children.
  void AdoptChild(std::unique_ptr<TDirectoryEntry> child);
  // Adds the "Data" row to the "Basic information" group: how complete the data is.
  void AddDataRow(TInfoList& list);

 private:
  // The bytes a read of limit bytes (all when 0) should deliver, as the record states them.
  uint64_t ExpectedLength(uint64_t limit) const;
};

// Reads a directory's children only while it has none, as the browser does when a node is
// selected: a directory that stays empty is read again each time, one with children never.
void EnsureChildren(TDirectoryEntry& entry);

// Gives partition its directory trails for the guard's lifetime; trails already there are kept.
class DirectoryTrailScope {
 public:
  explicit DirectoryTrailScope(TPartition& partition);
  ~DirectoryTrailScope();
  DirectoryTrailScope(const DirectoryTrailScope&) = delete;
  DirectoryTrailScope& operator=(const DirectoryTrailScope&) = delete;

 private:
  TPartition& partition_;
  bool owned_ = false;
};

// One opened file system on the source.
class TPartition {
 public:
  TPartition(ReaderRef* readerRef, const PartitionEntry& entry)
      : readerRef(readerRef), partitionEntry(entry), firstSector(entry.startLba) {}
  virtual ~TPartition() = default;
  TPartition(const TPartition&) = delete;
  TPartition& operator=(const TPartition&) = delete;

  // Caption of the partition's top-level node.
  virtual std::string GetDescription() const;
  // The sector size in bytes that the partition's boot sector states, which the source must be
  // read with for its geometry to hold; 0 where it states none (a damaged one may state any
  // number).
  virtual uint32_t StatedSectorSize() const { return 0; }

  ReaderRef* readerRef;  // not owned
  PartitionEntry partitionEntry;
  uint32_t firstSector;
  std::string label;
  std::unique_ptr<TDirectoryEntry> rootEntry;
  // The volume's "Lost and found", shown after the root: what a scan of the data area finds that
  // no folder of the tree leads to. Given by the layer that scans (see NewLostScan); nothing
  // until then, and for a volume that cannot be scanned.
  std::unique_ptr<TDirectoryEntry> lostAndFound;
  // What the user is to be told about the volume as it was found, each a sentence: damage seen
  // while it was opened (the source cuts it short, ...). A volume with notes is not a sound one;
  // what can be read of it is read all the same.
  std::vector<std::string> notes;
  // Adds a row for each finding, then a "Warning" row for each note, to the "Basic information"
  // group.
  void AddNoteRows(TInfoList& list) const;
  // The number Linux gives the partition, set by discovery: a primary entry's place in the
  // table (1 to 4), a logical drive's from 5 in chain order, a GUID entry's index from 1, and 1
  // for a volume that is the whole source.
  int number = 0;
  // While a walk of the whole tree runs (see DirectoryTrailScope): the clusters its directory
  // reads have passed, one trail for live directories and one for deleted ones, whose clusters
  // a live directory may have taken over. A directory whose chain comes to a cluster on its
  // trail ends there, so the walk reads each cluster as a directory at most twice, however the
  // chains of a damaged volume loop or cross. Unset otherwise: the window reads what the user
  // opens, each directory whole.
  std::unique_ptr<ClusterTrail> directoryTrail;
  std::unique_ptr<ClusterTrail> deletedDirectoryTrail;
  // The trail that reading directory's children extends; nullptr outside a walk.
  ClusterTrail* TrailFor(const TDirectoryEntry& directory) const {
    return directory.IsDeleted() ? deletedDirectoryTrail.get() : directoryTrail.get();
  }
  // What the lost-and-found scan needs of the family; nothing for a family without clusters.
  virtual std::unique_ptr<LostScanVolume> NewLostScan() { return nullptr; }
  // A trail fitted to the partition's clusters; nothing for a family without them.
  virtual std::unique_ptr<ClusterTrail> NewClusterTrail() const { return nullptr; }

  // How the volume was found where no table entry or sound boot sector led to it, as rows of
  // the "Basic information" group (caption, value): the backup boot sector read in place of
  // its own, the search that found it. Unlike notes, these say nothing is wrong with the volume.
  std::vector<std::pair<std::string, std::string>> findings;
  // Set when the search for lost volumes found the volume rather than a table or sector 0.
  bool foundBySearch = false;
  // The volume's length in the source's sectors, as its boot sector states it; 0 when not known.
  uint64_t sectorCount = 0;

 protected:
  TSectorReader& Reader() const { return *readerRef->reader; }
  // Reads count bytes at the absolute sector, from the sector's first byte.
  bool ReadAt(uint32_t sector, uint8_t* dest, uint32_t count) const;
  // "FAT32 partition", or, for a volume the search found, "FAT32 volume found at sector 2048".
  std::string KindText(const std::string& family) const;
  // The end of a FAT or exFAT description: the label in double quotes, or ", no label".
  std::string LabelSuffix() const;
  // Notes a volume that the source ends inside of: beyond of its clusters lie past the end of
  // the source, and, when rootBeyond, its root directory too.
  void NoteCutShort(uint64_t clusters, uint64_t beyond, bool rootBeyond);
};
