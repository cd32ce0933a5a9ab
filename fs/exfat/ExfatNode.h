#pragma once
// The tree nodes of an exFAT volume: a directory, which reads its children, and a file. Both
// describe one entry set, show its information rows and hand out its data. A deleted set is
// shown like a live one; a deleted file's data is read back from free clusters where its chain
// is gone.

#include <cstdint>
#include <string>
#include <vector>

#include "fs/InfoList.h"
#include "fs/Partition.h"
#include "fs/exfat/ExfatEntrySet.h"

class EXFATPartition;

class EXFATDirectoryNode final : public TDirectoryEntry {
 public:
  // A directory node, also for a deleted directory; named after its set.
  EXFATDirectoryNode(ReaderRef* readerRef, const EXFATDirectoryEntry& set, EXFATPartition& partition);
  ~EXFATDirectoryNode() override;

  // The directory's own 32-byte entries, at most size bytes (all when size is 0).
  ByteBuffer GetData(uint32_t& size) override;
  bool StreamData(ByteSink& sink, uint64_t limit) override;
  void FillInfo(TInfoList& list) override;
  // Reads the directory again: one child per entry set, directories and files, live and
  // deleted, in directory order.
  void ReadChildren() override;
  void ReleaseChildren() override;
  // The first cluster its stream chunk names; nothing without a stream chunk.
  std::optional<DirectoryStart> StartsAt() const override;
  // A folder whose set was deleted still opens and keeps the directory icon.
  bool IsDeleted() const override { return entrySet->deleted || inDeletedFolder; }
  std::string LongName() const override { return name; }
  std::optional<RecordedTime> ModifiedTime() const override;
  std::optional<RecordedTime> CreatedTime() const override;
  std::optional<RecordedTime> AccessedTime() const override;

  EXFATPartition* partition;            // not owned
  const EXFATDirectoryEntry* entrySet;  // in the parent's childSets or the partition's sets
  // The sets read from this directory; each child points at one of them.
  std::vector<EXFATDirectoryEntry> childSets;
};

class EXFATFileNode final : public TDirectoryEntry {
 public:
  // A file node (state 2 for a deleted set) with its size, times and attributes.
  EXFATFileNode(ReaderRef* readerRef, const EXFATDirectoryEntry& set, EXFATPartition& partition);

  // GetData reads as a 32-bit length allows: no more than the low half of DataLength says.
  ByteBuffer GetData(uint32_t& size) override;
  // All of DataLength, 4 GiB and more.
  bool StreamData(ByteSink& sink, uint64_t limit) override;
  uint64_t DataLength() const override;
  void FillInfo(TInfoList& list) override;
  std::string LongName() const override { return name; }
  std::optional<RecordedTime> ModifiedTime() const override;
  std::optional<RecordedTime> CreatedTime() const override;
  std::optional<RecordedTime> AccessedTime() const override;

  EXFATPartition* partition;            // not owned
  const EXFATDirectoryEntry* entrySet;  // in the parent's childSets
};

// The information rows of one set: attributes and times from its file chunk, starting cluster
// and the full 64-bit size from its stream chunk.
void AddExfatInfoRows(const EXFATDirectoryEntry& set, TInfoList& list, int groupId);
