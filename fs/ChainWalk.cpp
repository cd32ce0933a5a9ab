#include "fs/ChainWalk.h"

#include <algorithm>

ChainWalkEnd WalkChain(const ClusterHeap& heap, ChainTable& table, uint32_t first, uint64_t remaining,
                       ClusterTrail& trail, SpanStream& output) {
  using Link = ChainTable::Link;
  if (!trail.Pass(first)) return {};
  uint32_t cluster = first;
  uint32_t clustersLeft = heap.count;
  while (remaining > 0 && clustersLeft > 0) {
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
      if (link != Link::kNext || !heap.FollowsOnDisk(cluster, next) || clustersLeft == 0) break;
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
    if (remaining == 0 || loops || link == Link::kEnd) return {};
    if (link == Link::kFree) return {.atFreeEntry = true, .lastCluster = cluster, .remaining = remaining};
    if (!trail.Pass(next)) return {};
    cluster = next;
  }
  return {};
}
