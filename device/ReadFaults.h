#pragma once
// What happens when the medium refuses a read. The reader finds the one sector that cannot be
// read, notes it in the fault log of the reads it serves and lets their fault policy decide:
// read it again, leave it as zeros and go on, or give the read up. Nothing here asks anybody:
// the caller of an operation supplies the policy, one that asks the user (the window's box) or
// one that answers by itself (the command line's option).

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct ReadFault {
  ReadFault(uint64_t sector = 0, int error = 0, std::string reason = {})
      : sector(sector), error(error), reason(std::move(reason)) {}

  uint64_t sector;     // the sector that could not be read
  int error;           // the system's error number
  std::string reason;  // what the library that read it said, for an evidence file; else empty
};

// "Read failed at sector N:\n" followed by the reason, or the system's text for the error.
std::string ReadFaultText(const ReadFault& fault);

enum class FaultAnswer { kAbort, kRetry, kIgnore };

class FaultPolicy {
 public:
  virtual ~FaultPolicy() = default;
  // Decides what becomes of a read that failed at fault.sector. Called on the thread of the read.
  virtual FaultAnswer Decide(const ReadFault& fault) = 0;
};

// Gives every fault the same answer: Abort or Ignore (Retry alone would never end).
class FixedFaultPolicy final : public FaultPolicy {
 public:
  explicit FixedFaultPolicy(FaultAnswer answer) : answer_(answer == FaultAnswer::kRetry ? FaultAnswer::kIgnore : answer) {}
  FaultAnswer Decide(const ReadFault& /*fault*/) override { return answer_; }

 private:
  FaultAnswer answer_;
};

// The faults that reads met, in order, each with the answer it got. An operation adds to it
// on its own thread while another thread may look at it. A medium full of bad sectors must not
// fill the memory: the first kMaxKept faults are kept, all are counted.
class FaultLog {
 public:
  struct Entry {
    ReadFault fault;
    FaultAnswer answer = FaultAnswer::kAbort;
  };
  static constexpr size_t kMaxKept = 100000;

  void Add(const ReadFault& fault, FaultAnswer answer);
  std::vector<Entry> Entries() const;
  // Every fault added, kept or not.
  size_t Count() const;
  // The faults answered Ignore, kept or not: each left one sector as zeros.
  size_t Ignored() const;
  // The distinct sectors among the kept faults that stayed unread: their last answer was Ignore
  // (zeros in their place) or Abort (the read given up).
  size_t UnreadSectors() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  size_t count_ = 0;
  size_t ignored_ = 0;
};
