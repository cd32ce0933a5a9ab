#pragma once
// Where a volume's data clusters lie on the source, as both families number them: clusters 2
// to count + 1, one after another from the first sector of cluster 2 on. The walks over chains
// and free clusters take their geometry from here.

#include <cstdint>

#include "fs/ClusterTrail.h"

struct ClusterHeap {
  static constexpr uint32_t kFirstCluster = 2;

  uint32_t count = 0;               // clusters in the volume that start in the source; 0 when it has no usable geometry
  uint64_t firstSector = 0;         // absolute sector of cluster 2, in the source's sectors
  uint32_t sectorsPerCluster = 0;   // sectors a cluster steps on by
  uint32_t clusterBytes = 0;
  uint32_t sourceSectorBytes = 1;
  // FAT counts sectors in 32 bits, which wrap as they do on the volume; exFAT keeps its sums
  // wide, so that a sector past 2^32 lies beyond the source instead of wrapping onto it.
  bool sectorsWrap = false;
  // Clusters the volume claims after those, which lie beyond the end of a source that cuts it
  // short: a chain may lead through them, but they hold nothing the source can give.
  uint32_t beyondSource = 0;

  bool Contains(uint64_t cluster) const { return cluster >= kFirstCluster && cluster - kFirstCluster < count; }
  // Whether cluster is one of the volume's, in the source or beyond its end.
  bool InVolume(uint64_t cluster) const {
    return cluster >= kFirstCluster && cluster - kFirstCluster < uint64_t{count} + beyondSource;
  }
  uint64_t Bytes() const { return uint64_t{count} * clusterBytes; }
  uint64_t VolumeBytes() const { return (uint64_t{count} + beyondSource) * clusterBytes; }

  // First sector of cluster.
  uint64_t SectorOf(uint32_t cluster) const {
    const uint64_t sector = firstSector + uint64_t{cluster - kFirstCluster} * sectorsPerCluster;
    return sectorsWrap ? static_cast<uint32_t>(sector) : sector;
  }

  // Whether next's first byte on the source directly follows cluster's last one, so that both
  // can be read in one piece.
  bool FollowsOnDisk(uint32_t cluster, uint32_t next) const {
    return SectorOf(next) * sourceSectorBytes == SectorOf(cluster) * sourceSectorBytes + clusterBytes;
  }

  // A trail that remembers the volume's clusters.
  ClusterTrail Trail() const { return ClusterTrail(kFirstCluster, count); }
};
