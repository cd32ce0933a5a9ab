#pragma once
// Hand-made exFAT entries and volumes for what no tool makes: damaged sets, looping chains,
// impossible geometry. Entries are 32-byte chunks; a volume has 512-byte sectors, the FAT at
// sector 24 and the cluster heap at sector 32, with the root directory in cluster 2.

#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/ImageBytes.h"

namespace exfat_test {

using Chunk = std::array<uint8_t, 32>;

inline Chunk FileChunk(uint8_t secondaryCount, uint8_t attributes = 0x20, bool deleted = false) {
  Chunk c{};
  c[0] = deleted ? 0x05 : 0x85;
  c[1] = secondaryCount;
  put16(&c[4], attributes);
  return c;
}

inline Chunk StreamChunk(uint8_t flags, uint8_t nameLength, uint32_t firstCluster, uint64_t dataLength) {
  Chunk c{};
  c[0] = 0xC0;
  c[1] = flags;
  c[3] = nameLength;
  put32(&c[20], firstCluster);
  put32(&c[24], static_cast<uint32_t>(dataLength));
  put32(&c[28], static_cast<uint32_t>(dataLength >> 32));
  return c;
}

// Up to 15 units of a name, or of a label when type is 0x83.
inline Chunk UnitsChunk(const std::u16string& units, uint8_t type = 0xC1, uint8_t count = 0) {
  Chunk c{};
  c[0] = type;
  c[1] = count;
  for (size_t i = 0; i < units.size() && i < 15; ++i) put16(&c[2 + 2 * i], units[i]);
  return c;
}

// A whole set: file, stream and as many name chunks as the name needs.
inline std::vector<Chunk> FileSet(const std::u16string& name, uint8_t flags, uint32_t firstCluster,
                                  uint64_t dataLength, uint8_t attributes = 0x20) {
  const size_t nameChunks = (name.size() + 14) / 15;
  std::vector<Chunk> set = {FileChunk(static_cast<uint8_t>(1 + nameChunks), attributes),
                            StreamChunk(flags, static_cast<uint8_t>(name.size()), firstCluster, dataLength)};
  for (size_t i = 0; i < nameChunks; ++i) set.push_back(UnitsChunk(name.substr(15 * i, 15)));
  return set;
}

inline Bytes ChunkBytes(std::initializer_list<std::vector<Chunk>> groups) {
  Bytes bytes;
  for (const auto& group : groups) {
    for (const Chunk& c : group) bytes.insert(bytes.end(), c.begin(), c.end());
  }
  return bytes;
}

class Volume {
 public:
  static constexpr uint32_t kSector = 512;
  static constexpr uint32_t kFatSector = 24;
  static constexpr uint32_t kHeapSector = 32;

  // clusterCount clusters of (1 << clusterShift) sectors; the image holds all of them.
  explicit Volume(uint32_t clusterCount = 64, unsigned clusterShift = 0)
      : clusterBytes_(kSector << clusterShift),
        image_(kHeapSector * kSector + size_t{clusterCount} * clusterBytes_) {
    image_.text(3, "EXFAT   ").signature(0);
    image_.u32(80, kFatSector).u32(84, kHeapSector - kFatSector).u32(88, kHeapSector);
    image_.u32(92, clusterCount).u32(96, 2).u8(108, 9).u8(109, static_cast<uint8_t>(clusterShift));
    Fat(0, 0xFFFFFFF8).Fat(1, 0xFFFFFFFF).Fat(2, 0xFFFFFFFF);
  }

  Volume& Boot(size_t offset, uint32_t value) { image_.u32(offset, value); return *this; }
  Volume& BootByte(size_t offset, uint8_t value) { image_.u8(offset, value); return *this; }
  Volume& Fat(uint32_t cluster, uint32_t next) { image_.u32(kFatSector * kSector + 4 * size_t{cluster}, next); return *this; }
  // Links the clusters in order and ends the chain after the last.
  Volume& Chain(std::initializer_list<uint32_t> clusters) {
    const uint32_t* c = clusters.begin();
    for (; c + 1 != clusters.end(); ++c) Fat(*c, c[1]);
    return Fat(*c, 0xFFFFFFFF);
  }
  size_t ClusterOffset(uint32_t cluster) const { return kHeapSector * kSector + size_t{cluster - 2} * clusterBytes_; }
  Volume& Put(uint32_t cluster, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image_.at(ClusterOffset(cluster)));
    return *this;
  }
  // The root directory's entries, from its first cluster on.
  Volume& Root(const Bytes& entries) { return Put(2, entries); }

  // Writes the image, cut to size bytes when size is not 0.
  std::string Write(const TempDir& dir, size_t size = 0) const {
    Bytes bytes = image_.bytes();
    if (size != 0) bytes.resize(size);
    const std::string path = dir / "exfat.img";
    WriteFileBytes(path, bytes);
    return path;
  }

 private:
  uint32_t clusterBytes_;
  ImageBytes image_;
};

}  // namespace exfat_test
