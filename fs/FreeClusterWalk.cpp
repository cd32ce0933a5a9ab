#include "fs/FreeClusterWalk.h"

#include <algorithm>
#include <vector>

uint32_t FreeClusterWalk::FreeFirst(uint32_t first) { return heap_.Contains(first) && map_.IsFree(first) ? first : 0; }

uint32_t FreeClusterWalk::NextFree(uint64_t from) {
  for (uint64_t cluster = from; heap_.Contains(cluster);) {
    const uint32_t inUse = map_.InUseFrom(static_cast<uint32_t>(cluster));
    if (inUse == 0) return static_cast<uint32_t>(cluster);
    cluster += inUse;
  }
  return 0;
}

bool FreeClusterWalk::Send(uint32_t first, uint64_t count, SpanStream& output) {
  if (count == 0) return true;
  if (!heap_.Contains(first)) {
    output.Note(heap_.InVolume(first) ? DataShortfall::kBeyondSource : DataShortfall::kOutsideVolume);
    return true;
  }
  uint32_t cluster = FreeFirst(first);
  if (cluster == 0) output.Note(DataShortfall::kFirstClusterTaken);
  uint64_t remaining = count;
  while (cluster != 0) {
    const uint32_t runStart = cluster;
    uint64_t runBytes = heap_.clusterBytes;
    while (runBytes < remaining && heap_.Contains(uint64_t{cluster} + 1) && heap_.FollowsOnDisk(cluster, cluster + 1) &&
           map_.IsFree(cluster + 1)) {
      ++cluster;
      runBytes += heap_.clusterBytes;
    }
    const uint64_t n = std::min(runBytes, remaining);
    if (!output.Send(heap_.SectorOf(runStart), n)) return false;
    remaining -= n;
    if (remaining == 0) return true;
    cluster = NextFree(uint64_t{cluster} + 1);
    if (cluster == 0) output.Note(heap_.beyondSource != 0 ? DataShortfall::kBeyondSource : DataShortfall::kVolumeEnds);
  }
  return true;
}

void FreeClusterWalk::Visit(TSectorReader& reader, uint32_t first, const Visitor& visit) {
  uint32_t cluster = FreeFirst(first);
  if (cluster == 0) return;
  std::vector<uint8_t> bytes(heap_.clusterBytes);
  for (; cluster != 0; cluster = NextFree(uint64_t{cluster} + 1)) {
    ReadClipped(reader, heap_.SectorOf(cluster), bytes.data(), bytes.size());
    if (!visit(cluster, bytes.data(), bytes.size())) return;
  }
}
