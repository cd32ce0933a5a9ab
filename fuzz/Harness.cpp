#include "fuzz/Harness.h"

#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "browser/HexView.h"
#include "fs/Bytes.h"
#include "fs/Discovery.h"
#include "fs/OpenedSource.h"
#include "fs/TableLayout.h"
#include "fs/exfat/ExfatPartition.h"
#include "fs/fat/FatPartition.h"
#include "scan/LostAndFound.h"

namespace {

// Every node visited has its data read three times and dumped, and every directory visited
// makes all of its children, which a damaged directory can have by the thousand. A read
// delivers whole clusters, padded with zeros past the end of the source, so on a volume of
// 32 MiB clusters each read costs 32 MiB however small the input. The bounds keep one input
// within a second or so, so that a slow input stands out as a hang.
constexpr size_t kMaxNodes = 300;              // nodes exercised per partition
constexpr size_t kMaxNodesInAll = 1200;        // and in all: tables can name many partitions
constexpr size_t kMaxCreated = 10000;          // nodes made by ReadChildren before none is opened
constexpr uint64_t kMaxReadBytes = 64 << 20;   // bytes read before no node is visited
constexpr int kMaxDepth = 12;

// Sectors whose bytes begin with this marker cannot be read, as on a damaged medium.
constexpr char kBadSectorMarker[] = "BADSECT!";
constexpr size_t kBadSectorMarkerLength = sizeof kBadSectorMarker - 1;

// Answers read faults Retry, Ignore and Abort in turn, so each of the reader's three roads is
// taken.
class TurnTakingFaults final : public FaultPolicy {
 public:
  FaultAnswer Decide(const ReadFault&) override {
    static constexpr FaultAnswer kAnswers[] = {FaultAnswer::kRetry, FaultAnswer::kIgnore, FaultAnswer::kAbort};
    return kAnswers[faults_++ % 3];
  }

 private:
  unsigned faults_ = 0;
};

// The positioned read the reader goes through: pread, except that it fails with EIO on a
// sector that begins with the bad-sector marker, after delivering the sectors before it.
class DamagedMedium {
 public:
  DamagedMedium(const uint8_t* data, size_t size, uint32_t sectorSize)
      : data_(data), size_(size), sectorSize_(sectorSize) {}

  ssize_t Read(int fd, void* buffer, size_t count, off_t offset) const {
    const uint64_t start = static_cast<uint64_t>(offset);
    for (uint64_t sector = start / sectorSize_; sector * sectorSize_ < start + count; ++sector) {
      if (!IsBad(sector)) continue;
      const uint64_t good = sector * sectorSize_ > start ? sector * sectorSize_ - start : 0;
      if (good == 0) {
        errno = EIO;
        return -1;
      }
      count = static_cast<size_t>(good);
      break;
    }
    return ::pread(fd, buffer, count, offset);
  }

 private:
  bool IsBad(uint64_t sector) const {
    const uint64_t at = sector * sectorSize_;
    return at + kBadSectorMarkerLength <= size_ &&
           std::memcmp(data_ + at, kBadSectorMarker, kBadSectorMarkerLength) == 0;
  }

  const uint8_t* data_;
  size_t size_;
  uint64_t sectorSize_;
};

// The bytes as a file the reader can open by path, without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(::memfd_create("brindle-fuzz", MFD_CLOEXEC)) {
    for (size_t done = 0; fd_ >= 0 && done < size;) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// Returns the number of bytes GetData and the streamed save delivered.
uint64_t ExerciseEntry(TDirectoryEntry& entry) {
  RecordingInfoList list;
  entry.FillInfo(list);

  uint32_t count = kDumpSize;
  const ByteBuffer dump = entry.GetData(count);
  FormatHexDump(dump.data(), count);
  uint64_t delivered = count;
  if (DecidePreview(dump.data(), count).kind == PreviewKind::kPicture) {
    uint32_t pictureCount = kPictureSize;
    entry.GetData(pictureCount);
    delivered += pictureCount;
  }
  // Saving streams all of the entry's data.
  uint64_t saved = 0;
  CallbackSink discard([&saved](const uint8_t*, size_t n) {
    saved += n;
    return true;
  });
  entry.StreamData(discard, 0);
  entry.GetPath();
  return delivered + saved;
}

// Returns the number of nodes exercised from top down; visitedInAll counts them over every
// partition of the input.
size_t WalkTree(TDirectoryEntry& top, size_t& visitedInAll) {
  std::deque<std::pair<TDirectoryEntry*, int>> pending{{&top, 0}};
  size_t visited = 0;
  size_t created = 0;
  uint64_t readBytes = 0;
  while (!pending.empty() && visited < kMaxNodes && visitedInAll < kMaxNodesInAll && readBytes < kMaxReadBytes) {
    auto [entry, depth] = pending.front();
    pending.pop_front();
    ++visited;
    ++visitedInAll;
    if (entry->children.empty() && created < kMaxCreated) {
      entry->ReadChildren();
      created += entry->children.size();
    }
    readBytes += ExerciseEntry(*entry);
    if (depth >= kMaxDepth) continue;
    for (auto& child : entry->children) pending.push_back({child.get(), depth + 1});
  }
  return visited;
}

// The sector size the source is opened with, as a user types it in. Discovery gets 4096 when
// a GUID partition table header begins at byte 4096, else 512. A volume at sector 0 gets the
// size its boot sector states (512 to 4096). Either only when the source is made of whole
// sectors of that size, else 512, so that inputs of other lengths keep exploring a table or
// volume read with sectors other than its own.
std::string SectorSizeText(HarnessVolume volume, const uint8_t* data, size_t size) {
  uint32_t stated = 0;
  const bool tables = volume == HarnessVolume::kDiscover || volume == HarnessVolume::kSearch;
  if (tables && size >= 4096 + gpt::kSignatureLength &&
      std::memcmp(data + 4096, gpt::kSignatureText, gpt::kSignatureLength) == 0) {
    stated = 4096;
  }
  if (volume == HarnessVolume::kFatAtZero && size >= 13) stated = le16(data + 11);
  if (volume == HarnessVolume::kExfatAtZero && size > 108 && data[108] >= 9 && data[108] <= 12) {
    stated = 1u << data[108];
  }
  const bool usable = stated >= 512 && stated <= 4096 && (stated & (stated - 1)) == 0;
  return usable && size % stated == 0 ? std::to_string(stated) : "512";
}

// Gives the primary GUID partition table header of the input (in sector 1) the CRCs its
// bytes have, as the header's own fields place them, so that mutated entries and header
// fields reach the code behind the CRC checks. The backup copy is left as it comes, so the
// roads of a damaged copy run as well.
void SealGuidHeader(std::vector<uint8_t>& bytes, uint32_t sectorSize) {
  if (bytes.size() < 2 * uint64_t{sectorSize}) return;
  uint8_t* header = bytes.data() + sectorSize;
  if (std::memcmp(header, gpt::kSignatureText, gpt::kSignatureLength) != 0) return;
  const uint32_t headerSize = le32(header + gpt::kHeaderSize);
  if (headerSize < gpt::kMinimumHeaderSize || headerSize > sectorSize) return;
  const uint64_t entriesLba = le64(header + gpt::kEntriesLba);
  const uint64_t arrayBytes = uint64_t{le32(header + gpt::kEntryCount)} * le32(header + gpt::kEntrySize);
  if (entriesLba < bytes.size() / sectorSize && arrayBytes <= bytes.size() - entriesLba * sectorSize) {
    put32(header + gpt::kEntriesCrc, static_cast<uint32_t>(crc32(0, bytes.data() + entriesLba * sectorSize,
                                                                  static_cast<uInt>(arrayBytes))));
  }
  put32(header + gpt::kHeaderCrc, 0);
  put32(header + gpt::kHeaderCrc, static_cast<uint32_t>(crc32(0, header, headerSize)));
}

}  // namespace

