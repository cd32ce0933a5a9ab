#pragma once
// The tree nodes of FAT volumes: directories, which read their slots and make their children,
// and files (live or deleted). Both describe themselves from their raw slot and deliver their
// bytes along the cluster chain.

#include <cstddef>
#include <memory>
#include <string>

#include "fs/Partition.h"
#include "fs/fat/FatLayout.h"

class TFATPartition;

class FATDirectoryNode final : public TDirectoryEntry {
 public:
  // The node for records[index]; records outlives the node.
  FATDirectoryNode(ReaderRef* readerRef, const FATRecordList& records, size_t index, TFATPartition* partition);
  // The node of a deleted directory: a deleted entry (state 2) that is named, sized and
  // described as a deleted file is, and that opens, its slots read back from free clusters.
  static std::unique_ptr<FATDirectoryNode> Deleted(ReaderRef* readerRef, const FATRecordList& records, size_t index,
                                                   TFATPartition* partition);

  // The raw directory slots; the whole fixed root region for a FAT12/16 root.
  ByteBuffer GetData(uint32_t& size) override;
  bool StreamData(ByteSink& sink, uint64_t limit) override;
  void FillInfo(TInfoList& list) override;
  void ReadChildren() override;
  void ReleaseChildren() override;
  // The first cluster of its chain; 0 for the fixed root region of FAT12 and FAT16.
  std::optional<DirectoryStart> StartsAt() const override;
  // Also a deleted directory opens.
  bool IsFolder() const override { return true; }
  std::string LongName() const override { return longName; }
  std::string ShortName() const override;
  std::optional<RecordedTime> ModifiedTime() const override;
  std::optional<RecordedTime> CreatedTime() const override;
  std::optional<RecordedTime> AccessedTime() const override;

  TFATPartition* partition;        // not owned
  const FATDirectoryEntry* entry;  // in the parent's records (or the partition's root record)
  FATRecordList records;           // every slot of this directory, as last read
  std::string longName;
};

class FATFileNode final : public TDirectoryEntry {
 public:
  FATFileNode(ReaderRef* readerRef, const FATRecordList& records, size_t index, TFATPartition* partition);

  ByteBuffer GetData(uint32_t& size) override;
  bool StreamData(ByteSink& sink, uint64_t limit) override;
  void FillInfo(TInfoList& list) override;
  std::string LongName() const override { return longName; }
  std::string ShortName() const override;
  std::optional<RecordedTime> ModifiedTime() const override;
  std::optional<RecordedTime> CreatedTime() const override;
  std::optional<RecordedTime> AccessedTime() const override;

  TFATPartition* partition;        // not owned
  const FATDirectoryEntry* entry;  // in the parent's records
  std::string longName;
};
