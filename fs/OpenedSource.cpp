#include "fs/OpenedSource.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "fs/FatGeometry.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"

namespace {

// The sector sizes a FAT or exFAT boot sector can state.
constexpr uint32_t kStatableSectorSizes[] = {512, 1024, 2048, 4096};

// The caption of the finding that the search found the volume.
constexpr const char* kFoundCaption = "Found";

bool IsStatableSectorSize(uint32_t size) {
  return std::find(std::begin(kStatableSectorSizes), std::end(kStatableSectorSizes), size) !=
         std::end(kStatableSectorSizes);
}

// progress told bytes rather than the sectors the search counts, with the sector size the
// reader has at each step (it may read the source again with another).
SearchProgress InBytes(const SearchProgress& progress, const TSectorReader& reader) {
  if (!progress) return {};
  return [&progress, &reader](uint64_t done, uint64_t total) {
    return progress(done * reader.bytesPerSector(), total * reader.bytesPerSector());
  };
}

}  // namespace

SourceChoice SourceFromPath(const std::string& path, const std::string& sectorSizeText) {
  struct stat info {};
  const bool device = ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
  SourceChoice choice;
  choice.path = path;
  choice.isDevice = device;
  choice.sectorSizeText = sectorSizeText;
  return choice;
}

OpenedSource::OpenedSource(const SourceChoice& choice, const OpenSettings& settings, const OemCodePage& codePage)
    : choice_(choice), codePage_(codePage) {
  if (settings.faultPolicy != nullptr) {
    reader_.SetFaultHandling(*settings.faultPolicy, settings.faultLog != nullptr ? *settings.faultLog : ownLog_);
  }
  if (settings.platformRead) reader_.platformRead = settings.platformRead;
}

// The partitions read through the reader, so they go first.
OpenedSource::~OpenedSource() {
  partitions_.clear();
  reader_.Close();
}

std::unique_ptr<OpenedSource> OpenedSource::Open(const SourceChoice& choice, const OpenSettings& settings,
                                                 OpenFailure& failure) {
  std::string unusable;
  const std::optional<OemCodePage> codePage = OemCodePage::FromName(choice.codePage, unusable);
  if (!codePage) {
    failure = OpenFailure{OpenFailure::Kind::kUnusable, unusable};
    return nullptr;
  }
  std::unique_ptr<OpenedSource> source(new OpenedSource(choice, settings, *codePage));
  const bool opened = source->OpenWith(choice.sectorSizeText, failure);
  // The caller's descriptor is the caller's: nothing here uses it again.
  source->choice_.descriptor = -1;
  if (!opened) return nullptr;
  // A block device knows its own sector size; an image file has only the user's word or ours.
  if (!choice.isDevice && !choice.sectorSizeFixed && !source->AnyAgreesWithSectorSize()) {
    source->TryStatedSectorSizes();
  }
  source->FindDisagreements();
  source->CollectVolumeNotes();
  return source;
}

// Opens the source anew with the sector size and runs discovery on it.
bool OpenedSource::OpenWith(const std::string& sectorSizeText, OpenFailure& failure) {
  partitions_.clear();
  reader_.Close();
  const bool opened = choice_.isDevice ? OpenDevice() : reader_.OpenImage(choice_.path, sectorSizeText);
  if (!opened) {
    failure = reader_.openFailure();
    return false;
  }
  reader_.PrepareBuffer();
  DiscoverPartitions(&readerRef_, partitions_, codePage_);
  return true;
}

bool OpenedSource::OpenDevice() {
  if (choice_.descriptor < 0) return reader_.OpenDevice(choice_.path, choice_.isLogicalDrive);
  return reader_.OpenDeviceDescriptor(::fcntl(choice_.descriptor, F_DUPFD_CLOEXEC, 0));
}

bool OpenedSource::AnyAgreesWithSectorSize() const {
  return std::any_of(partitions_.begin(), partitions_.end(), [&](const auto& partition) {
    return partition->StatedSectorSize() == reader_.bytesPerSector();
  });
}

