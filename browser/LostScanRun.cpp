#include "browser/LostScanRun.h"

#include "device/SectorReader.h"
#include "fs/Operation.h"

void LostScanInbox::LostFolder(std::unique_ptr<TDirectoryEntry> folder) {
  const std::lock_guard<std::mutex> lock(mutex_);
  pending_.folders.push_back(std::move(folder));
}

void LostScanInbox::FileFound(const FoundFile& file) {
  const std::lock_guard<std::mutex> lock(mutex_);
  pending_.files.push_back(file);
}

LostScanInbox::Batch LostScanInbox::Take() {
  const std::lock_guard<std::mutex> lock(mutex_);
  Batch taken = std::move(pending_);
  pending_ = Batch{};
  return taken;
}

void RunLostScan(LostAndFoundNode& node, LostScanRun& run, Operation& operation) {
  run.operation = &operation;
  std::optional<ReadSession> session;
  if (node.readerRef != nullptr && node.readerRef->reader != nullptr) {
    session.emplace(*node.readerRef->reader, operation.policy(), operation.faults());
  }
  run.totals = node.ScanInto(run.inbox, [&run, &operation](uint64_t scanned, uint64_t total, uint64_t found) {
    run.scanned = scanned;
    run.total = total;
    run.found = found;
    return operation.Advance(scanned, total);
  });
}
