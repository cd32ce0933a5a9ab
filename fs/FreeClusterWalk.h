#pragma once
// The walk that gives back a deleted entry's data in both families once its chain is gone (FAT
// frees it, exfat-fuse clears it): its data is taken from its first cluster on over the clusters
// the allocation data marks free. Those in use belong to other files now and are skipped.

#include <cstddef>
#include <cstdint>
#include <functional>

#include "device/SectorReader.h"
#include "fs/ClusterHeap.h"
#include "fs/SpanStream.h"

// Which clusters a volume's allocation data marks free: the FAT's zero entries, or the clear
// bits of the exFAT allocation bitmap.
class FreeClusterMap {
 public:
  virtual ~FreeClusterMap() = default;
  // 0 when cluster is free; otherwise how many clusters from it on are known to be in use, at
  // least 1. A map that sees a whole stretch in use at once (a bitmap byte of ones) says so, and
  // the walk passes it in one step.
  virtual uint32_t InUseFrom(uint32_t cluster) = 0;
  bool IsFree(uint32_t cluster) { return InUseFrom(cluster) == 0; }
};

class FreeClusterWalk {
 public:
  FreeClusterWalk(const ClusterHeap& heap, FreeClusterMap& map) : heap_(heap), map_(map) {}

  // Sends count bytes from cluster first on, over the free clusters from there to the end of the
  // heap; free clusters that follow each other on disk go as one run. Nothing when first lies
  // outside the heap or is in use: its start was overwritten. What it cannot send, it tells the
  // stream why. Returns false when the sink stopped the read; the caller finishes the stream.
  bool Send(uint32_t first, uint64_t count, SpanStream& output);

  // Hands visit the bytes of the same clusters one at a time, read through the reader's window:
  // first when it is free, then every free cluster after it, until visit returns false or the
  // heap ends.
  using Visitor = std::function<bool(uint32_t cluster, const uint8_t* bytes, size_t count)>;
  void Visit(TSectorReader& reader, uint32_t first, const Visitor& visit);

 private:
  // first when it lies in the heap and is free; else 0.
  uint32_t FreeFirst(uint32_t first);
  // The first free cluster from on; 0 when none is left in the heap.
  uint32_t NextFree(uint64_t from);

  ClusterHeap heap_;
  FreeClusterMap& map_;
};
