#include "browser/gallery/ThumbnailQueue.h"

#include <utility>

void ThumbnailQueue::Reset(std::vector<TDirectoryEntry*> entries) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++generation_;
  entries_ = std::move(entries);
  waiting_.assign(entries_.size(), 1);
  madeOnce_.assign(entries_.size(), 0);
  preferred_.clear();
  next_ = 0;
  madeCount_ = 0;
  made_.clear();
}

void ThumbnailQueue::Prefer(const std::vector<int>& rows) {
  const std::lock_guard<std::mutex> lock(mutex_);
  preferred_.clear();
  for (const int row : rows) {
    if (row >= 0 && static_cast<size_t>(row) < waiting_.size() && waiting_[row] != 0) preferred_.push_back(row);
  }
}

void ThumbnailQueue::Request(int row) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (row < 0 || static_cast<size_t>(row) >= waiting_.size()) return;
  waiting_[row] = 1;
  preferred_.push_front(row);
}

bool ThumbnailQueue::StartIfWaiting() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (running_ || !WaitingLocked()) return false;
  running_ = true;
  return true;
}

std::vector<ThumbnailQueue::Made> ThumbnailQueue::TakeMade() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(made_, {});
}

int ThumbnailQueue::generation() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

std::optional<ThumbnailQueue::Job> ThumbnailQueue::Next() {
  const std::lock_guard<std::mutex> lock(mutex_);
  while (!preferred_.empty()) {
    const int row = preferred_.front();
    preferred_.pop_front();
    if (waiting_[row] != 0) {
      waiting_[row] = 0;
      return Job{generation_, row, entries_[row]};
    }
  }
  for (; next_ < waiting_.size(); ++next_) {
    if (waiting_[next_] != 0) {
      waiting_[next_] = 0;
      const int row = static_cast<int>(next_++);
      return Job{generation_, row, entries_[row]};
    }
  }
  running_ = false;
  return std::nullopt;
}

void ThumbnailQueue::Finish(Made made) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (made.generation != generation_) return;
  if (madeOnce_[made.row] == 0) ++madeCount_;
  madeOnce_[made.row] = 1;
  made_.push_back(std::move(made));
}

void ThumbnailQueue::Stopped() {
  const std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
}

std::pair<size_t, size_t> ThumbnailQueue::Progress() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return {madeCount_, entries_.size()};
}

bool ThumbnailQueue::WaitingLocked() const {
  if (!preferred_.empty()) return true;
  for (size_t row = next_; row < waiting_.size(); ++row) {
    if (waiting_[row] != 0) return true;
  }
  return false;
}
