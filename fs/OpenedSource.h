#pragma once
// A source opened for browsing, the same for the window, the command line and the tests: an
// image file or a block device, opened read-only, read with the sector size its volumes use,
// and the FAT and exFAT volumes found on it. It owns the reader and the cell through which
// partitions and nodes reach it, for as long as it lives; whatever it hands its partitions to
// must let them go before it dies.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/SectorReader.h"
#include "fs/Discovery.h"
#include "fs/OemCodePage.h"
#include "fs/VolumeSearch.h"

struct SourceChoice {
  std::string path;
  bool isDevice = false;               // a block device, sized by its own queries
  bool isLogicalDrive = false;         // a device that is one partition of a disk
  std::string sectorSizeText = "512";  // image files: the sector size as the user gave it
  // Whether an image is read with sectorSizeText whatever its boot sectors state. Otherwise,
  // when no volume found with it states that size, the sizes a boot sector can state are tried.
  bool sectorSizeFixed = false;
  // The OEM code page that 8.3 names and FAT labels are decoded from (OemCodePage::FromName).
  std::string codePage = "437";
  // A device: the descriptor a service opened it with for us (UDisks2 does, after asking the
  // user's leave), read instead of opening path. The source reads a duplicate of it; the
  // caller keeps its own and may close it once Open returns. -1: path is opened here.
  int descriptor = -1;
};

// A path that names a block device is opened as a device, anything else as an image file.
SourceChoice SourceFromPath(const std::string& path, const std::string& sectorSizeText);

// What the opener decides before the first byte is read.
struct OpenSettings {
  // What reads on threads without a read session do with a fault; without a policy they give
  // the read up, and without a log the reader's own notes the fault.
  FaultPolicy* faultPolicy = nullptr;
  FaultLog* faultLog = nullptr;
  // A stand-in for pread, for tests.
  PlatformRead platformRead;
};

// A volume whose boot sector states another sector size than the one the source is read with.
struct SectorSizeDisagreement {
  int partition = 0;     // its number
  uint32_t stated = 0;   // what its boot sector states
  bool treeEmpty = false;
};

// The sectors each of partitions covers: its volume, or its table entry where that is longer.
std::vector<SectorRange> VolumeExtents(const PartitionList& partitions);

// What the user is told when discovery finds nothing.
inline constexpr const char* kNoPartitionsMessage = "The selected drive does not contain any FAT partitions.";

class OpenedSource {
 public:
  // Opens the chosen source and finds its volumes. Nothing (and failure saying why) when it
  // cannot be opened or its code page cannot be used; a source without volumes is opened all
  // the same.
  static std::unique_ptr<OpenedSource> Open(const SourceChoice& choice, const OpenSettings& settings,
                                            OpenFailure& failure);
  ~OpenedSource();
  OpenedSource(const OpenedSource&) = delete;
  OpenedSource& operator=(const OpenedSource&) = delete;

  TSectorReader& reader() { return reader_; }
  const TSectorReader& reader() const { return reader_; }
  ReaderRef* readerRef() { return &readerRef_; }
  const SourceChoice& choice() const { return choice_; }
  uint32_t sectorSize() const { return reader_.bytesPerSector(); }
  // What 8.3 names and FAT labels are decoded from.
  const OemCodePage& codePage() const { return codePage_; }

  PartitionList& partitions() { return partitions_; }
  // Hands the partitions found over to a new owner, which lets them go before the source dies.
  PartitionList TakePartitions() { return std::move(partitions_); }

  // The sector size that was found by trying, when the one asked for agreed with no volume.
  std::optional<uint32_t> detectedSectorSize() const { return detectedSectorSize_; }
  const std::vector<SectorSizeDisagreement>& disagreements() const { return disagreements_; }
  // What was found out about the sector size, in words: the size found, and each volume that
  // states another. reopenWith names how a user picks a size ("--sector-size ").
  std::vector<std::string> SectorSizeNotes(const std::string& reopenWith) const;
  // The notes of the volumes found (TPartition::notes), each begun with "Partition N: ", kept
  // when the partitions are handed over.
  const std::vector<std::string>& volumeNotes() const { return volumeNotes_; }
  // Everything the user is told about the source once it is open: the sector size notes, then
  // the volumes' notes.
  std::vector<std::string> Notes(const std::string& reopenWith) const;
  // Searches the source for volumes that no table leads to (see VolumeSearch.h) and adds those
  // found after the partitions it holds, numbered after the table's; returns how many. With
  // partitions or table entries, only the sectors that none of them covers are searched;
  // without, the whole source. An image whose volumes all state another sector size than the
  // one it is read with is read with theirs, as when volumes are found on opening. progress is
  // told the bytes searched so far and in all, and may stop the search; what it found until
  // then is kept.
  size_t SearchLostVolumes(SearchDepth depth, const SearchProgress& progress = {});
  // The same for a source whose partitions were handed over: covered holds the sectors of the
  // volumes their new owner holds (VolumeExtents), numberAfter the highest number among them.
  // Only what neither they nor the table entries cover is searched, with the sector size the
  // source is read with; the volumes found are given back, numbered after numberAfter and the
  // table's entries, and not kept. Runs on any thread while the partitions are read elsewhere.
  PartitionList SearchBeside(std::vector<SectorRange> covered, int numberAfter, SearchDepth depth,
                             const SearchProgress& progress = {});
  // The message for a source on which nothing was found, with the reason a partition table may
  // have been passed over on a line of its own.
  std::string NoPartitionsMessage();

 private:
  OpenedSource(const SourceChoice& choice, const OpenSettings& settings, const OemCodePage& codePage);
  bool OpenWith(const std::string& sectorSizeText, OpenFailure& failure);
  bool OpenDevice();
  bool AnyAgreesWithSectorSize() const;
  void TryStatedSectorSizes();
  void FindDisagreements();
  void CollectVolumeNotes();
  std::vector<SectorRange> SectorsToSearch(std::vector<SectorRange> covered, bool withTableEntries);
  std::vector<FoundVolume> SearchWithStatedSectorSize(std::vector<FoundVolume> found, SearchDepth depth,
                                                      const SearchProgress& progress);
  PartitionList FoundPartitions(const std::vector<FoundVolume>& found, int numberAfter);

  SourceChoice choice_;
  OemCodePage codePage_;
  FaultLog ownLog_;
  TSectorReader reader_;
  ReaderRef readerRef_{&reader_};
  PartitionList partitions_;  // last: they read through readerRef_
  std::optional<uint32_t> detectedSectorSize_;
  std::vector<SectorSizeDisagreement> disagreements_;
  std::vector<std::string> volumeNotes_;
  // What the volumes' findings (TPartition::findings) tell, each begun with "Partition N: ".
  std::vector<std::string> volumeFindings_;
};