// The sizes the partitions found state come first; the others follow, for tables whose entries
// count sectors of another size and so lead to no boot sector at all. A size is kept only
// when a boot sector found with it states it, so a stray match cannot win. Nothing kept, the
// source is read as it was first.
void OpenedSource::TryStatedSectorSizes() {
  const uint32_t first = reader_.bytesPerSector();
  std::vector<uint32_t> sizes;
  for (const auto& partition : partitions_) sizes.push_back(partition->StatedSectorSize());
  sizes.insert(sizes.end(), std::begin(kStatableSectorSizes), std::end(kStatableSectorSizes));
  std::vector<uint32_t> tried{first};
  OpenFailure ignored;
  for (const uint32_t size : sizes) {
    if (!IsStatableSectorSize(size) || std::find(tried.begin(), tried.end(), size) != tried.end()) continue;
    tried.push_back(size);
    if (!OpenWith(std::to_string(size), ignored)) break;
    if (AnyAgreesWithSectorSize()) {
      detectedSectorSize_ = size;
      choice_.sectorSizeText = std::to_string(size);
      return;
    }
  }
  OpenWith(std::to_string(first), ignored);
}

void OpenedSource::FindDisagreements() {
  disagreements_.clear();
  const uint32_t inUse = reader_.bytesPerSector();
  for (const auto& partition : partitions_) {
    const uint32_t stated = partition->StatedSectorSize();
    if (stated == inUse || !IsStatableSectorSize(stated)) continue;
    const bool empty = !partition->rootEntry || partition->rootEntry->children.empty();
    disagreements_.push_back({partition->number, stated, empty});
  }
}

std::vector<std::string> OpenedSource::SectorSizeNotes(const std::string& reopenWith) const {
  std::vector<std::string> notes;
  if (detectedSectorSize_) {
    notes.push_back("The volume uses " + std::to_string(*detectedSectorSize_) +
                    "-byte sectors; reading it with that size.");
  }
  const std::string inUse = std::to_string(reader_.bytesPerSector());
  for (const SectorSizeDisagreement& d : disagreements_) {
    const std::string stated = std::to_string(d.stated);
    notes.push_back("Partition " + std::to_string(d.partition) + " states " + stated +
                    "-byte sectors in its boot sector, but the source is read with " + inUse +
                    "-byte sectors: " + (d.treeEmpty ? "its tree cannot be read" : "its tree may be wrong") +
                    (choice_.isDevice ? "." : "; open it with " + reopenWith + stated + "."));
  }
  return notes;
}

void OpenedSource::CollectVolumeNotes() {
  volumeNotes_.clear();
  volumeFindings_.clear();
  for (const auto& partition : partitions_) {
    const std::string prefix = "Partition " + std::to_string(partition->number) + ": ";
    for (const std::string& note : partition->notes) volumeNotes_.push_back(prefix + note);
    // That the search found it, the partition's description says.
    for (const auto& [caption, value] : partition->findings) {
      if (caption != kFoundCaption) volumeFindings_.push_back(prefix + caption + " " + value + ".");
    }
  }
}

std::vector<std::string> OpenedSource::Notes(const std::string& reopenWith) const {
  std::vector<std::string> notes = SectorSizeNotes(reopenWith);
  notes.insert(notes.end(), volumeFindings_.begin(), volumeFindings_.end());
  notes.insert(notes.end(), volumeNotes_.begin(), volumeNotes_.end());
  return notes;
}

size_t OpenedSource::SearchLostVolumes(SearchDepth depth, const SearchProgress& progress) {
  const size_t before = partitions_.size();
  const SearchProgress bytes = InBytes(progress, reader_);
  std::vector<FoundVolume> found =
      SearchForVolumes(reader_, SectorsToSearch(VolumeExtents(partitions_), !partitions_.empty()), depth, bytes);
  if (partitions_.empty()) found = SearchWithStatedSectorSize(std::move(found), depth, bytes);
  int number = 0;
  for (const auto& partition : partitions_) number = std::max(number, partition->number);
  for (auto& partition : FoundPartitions(found, number)) partitions_.push_back(std::move(partition));
  FindDisagreements();
  CollectVolumeNotes();
  return partitions_.size() - before;
}

PartitionList OpenedSource::SearchBeside(std::vector<SectorRange> covered, int numberAfter, SearchDepth depth,
                                         const SearchProgress& progress) {
  const bool withTableEntries = !covered.empty();
  return FoundPartitions(SearchForVolumes(reader_, SectorsToSearch(std::move(covered), withTableEntries), depth,
                                          InBytes(progress, reader_)),
                         numberAfter);
}

