#include "scan/ClusterReads.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kPageBytes = 4096;
// Clusters up to this size are read a block at a time by ClusterHeads: their first bytes are a
// quarter of them or more, and one large read costs less than many small ones.
constexpr uint32_t kWholeClusterBytes = 16 * 1024;
// The first read of a file's bytes: the first bytes of its cluster, which tell whether a file may
// begin there at all; later ones double up to the block's size. A volume of a million headers
// that lead nowhere costs a million small reads, not a million large ones.
constexpr size_t kFirstReadBytes = 4096;

}  // namespace

AlignedBlock::AlignedBlock(size_t bytes)
    : bytes_(static_cast<uint8_t*>(std::aligned_alloc(kPageBytes, (std::max<size_t>(bytes, 1) + kPageBytes - 1) /
                                                                       kPageBytes * kPageBytes))),
      size_(bytes_ ? bytes : 0) {}

bool ReadDirectClipped(TSectorReader& reader, uint64_t sector, uint8_t* dest, size_t count) {
  const uint64_t sectorBytes = reader.bytesPerSector();
  const uint64_t totalSectors = reader.totalSectors();
  const uint64_t readable =
      sector < totalSectors ? std::min<uint64_t>(count, (totalSectors - sector) * sectorBytes) : 0;
  const bool ok = readable == 0 ||
                  reader.ReadDirectAt(static_cast<uint32_t>(sector), dest, static_cast<uint32_t>(readable));
  std::memset(dest + readable, 0, count - readable);
  return ok;
}

ClusterHeads::ClusterHeads(TSectorReader& reader, const ClusterHeap& heap, size_t headBytes)
    : reader_(reader),
      heap_(heap),
      headBytes_(std::min<size_t>(headBytes, heap.clusterBytes)),
      blockClusters_(heap.clusterBytes != 0 && heap.clusterBytes <= kWholeClusterBytes
                         ? static_cast<uint32_t>(kMaxDirectReadBytes / heap.clusterBytes)
                         : 1),
      block_(blockClusters_ > 1 ? size_t{blockClusters_} * heap.clusterBytes : headBytes_) {}

const uint8_t* ClusterHeads::Head(uint32_t cluster) {
  if (block_.size() == 0 || !heap_.Contains(cluster)) return nullptr;
  if (cluster < first_ || cluster - first_ >= held_) {
    if (!ReadBlock(cluster)) return nullptr;
  }
  return block_.data() + size_t{cluster - first_} * (blockClusters_ > 1 ? heap_.clusterBytes : 0);
}

// Reads cluster and those after it that follow it on disk, up to a block's worth; where that
// read fails, cluster's first bytes alone, so that one bad sector costs one cluster.
bool ClusterHeads::ReadBlock(uint32_t cluster) {
  first_ = cluster;
  held_ = 0;
  const uint32_t end = ClusterHeap::kFirstCluster + heap_.count;
  uint32_t n = 1;
  if (blockClusters_ > 1) {
    while (n < blockClusters_ && cluster + n < end && heap_.FollowsOnDisk(cluster + n - 1, cluster + n)) ++n;
    if (ReadDirectClipped(reader_, heap_.SectorOf(cluster), block_.data(), size_t{n} * heap_.clusterBytes)) {
      held_ = n;
      return true;
    }
  }
  if (!ReadDirectClipped(reader_, heap_.SectorOf(cluster), block_.data(), headBytes_)) return false;
  held_ = 1;
  return true;
}

ClusterRunSource::ClusterRunSource(TSectorReader& reader, const ClusterHeap& heap, std::vector<ClusterRun> runs,
                                   uint64_t limit, AlignedBlock& block)
    : reader_(reader),
      heap_(heap),
      runs_(std::move(runs)),
      limit_(limit),
      block_(block),
      nextRead_(std::min(kFirstReadBytes, block.size())) {}

size_t ClusterRunSource::Read(uint64_t offset, uint8_t* dest, size_t count) {
  if (offset >= limit_) return 0;
  count = static_cast<size_t>(std::min<uint64_t>(count, limit_ - offset));
  size_t done = 0;
  while (done < count) {
    const uint64_t at = offset + done;
    if (at < bufferStart_ || at >= bufferStart_ + bufferFill_) {
      if (!Fill(at)) return done;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count - done, bufferStart_ + bufferFill_ - at));
    std::memcpy(dest + done, block_.data() + (at - bufferStart_), n);
    done += n;
  }
  return done;
}

// Reads the stretch from at on, from a sector's first byte, up to the end of the run at lies in.
bool ClusterRunSource::Fill(uint64_t at) {
  const uint64_t sectorBytes = std::max<uint32_t>(reader_.bytesPerSector(), 1);
  if (block_.size() < sectorBytes) return false;
  // Reading on where the last read ended: the walk goes through the file, so the reads grow.
  if (bufferFill_ != 0 && at == bufferStart_ + bufferFill_) nextRead_ = std::min(nextRead_ * 2, block_.size());
  uint64_t runStart = 0;
  for (const ClusterRun& run : runs_) {
    const uint64_t runBytes = uint64_t{run.count} * heap_.clusterBytes;
    if (at < runStart + runBytes) {
      const uint64_t within = at - runStart;
      const uint64_t aligned = within - within % sectorBytes;
      const uint64_t want = std::min<uint64_t>({nextRead_ / sectorBytes * sectorBytes, runBytes - aligned,
                                                limit_ - (runStart + aligned) + sectorBytes});
      size_t n = static_cast<size_t>(std::max<uint64_t>(want, sectorBytes));
      bufferStart_ = runStart + aligned;
      bufferFill_ = 0;
      // A read that fails may have met a bad sector further on than the walk needs: shorter
      // reads give the bytes in front of it, down to the one sector at.
      while (!ReadDirectClipped(reader_, heap_.SectorOf(run.first) + aligned / sectorBytes, block_.data(), n)) {
        if (n <= sectorBytes) return false;
        n = static_cast<size_t>(std::max<uint64_t>(n / 2 / sectorBytes * sectorBytes, sectorBytes));
        nextRead_ = n;
      }
      bufferFill_ = n;
      return true;
    }
    runStart += runBytes;
  }
  return false;
}