HarnessReport RunHarness(HarnessVolume volume, const uint8_t* data, size_t size, bool lostAndFound) {
  const std::string sectorSize = SectorSizeText(volume, data, size);
  std::vector<uint8_t> bytes(data, data + size);
  const bool tables = volume == HarnessVolume::kDiscover || volume == HarnessVolume::kSearch;
  if (tables) SealGuidHeader(bytes, static_cast<uint32_t>(std::stoul(sectorSize)));
  MemoryFile file(bytes.data(), bytes.size());
  HarnessReport report;
  const DamagedMedium medium(bytes.data(), bytes.size(), std::stoul(sectorSize));
  TurnTakingFaults faults;
  OpenSettings settings;
  settings.faultPolicy = &faults;
  settings.platformRead = [&medium](int fd, void* buffer, size_t count, off_t offset) {
    return medium.Read(fd, buffer, count, offset);
  };
  SourceChoice choice = SourceFromPath(file.path(), sectorSize);
  // The search reads the source again with the sector size its volumes state, as an image
  // opened by a user is.
  choice.sectorSizeFixed = volume != HarnessVolume::kSearch;
  OpenFailure failure;
  const std::unique_ptr<OpenedSource> source = OpenedSource::Open(choice, settings, failure);
  if (!source) return report;

  PartitionList& partitions = source->partitions();
  switch (volume) {
    case HarnessVolume::kDiscover:
      if (partitions.empty()) source->NoPartitionsMessage();
      break;
    case HarnessVolume::kSearch:
      source->SearchLostVolumes(SearchDepth::kBoundaries);
      source->SearchLostVolumes(SearchDepth::kEverySector);
      if (partitions.empty()) source->NoPartitionsMessage();
      source->Notes("--sector-size ");
      break;
    case HarnessVolume::kFatAtZero:
      partitions.clear();
      partitions.push_back(std::make_unique<TFATPartition>(source->readerRef(), PartitionEntry{}));
      break;
    case HarnessVolume::kExfatAtZero:
      partitions.clear();
      partitions.push_back(std::make_unique<EXFATPartition>(source->readerRef(), PartitionEntry{}));
      break;
  }
  report.partitions = partitions.size();
  size_t visitedInAll = 0;
  for (auto& partition : partitions) {
    partition->GetDescription();
    if (partition->foundBySearch) ++report.foundBySearch;
    if (partition->rootEntry) report.nodes += WalkTree(*partition->rootEntry, visitedInAll);
  }
  if (!lostAndFound) return report;
  // The scan gets its own budget: it is what this run is for.
  visitedInAll = 0;
  for (auto& partition : partitions) {
    AddLostAndFound(*partition);
    if (partition->lostAndFound) report.lostNodes += WalkTree(*partition->lostAndFound, visitedInAll);
  }
  report.nodes += report.lostNodes;
  return report;
}

HarnessReport RunSearchHarness(const uint8_t* data, size_t size) {
  return RunHarness(HarnessVolume::kSearch, data, size);
}

HarnessReport RunScanHarness(const uint8_t* data, size_t size) {
  constexpr char kExfatName[] = "EXFAT   ";
  const bool exfat = size >= 3 + sizeof kExfatName - 1 && std::memcmp(data + 3, kExfatName, sizeof kExfatName - 1) == 0;
  return RunHarness(exfat ? HarnessVolume::kExfatAtZero : HarnessVolume::kFatAtZero, data, size, true);
}
