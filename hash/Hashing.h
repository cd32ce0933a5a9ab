#pragma once
// Hashing an entry's data, as a save would write it, or the whole source, sector by sector
// through the reader. Both run on any thread; the caller's ReadSession, if any, answers their
// read faults, and the bytes that cannot be read are hashed as the zeros a save would write.

#include <cstdint>
#include <functional>
#include <vector>

#include "device/SectorReader.h"
#include "fs/Partition.h"
#include "hash/Digest.h"

// Told the bytes hashed so far and how many there are to hash (0: not known); false stops.
using HashProgress = std::function<bool(uint64_t done, uint64_t total)>;

struct Hashes {
  std::vector<Digest> digests;  // in the order the algorithms were given
  uint64_t bytes = 0;           // bytes hashed
  bool complete = true;         // false when progress stopped it: digests are then empty
};

Hashes HashEntry(TDirectoryEntry& entry, const std::vector<HashAlgorithm>& algorithms,
                 const HashProgress& progress = nullptr);

// Every sector the reader addresses: the medium as an image of it holds it, less a last part
// of less than a sector.
Hashes HashSource(TSectorReader& reader, const std::vector<HashAlgorithm>& algorithms,
                  const HashProgress& progress = nullptr);
