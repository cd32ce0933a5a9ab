#pragma once
// The walk along a cluster chain that both families read files and directories by. It follows
// the chain through the family's allocation table, takes clusters that follow each other on
// disk as one run and sends each run to a SpanStream. It ends where the table ends the chain,
// where the chain comes back to a cluster on its trail (a loop, or a cluster read before on a
// shared trail), when as many clusters as the volume has were read, or when the bytes wanted
// were sent. What an entry means is the family's to say.

#include <cstdint>

#include "fs/ClusterHeap.h"
#include "fs/ClusterTrail.h"
#include "fs/SpanStream.h"

// A family's allocation table as the chain walk reads it.
class ChainTable {
 public:
  // What an entry says of the cluster after the one it belongs to.
  enum class Link {
    kNext,  // the number of the chain's next cluster, followed wherever it points
    kEnd,   // the chain ends: an end mark, or a number the family does not follow
    kFree,  // a free entry: the table no longer knows where the chain goes
  };

  virtual ~ChainTable() = default;
  // The entry of cluster.
  virtual uint32_t EntryOf(uint32_t cluster) = 0;
  virtual Link LinkOf(uint32_t entry) const = 0;
};

// How a chain walk ended.
struct ChainWalkEnd {
  bool stopped = false;      // the sink stopped the read
  bool atFreeEntry = false;  // the chain came to a free entry with bytes still wanted:
  uint32_t lastCluster = 0;  //   the cluster read last, whose entry that was,
  uint64_t remaining = 0;    //   and how many bytes were not sent
};

// Sends up to remaining bytes of the chain that starts at first, which the trail must let
// pass, along table. Clusters outside the heap are followed as the table links them (they are
// not on the trail; counting every cluster against the heap's number bounds them too).
ChainWalkEnd WalkChain(const ClusterHeap& heap, ChainTable& table, uint32_t first, uint64_t remaining,
                       ClusterTrail& trail, SpanStream& output);
