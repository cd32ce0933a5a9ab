#include "fs/ClusterTrail.h"

bool ClusterTrail::Pass(uint32_t cluster) {
  if (cluster < first_ || cluster - first_ >= count_) return true;
  const uint32_t offset = cluster - first_;
  if (!bitmap_.empty() ? bitmap_[offset] : PassedBefore(offset)) {
    ++refused_;
    return false;
  }
  if (!bitmap_.empty()) {
    bitmap_[offset] = true;
    return true;
  }
  if (!runs_.empty() && runs_.back().end == offset) {
    ++runs_.back().end;
  } else if (runs_.size() < kMaxRuns) {
    runs_.push_back({offset, offset + 1});
  } else {
    SwitchToBitmap();
    bitmap_[offset] = true;
  }
  return true;
}

bool ClusterTrail::PassedBefore(uint32_t offset) const {
  for (const Run& run : runs_) {
    if (offset >= run.begin && offset < run.end) return true;
  }
  return false;
}

void ClusterTrail::SwitchToBitmap() {
  bitmap_.assign(count_, false);
  for (const Run& run : runs_) {
    for (uint32_t i = run.begin; i < run.end; ++i) bitmap_[i] = true;
  }
  runs_.clear();
  runs_.shrink_to_fit();
}
