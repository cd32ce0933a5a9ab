#pragma once
// How complete an entry's data is: how many of the bytes its record states can still be had
// from the volume, and why the others cannot. The walks over chains and free clusters tell a
// read's sink what they could not give as they go (ByteSink::NoteShortfall); CompletenessSink
// adds it up.

#include <cstdint>
#include <string>

#include "fs/ByteSink.h"

// Why an entry's data is not all there. The walks name the first reason they meet.
enum class DataShortfall {
  kNone,
  kLoop,               // the chain comes back to a cluster it passed
  kEarlyEnd,           // the chain ends before the entry's length does
  kBadClusterMark,     // the chain runs into a bad-cluster mark
  kOutsideVolume,      // the chain, or the entry's first cluster, leads outside the volume
  kFreeInChain,        // a live chain runs into a free cluster: the rest is taken from the clusters after it
  kFirstClusterTaken,  // a deleted entry's first cluster belongs to another file now
  kVolumeEnds,         // the volume ends before the entry's data does
  kBeyondSource,       // clusters of it lie beyond the end of the source: zeros stand in for them
  kUnreadable,         // sectors of it could not be read: zeros stand in for them
};

struct DataCompleteness {
  enum class Kind { kWhole, kShort, kNone };

  // The bytes the entry's record states it holds (no more than were asked for); 0 where it
  // states none (a directory, whose data is its chain).
  uint64_t expected = 0;
  // The bytes of its data that the volume still gives: what the read delivered, less the zeros
  // and guesses that stand in for what it could not.
  uint64_t delivered = 0;
  DataShortfall shortfall = DataShortfall::kNone;
  // The bytes delivered besides those: zeros for what could not be read or lies beyond the
  // source, clusters taken after a broken chain.
  uint64_t standIns = 0;

  // Whole when nothing fell short; none when nothing of the data could be had.
  Kind kind() const {
    if (shortfall == DataShortfall::kNone) return Kind::kWhole;
    return delivered == 0 ? Kind::kNone : Kind::kShort;
  }
  bool whole() const { return kind() == Kind::kWhole; }
};

// "whole", "short" or "none", as listings mark an entry.
const char* CompletenessWord(const DataCompleteness& completeness);
// A word for the reason, as machine-read listings give it: "loop", "early-end", ...; "" for none.
const char* ShortfallKey(DataShortfall shortfall);
// The reason in words: "its chain comes back to a cluster it passed".
std::string ShortfallText(DataShortfall shortfall);
// "whole", or the word, how many bytes of how many and why: "short: 8192 of 16384 bytes (its
// chain comes back to a cluster it passed)", and what stands in for the rest where something
// does.
std::string CompletenessText(const DataCompleteness& completeness);
// What a directory whose read fell short for why tells the user, after its path: "its chain
// runs into a bad-cluster mark; the rest of it was not read". Empty for none, and for a loop,
// which the tree walk reports as it finds it (TreeWalk).
std::string DirectoryShortfallText(DataShortfall why);

// What the walks tell a sink about a read, added up: the first reason it fell short and the bytes
// handed over that stand in for data it could not give.
struct ShortfallTally {
  DataShortfall first = DataShortfall::kNone;
  uint64_t standIns = 0;

  void Note(DataShortfall why, uint64_t standInBytes) {
    if (first == DataShortfall::kNone) first = why;
    standIns += standInBytes;
  }
};

// A sink that counts what a read delivers and what it says fell short, and hands the bytes on to
// another sink. Without one it only measures: the read then reads nothing of the data (see
// ByteSink::WantsBytes), and what it finds is what the allocation data and the source's size say.
class CompletenessSink final : public ByteSink {
 public:
  // expected: the bytes the entry's record states, as far as the read was asked for; 0 where
  // it states none.
  CompletenessSink(ByteSink* inner, uint64_t expected) : inner_(inner), expected_(expected) {}

  bool Write(const uint8_t* data, size_t n) override;
  uint8_t* Space(size_t n) override { return inner_ != nullptr ? inner_->Space(n) : nullptr; }
  bool WriteZeros(uint64_t n) override;
  void NoteShortfall(DataShortfall why, uint64_t standIns) override;
  bool WantsBytes() const override { return inner_ != nullptr && inner_->WantsBytes(); }

  // What the read found. A read that delivered fewer bytes than expected without saying why
  // ended early.
  DataCompleteness Result() const;

 private:
  ByteSink* inner_;
  uint64_t expected_;
  uint64_t written_ = 0;
  ShortfallTally tally_;
};
