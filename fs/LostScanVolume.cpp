#include "fs/LostScanVolume.h"

#include <algorithm>

#include "fs/SpanStream.h"

namespace {

constexpr size_t kMostClusterStartBytes = 256 * 1024;

}  // namespace

void ClusterBits::SetBytes(const ClusterHeap& heap, uint64_t mediumByte, uint64_t length) {
  const uint64_t heapStart = heap.firstSector * heap.sourceSectorBytes;
  if (heap.clusterBytes == 0 || length == 0 || mediumByte + length <= heapStart) return;
  const uint64_t from = mediumByte < heapStart ? 0 : (mediumByte - heapStart) / heap.clusterBytes;
  const uint64_t to = (mediumByte + length - 1 - heapStart) / heap.clusterBytes;
  for (uint64_t i = from; i <= to && i < count_; ++i) Set(static_cast<uint32_t>(i + ClusterHeap::kFirstCluster));
}

std::vector<uint8_t> ReadClusterStart(TSectorReader& reader, const ClusterHeap& heap, uint32_t cluster) {
  std::vector<uint8_t> bytes(std::min<size_t>(heap.clusterBytes, kMostClusterStartBytes));
  ReadClipped(reader, heap.SectorOf(cluster), bytes.data(), bytes.size());
  return bytes;
}

std::string LostFolderCaption(uint32_t cluster) { return "Folder at cluster " + std::to_string(cluster); }
