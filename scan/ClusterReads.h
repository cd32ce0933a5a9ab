#pragma once
// How the lost-and-found scan reads a volume's data area: the first bytes of cluster after
// cluster, and the bytes of a file that may lie over one run of clusters or several. Both read
// straight from the medium into a page-aligned block (the kernel copies fastest into it), in
// reads of up to 1 MiB, and not through the reader's window: the window would read a whole
// stretch around every cluster's first sector and push out the tables read around the scan.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/FreeDeleter.h"
#include "device/SectorReader.h"
#include "formats/carve/Carving.h"
#include "fs/ClusterHeap.h"

// Clusters that follow each other on disk, from first on.
struct ClusterRun {
  uint32_t first = 0;
  uint32_t count = 0;
};

// A page-aligned block of bytes.
class AlignedBlock {
 public:
  explicit AlignedBlock(size_t bytes);
  uint8_t* data() const { return bytes_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[], FreeDeleter> bytes_;
  size_t size_ = 0;
};

// The first bytes of clusters, asked for in rising order. Where a cluster's first bytes are a
// large share of it (small clusters), a block of the clusters that follow is read at once;
// otherwise only the first bytes of the cluster asked for.
class ClusterHeads {
 public:
  ClusterHeads(TSectorReader& reader, const ClusterHeap& heap, size_t headBytes);

  // The first size() bytes of cluster, or nullptr where they could not be read.
  const uint8_t* Head(uint32_t cluster);
  size_t size() const { return headBytes_; }

 private:
  bool ReadBlock(uint32_t cluster);

  TSectorReader& reader_;
  ClusterHeap heap_;
  size_t headBytes_;
  uint32_t blockClusters_;  // clusters one read takes in: 1 where only heads are read
  AlignedBlock block_;
  uint32_t first_ = 0;      // the clusters the block holds: first_ to first_ + held_ - 1
  uint32_t held_ = 0;
};

// The bytes of a file that may lie over runs of clusters, counted from the first byte of the
// first run, up to limit bytes. Reads start at 4 KiB and grow while a walk reads on in order,
// so that a header that leads nowhere costs little and a long file is read in large pieces.
class ClusterRunSource final : public CarveSource {
 public:
  // block is the scan's, reused for every file; runs must not be empty.
  ClusterRunSource(TSectorReader& reader, const ClusterHeap& heap, std::vector<ClusterRun> runs, uint64_t limit,
                   AlignedBlock& block);

  size_t Read(uint64_t offset, uint8_t* dest, size_t count) override;
  uint64_t Limit() const override { return limit_; }

 private:
  bool Fill(uint64_t at);

  TSectorReader& reader_;
  ClusterHeap heap_;
  std::vector<ClusterRun> runs_;
  uint64_t limit_;
  AlignedBlock& block_;
  uint64_t bufferStart_ = 0;
  size_t bufferFill_ = 0;
  size_t nextRead_;  // the size of the next read: doubles while reads follow each other
};

// Reads count bytes from the first byte of sector on straight into dest; bytes beyond the source
// are zeros. False when the read failed.
bool ReadDirectClipped(TSectorReader& reader, uint64_t sector, uint8_t* dest, size_t count);
