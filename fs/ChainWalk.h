#pragma once
// The walk along a cluster chain that both families read files and directories by. It follows
// the chain through the family's allocation table, takes clusters that follow each other on
// disk as one run and sends each run to a SpanStream. It ends when the bytes wanted were sent,
// or, with bytes still wanted, where the table ends the chain, marks a cluster bad or frees it,
// where the chain leads outside the volume, where it comes back to a cluster on its trail (a
// loop, or a cluster read before on a shared trail), or when as many clusters as the source
// holds of the volume were read; and says which. What an entry means is the family's to say.

#include <cstdint>

#include "fs/ClusterHeap.h"
#include "fs/ClusterTrail.h"
#include "fs/Completeness.h"
#include "fs/SpanStream.h"

// A family's allocation table as the chain walk reads it.
class ChainTable {
 public:
  // What an entry says of the cluster after the one it belongs to.
  enum class Link {
    kNext,     // the number of the chain's next cluster, followed while it lies in the volume
    kEnd,      // the chain ends: an end mark
    kFree,     // a free entry: the table no longer knows where the chain goes
    kBadMark,  // the cluster is marked bad: the chain's way on is lost
  };

  virtual ~ChainTable() = default;
  // The entry of cluster.
  virtual uint32_t EntryOf(uint32_t cluster) = 0;
  virtual Link LinkOf(uint32_t entry) const = 0;
};

// How a chain walk ended.
struct ChainWalkEnd {
  bool stopped = false;  // the sink stopped the read
  // Why it ended with bytes still wanted: kNone when it sent them all. kEarlyEnd is an end mark,
  // which ends a chain without a length of its own where it should.
  DataShortfall shortfall = DataShortfall::kNone;
  uint32_t lastCluster = 0;  // the cluster read last (at a free entry: the one whose entry that was)
  uint64_t remaining = 0;    // how many bytes were not sent
};

// Sends up to remaining bytes of the chain that starts at first, which the trail must let
// pass, along table. Clusters of the volume beyond the end of the source are followed as the
// table links them, and give zeros (they are not on the trail; counting every cluster against
// the number the source holds bounds them).
ChainWalkEnd WalkChain(const ClusterHeap& heap, ChainTable& table, uint32_t first, uint64_t remaining,
                       ClusterTrail& trail, SpanStream& output);
