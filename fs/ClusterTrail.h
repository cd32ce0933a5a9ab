#pragma once
// The clusters a chain walk has passed, so that a chain which comes back to one of them is
// known for a loop and ends there: a looping chain then costs no more than the clusters it
// really has. Most chains are a few runs of consecutive clusters, which are kept as runs; a
// chain of more runs than that switches to a bitmap of the volume's clusters, one bit each.

#include <cstddef>
#include <cstdint>
#include <vector>

class ClusterTrail {
 public:
  // Remembers clusters first .. first + count - 1 (the volume's); a cluster outside them is
  // never remembered, so the walk must bound those by other means.
  ClusterTrail(uint32_t first, uint32_t count) : first_(first), count_(count) {}

  // Takes cluster as the next one of the chain: false when the chain passed it before.
  bool Pass(uint32_t cluster);
  // How many times Pass has answered false.
  uint64_t Refused() const { return refused_; }

 private:
  struct Run {
    uint32_t begin, end;  // clusters begin .. end - 1, offsets from first_
  };
  // Runs kept before the bitmap takes over: a linear search through them stays cheap.
  static constexpr size_t kMaxRuns = 32;

  bool PassedBefore(uint32_t offset) const;
  void SwitchToBitmap();

  uint32_t first_;
  uint32_t count_;
  std::vector<Run> runs_;
  std::vector<bool> bitmap_;  // empty until the runs overflow
  uint64_t refused_ = 0;
};
