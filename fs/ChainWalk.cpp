#include "fs/ChainWalk.h"

#include <algorithm>

namespace {

ChainWalkEnd Ended(DataShortfall why, uint32_t lastCluster, uint64_t remaining) {
  return {.shortfall = why, .lastCluster = lastCluster, .remaining = remaining};
}

DataShortfall ShortfallOf(ChainTable::Link link) {
  switch (link) {
    case ChainTable::Link::kEnd: return DataShortfall::kEarlyEnd;
    case ChainTable::Link::kFree: return DataShortfall::kFreeInChain;
    case ChainTable::Link::kBadMark: return DataShortfall::kBadClusterMark;
    case ChainTable::Link::kNext: break;
  }
  return DataShortfall::kNone;
}

}  // namespace

ChainWalkEnd WalkChain(const ClusterHeap& heap, ChainTable& table, uint32_t first, uint64_t remaining,
                       ClusterTrail& trail, SpanStream& output) {
  using Link = ChainTable::Link;
  if (remaining == 0) return {};
  if (!heap.InVolume(first)) return Ended(DataShortfall::kOutsideVolume, first, remaining);
  if (!trail.Pass(first)) return Ended(DataShortfall::kLoop, first, remaining);
  uint32_t cluster = first;
  uint32_t clustersLeft = heap.count;
  while (clustersLeft > 0) {
    // Follow the chain while it stays on clusters that follow each other on disk, then read
    // them in one go.
    const uint32_t runStart = cluster;
    uint64_t runBytes = heap.clusterBytes;
    --clustersLeft;
    uint32_t next = 0;
    Link link = Link::kEnd;
    bool loops = false;
    while (runBytes < remaining) {
      next = table.EntryOf(cluster);
      link = table.LinkOf(next);
      if (link != Link::kNext || !heap.InVolume(next) || !heap.FollowsOnDisk(cluster, next) || clustersLeft == 0) {
        break;
      }
      if (!trail.Pass(next)) {
        loops = true;
        break;
      }
      cluster = next;
      runBytes += heap.clusterBytes;
      --clustersLeft;
    }
    const uint64_t count = std::min(runBytes, remaining);
    if (!output.Send(heap.SectorOf(runStart), count)) return {.stopped = true};
    remaining -= count;
    // Bytes still wanted: the run ended at an entry that was read for it.
    if (remaining == 0) return {};
    if (loops) return Ended(DataShortfall::kLoop, cluster, remaining);
    if (link != Link::kNext) return Ended(ShortfallOf(link), cluster, remaining);
    if (!heap.InVolume(next)) return Ended(DataShortfall::kOutsideVolume, cluster, remaining);
    if (clustersLeft == 0) break;
    if (!trail.Pass(next)) return Ended(DataShortfall::kLoop, cluster, remaining);
    cluster = next;
  }
  // As many clusters as the source holds were read: a loop through clusters beyond its end,
  // which no trail remembers, or a chain longer than what the source holds of the volume.
  return Ended(heap.Contains(cluster) ? DataShortfall::kLoop : DataShortfall::kBeyondSource, cluster, remaining);
}
