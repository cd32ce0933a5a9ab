#pragma once
// A FAT volume written byte by byte, for the layouts no tool makes: damaged chains, stray long
// names, odd labels. 512-byte sectors, one reserved sector, one allocation table, a fixed root
// (FAT12/16) or a root cluster (FAT32), then the data clusters.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/ImageBytes.h"

class HandVolume {
 public:
  static constexpr uint32_t kSector = 512;

  HandVolume(int fatType, uint32_t clusters, uint32_t sectorsPerCluster = 1, uint32_t rootEntries = 64)
      : fatType(fatType),
        clusters(clusters),
        sectorsPerCluster(sectorsPerCluster),
        rootEntries(fatType == 32 ? 0 : rootEntries),
        tableSectors(TableSectors(fatType, clusters)),
        dataStart(1 + tableSectors + this->rootEntries * 32 / kSector),
        image(size_t{dataStart + clusters * sectorsPerCluster} * kSector) {
    WriteBootSector();
    SetEntry(0, 0x0FFFFFF8);
    SetEntry(1, 0x0FFFFFFF);
    if (fatType == 32) Chain({rootCluster});
  }

  uint32_t ClusterBytes() const { return sectorsPerCluster * kSector; }
  uint64_t ClusterOffset(uint32_t cluster) const {
    return (uint64_t{dataStart} + uint64_t{cluster - 2} * sectorsPerCluster) * kSector;
  }
  uint64_t RootOffset() const {
    return fatType == 32 ? ClusterOffset(rootCluster) : uint64_t{1 + tableSectors} * kSector;
  }

  // The table entry of cluster, packed as the FAT width wants it.
  void SetEntry(uint32_t cluster, uint32_t value) {
    const size_t table = kSector;
    if (fatType == 12) {
      const size_t at = table + cluster + cluster / 2;
      if (cluster & 1) {
        image.u8(at, static_cast<uint8_t>((image.at(at)[0] & 0x0F) | (value << 4 & 0xF0)));
        image.u8(at + 1, static_cast<uint8_t>(value >> 4));
      } else {
        image.u8(at, static_cast<uint8_t>(value));
        image.u8(at + 1, static_cast<uint8_t>((image.at(at + 1)[0] & 0xF0) | (value >> 8 & 0x0F)));
      }
    } else if (fatType == 16) {
      image.u16(table + 2 * size_t{cluster}, static_cast<uint16_t>(value));
    } else {
      image.u32(table + 4 * size_t{cluster}, value);
    }
  }

  // Links the clusters in this order; the last one ends the chain.
  void Chain(std::initializer_list<uint32_t> chain) {
    const uint32_t* previous = nullptr;
    for (const uint32_t& cluster : chain) {
      if (previous) SetEntry(*previous, cluster);
      previous = &cluster;
    }
    if (previous) SetEntry(*previous, 0x0FFFFFFF);
  }

  // Writes slot index of the directory at byte offset directory. name83 is the 11 name bytes.
  void Slot(uint64_t directory, size_t index, const std::string& name83, uint8_t attributes,
            uint32_t firstCluster = 0, uint32_t size = 0) {
    const size_t at = directory + 32 * index;
    image.text(at, name83.substr(0, 11));
    image.u8(at + 11, attributes);
    image.u16(at + 26, static_cast<uint16_t>(firstCluster));
    image.u16(at + 20, static_cast<uint16_t>(firstCluster >> 16));
    image.u32(at + 28, size);
  }

  // A long-name slot holding the 13 units of piece (padded as a formatter pads them) and the
  // checksum of owner83, the 11 name bytes of the short name it belongs to.
  void LongNameSlot(uint64_t directory, size_t index, uint8_t sequence, const std::u16string& piece,
                    const std::string& owner83) {
    std::u16string units = piece.substr(0, 13);
    if (units.size() < 13) units += u'\0';
    while (units.size() < 13) units += u'\xFFFF';
    const size_t at = directory + 32 * index;
    image.u8(at, sequence).u8(at + 11, 0x0F).u8(at + 13, Checksum(owner83));
    image.utf16(at + 1, units.substr(0, 5)).utf16(at + 14, units.substr(5, 6)).utf16(at + 28, units.substr(11, 2));
  }

  // The checksum long-name slots carry: each byte added to the sum rotated right by one bit.
  static uint8_t Checksum(const std::string& name83) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) {
      sum = static_cast<uint8_t>(((sum & 1) ? 0x80 : 0) + (sum >> 1) + static_cast<uint8_t>(name83.at(i)));
    }
    return sum;
  }

  // Fills cluster with a pattern and returns its bytes.
  Bytes FillCluster(uint32_t cluster, uint32_t seed) {
    Bytes bytes = PatternBytes(ClusterBytes(), seed);
    std::copy(bytes.begin(), bytes.end(), image.at(ClusterOffset(cluster)));
    return bytes;
  }

  const int fatType;
  const uint32_t clusters;
  const uint32_t sectorsPerCluster;
  const uint32_t rootEntries;
  const uint32_t tableSectors;
  const uint32_t dataStart;
  const uint32_t rootCluster = 2;
  ImageBytes image;

 private:
  static uint32_t TableSectors(int fatType, uint32_t clusters) {
    const uint64_t bytes = fatType == 12 ? (uint64_t{clusters} + 2) * 3 / 2 + 1 : (uint64_t{clusters} + 2) * (fatType / 8);
    return static_cast<uint32_t>((bytes + kSector - 1) / kSector);
  }

  void WriteBootSector() {
    image.u8(0, 0xEB).u8(1, 0x3C).u8(2, 0x90).text(3, "HANDMADE");
    image.u16(11, kSector).u8(13, static_cast<uint8_t>(sectorsPerCluster)).u16(14, 1).u8(16, 1);
    image.u16(17, static_cast<uint16_t>(rootEntries)).u8(21, 0xF8);
    const uint32_t totalSectors = dataStart + clusters * sectorsPerCluster;
    if (totalSectors < 0x10000) image.u16(19, static_cast<uint16_t>(totalSectors));
    else image.u32(32, totalSectors);
    if (fatType == 32) {
      image.u32(36, tableSectors).u32(44, rootCluster).text(71, "           ").text(82, "FAT32   ");
    } else {
      image.u16(22, static_cast<uint16_t>(tableSectors)).text(43, "           ");
      image.text(54, fatType == 12 ? "FAT12   " : "FAT16   ");
    }
    image.signature(0);
  }
};
