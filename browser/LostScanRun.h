#pragma once
// A volume's "Lost and found" scanned in the background: the scan runs on a thread of its own
// and puts what it finds into an inbox; the window's thread takes it out in batches and builds
// the tree's nodes from it. The scan's thread touches no node the window reads and no widget.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "scan/LostAndFound.h"

class Operation;

// What a scan has found and not yet handed over: filled on the scan's thread, taken on the
// window's thread.
class LostScanInbox final : public LostScanSink {
 public:
  struct Batch {
    std::vector<std::unique_ptr<TDirectoryEntry>> folders;  // lost folders, in the order found
    std::vector<FoundFile> files;                           // files found by content, likewise
    bool empty() const { return folders.empty() && files.empty(); }
  };

  void LostFolder(std::unique_ptr<TDirectoryEntry> folder) override;
  void FileFound(const FoundFile& file) override;
  // Everything found since the last call.
  Batch Take();

 private:
  std::mutex mutex_;
  Batch pending_;
};

// One scan that runs: shared by the work on the scan's thread and the window, which outlives
// neither.
struct LostScanRun {
  LostScanInbox inbox;
  // How far it is, for the window's status line: written by the scan, read by the window.
  std::atomic<uint64_t> scanned{0};
  std::atomic<uint64_t> total{0};
  std::atomic<uint64_t> found{0};
  // The operation it runs as, once it runs; the window sets its status text.
  std::atomic<Operation*> operation{nullptr};
  // Set by the scan's thread when the scan has ended; read once its thread has been joined.
  std::optional<LostScanTotals> totals;
};

// Runs the node's scan into run, as the work of operation: its reads answer to the operation
// and its progress goes to both; cancelling the operation ends the scan, keeping what it found.
void RunLostScan(LostAndFoundNode& node, LostScanRun& run, Operation& operation);