std::vector<SectorRange> VolumeExtents(const PartitionList& partitions) {
  std::vector<SectorRange> extents;
  for (const auto& partition : partitions) {
    const uint64_t length = std::max<uint64_t>({partition->sectorCount, partition->partitionEntry.sectorCount, 1});
    extents.push_back({partition->firstSector, partition->firstSector + length});
  }
  return extents;
}

// Where the source has table entries or volumes, what they cover is not searched; an entry that
// led to no volume covers nothing, for the volume may still lie near where it points.
std::vector<SectorRange> OpenedSource::SectorsToSearch(std::vector<SectorRange> covered, bool withTableEntries) {
  if (withTableEntries) {
    for (const NumberedEntry& table : ReadTableEntries(reader_)) {
      covered.push_back({table.entry.startLba, uint64_t{table.entry.startLba} + table.entry.sectorCount});
    }
  }
  return UncoveredSectors(reader_.totalSectors(), std::move(covered));
}

// Volumes found on an image that all state another sector size than the one it is read with
// lie where they were found, but their geometry counts in their own sectors: the image is read
// with the size the first one states, and searched again, when that finds volumes that agree.
std::vector<FoundVolume> OpenedSource::SearchWithStatedSectorSize(std::vector<FoundVolume> found, SearchDepth depth,
                                                                  const SearchProgress& progress) {
  const uint32_t first = reader_.bytesPerSector();
  if (found.empty() || choice_.isDevice || choice_.sectorSizeFixed) return found;
  const auto agrees = [](const std::vector<FoundVolume>& volumes, uint32_t size) {
    return std::any_of(volumes.begin(), volumes.end(), [&](const FoundVolume& v) { return v.volume.sectorSize == size; });
  };
  const uint32_t stated = found.front().volume.sectorSize;
  if (agrees(found, first) || !IsStatableSectorSize(stated)) return found;
  OpenFailure ignored;
  if (OpenWith(std::to_string(stated), ignored)) {
    if (!partitions_.empty()) {
      detectedSectorSize_ = stated;
      choice_.sectorSizeText = std::to_string(stated);
      return {};
    }
    std::vector<FoundVolume> again = SearchForVolumes(reader_, SectorsToSearch({}, false), depth, progress);
    if (agrees(again, stated)) {
      detectedSectorSize_ = stated;
      choice_.sectorSizeText = std::to_string(stated);
      return again;
    }
  }
  OpenWith(std::to_string(first), ignored);
  return found;
}

PartitionList OpenedSource::FoundPartitions(const std::vector<FoundVolume>& found, int numberAfter) {
  int number = numberAfter;
  for (const NumberedEntry& table : ReadTableEntries(reader_)) number = std::max(number, table.number);
  PartitionList partitions;
  for (const FoundVolume& volume : found) {
    if (volume.sector > UINT32_MAX) continue;
    PartitionEntry entry;
    entry.startLba = static_cast<uint32_t>(volume.sector);
    if (volume.kind == BootSectorKind::kExfat) {
      partitions.push_back(std::make_unique<EXFATPartition>(&readerRef_, entry, volume.boot.data()));
    } else {
      partitions.push_back(std::make_unique<TFATPartition>(&readerRef_, entry, codePage_, volume.boot.data()));
    }
    TPartition& partition = *partitions.back();
    partition.number = ++number;
    partition.foundBySearch = true;
    partition.sectorCount = (volume.volume.volumeBytes + reader_.bytesPerSector() - 1) / reader_.bytesPerSector();
    partition.findings.emplace_back(kFoundCaption, "by the search for lost volumes, at sector " + std::to_string(volume.sector));
    if (volume.backupSector) {
      partition.findings.emplace_back("Boot sector", std::string("damaged; read from its backup") +
                                                         (volume.volume.exfat() ? " boot region" : "") + " at sector " +
                                                         std::to_string(*volume.backupSector) + " of the volume");
    }
    if (volume.inferred) partition.findings.emplace_back("Boot sector", kInferredBootText);
  }
  return partitions;
}

std::string OpenedSource::NoPartitionsMessage() {
  const std::string hint = DescribeUnreadTable(&readerRef_);
  return std::string(kNoPartitionsMessage) + (hint.empty() ? "" : "\n" + hint);
}
