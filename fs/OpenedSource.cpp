#include "fs/OpenedSource.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

// The sector sizes a FAT or exFAT boot sector can state.
constexpr uint32_t kStatableSectorSizes[] = {512, 1024, 2048, 4096};

bool IsStatableSectorSize(uint32_t size) {
  return std::find(std::begin(kStatableSectorSizes), std::end(kStatableSectorSizes), size) !=
         std::end(kStatableSectorSizes);
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
  for (const auto& partition : partitions_) {
    for (const std::string& note : partition->notes) {
      volumeNotes_.push_back("Partition " + std::to_string(partition->number) + ": " + note);
    }
  }
}

std::vector<std::string> OpenedSource::Notes(const std::string& reopenWith) const {
  std::vector<std::string> notes = SectorSizeNotes(reopenWith);
  notes.insert(notes.end(), volumeNotes_.begin(), volumeNotes_.end());
  return notes;
}

std::string OpenedSource::NoPartitionsMessage() {
  const std::string hint = DescribeUnreadTable(&readerRef_);
  return std::string(kNoPartitionsMessage) + (hint.empty() ? "" : "\n" + hint);
}
