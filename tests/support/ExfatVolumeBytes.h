#pragma once
// Hand-made exFAT entries and volumes for what no tool makes: damaged sets, looping chains,
// impossible geometry. A volume has 512-byte sectors, the FAT at sector 24, the cluster heap
// at sector 32 and the root directory in cluster 2.

#include <initializer_list>
#include <string>

#include "support/ImageBytes.h"

namespace exfat_test {

// One 32-byte entry of the given type with a few fields set: byte 1, then 15 UTF-16 units
// from byte 2 (names and labels), or the stream fields.
inline Bytes Entry(uint8_t type, uint8_t byte1, const std::u16string& units = u"") {
  ImageBytes e(32);
  e.u8(0, type).u8(1, byte1).utf16(2, units.substr(0, 15));
  return e.bytes();
}

inline Bytes Stream(uint8_t flags, uint8_t nameLength, uint32_t firstCluster, uint64_t dataLength) {
  ImageBytes e(32);
  e.u8(0, 0xC0).u8(1, flags).u8(3, nameLength).u32(20, firstCluster).u64(24, dataLength);
  return e.bytes();
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// A whole live set: file chunk (attributes 0x20), stream chunk and the name chunks.
inline Bytes FileSet(const std::u16string& name, uint8_t flags, uint32_t firstCluster, uint64_t dataLength) {
  const size_t nameChunks = (name.size() + 14) / 15;
  Bytes set = Join({Entry(0x85, static_cast<uint8_t>(1 + nameChunks)),
                    Stream(flags, static_cast<uint8_t>(name.size()), firstCluster, dataLength)});
  set[4] = 0x20;
  for (size_t i = 0; i < nameChunks; ++i) set = Join({set, Entry(0xC1, 0, name.substr(15 * i, 15))});
  return set;
}

class ExfatVolumeBytes {
 public:
  // clusterCount clusters of (1 << clusterShift) sectors, all held by the image.
  explicit ExfatVolumeBytes(uint32_t clusterCount = 64, unsigned clusterShift = 0)
      : clusterBytes_(512u << clusterShift), image_(32 * 512 + size_t{clusterCount} * clusterBytes_) {
    image_.text(3, "EXFAT   ").signature(0);
    image_.u32(80, 24).u32(84, 8).u32(88, 32).u32(92, clusterCount).u32(96, 2);
    image_.u8(108, 9).u8(109, static_cast<uint8_t>(clusterShift));
    Fat(0, 0xFFFFFFF8).Fat(1, 0xFFFFFFFF).Fat(2, 0xFFFFFFFF);
  }

  ImageBytes& image() { return image_; }
  ExfatVolumeBytes& Fat(uint32_t cluster, uint32_t next) {
    image_.u32(24 * 512 + 4 * size_t{cluster}, next);
    return *this;
  }
  size_t ClusterOffset(uint32_t cluster) const { return 32 * 512 + size_t{cluster - 2} * clusterBytes_; }
  // Writes bytes from the cluster's first byte on, running into the clusters after it.
  ExfatVolumeBytes& Put(uint32_t cluster, const Bytes& bytes) {
    std::copy(bytes.begin(), bytes.end(), image_.at(ClusterOffset(cluster)));
    return *this;
  }

  // Writes the image as dir/exfat.img, cut to size bytes when size is not 0.
  std::string Write(const TempDir& dir, size_t size = 0) const {
    Bytes bytes = image_.bytes();
    if (size != 0) bytes.resize(size);
    WriteFileBytes(dir / "exfat.img", bytes);
    return dir / "exfat.img";
  }

 private:
  uint32_t clusterBytes_;
  ImageBytes image_;
};

}  // namespace exfat_test
