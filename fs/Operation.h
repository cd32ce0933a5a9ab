#pragma once
// A long piece of work on an opened source, such as a save or a scan: how far it has come,
// whether it has been asked to stop, and what it could not read. The work runs on any thread
// and reports here; whoever started it watches the progress, asks it to stop and reads its
// faults, from another thread if need be. The work reads through a ReadSession made with
// policy() and faults(), so that its reads answer to this operation.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "device/ReadFaults.h"

class Operation {
 public:
  struct Progress {
    uint64_t done = 0;
    uint64_t total = 0;  // 0: not known
    std::string status;  // what it is doing now, in words
  };

  explicit Operation(FaultPolicy& policy) : policy_(policy) {}
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  // Tells how far the work has come; false once it has been asked to stop.
  bool Advance(uint64_t done, uint64_t total) {
    done_ = done;
    total_ = total;
    if (watcher_ && !watcher_(done, total)) Cancel();
    return !Cancelled();
  }
  // Something told of every step on the work's own thread, which may ask it to stop by
  // returning false; set before the work starts.
  void Watch(std::function<bool(uint64_t done, uint64_t total)> watcher) { watcher_ = std::move(watcher); }
  void SetStatus(const std::string& status) {
    const std::lock_guard<std::mutex> lock(mutex_);
    status_ = status;
  }
  Progress progress() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return Progress{done_, total_, status_};
  }

  void Cancel() { cancelled_ = true; }
  bool Cancelled() const { return cancelled_; }

  FaultPolicy& policy() { return policy_; }
  FaultLog& faults() { return faults_; }
  const FaultLog& faults() const { return faults_; }

 private:
  FaultPolicy& policy_;
  std::function<bool(uint64_t, uint64_t)> watcher_;
  FaultLog faults_;
  std::atomic<uint64_t> done_{0};
  std::atomic<uint64_t> total_{0};
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  std::string status_;
};
