#include "device/ReadFaults.h"

#include <map>

#include "device/SystemError.h"

std::string ReadFaultText(const ReadFault& fault) {
  return "Read failed at sector " + std::to_string(fault.sector) + ":\n" +
         (fault.reason.empty() ? SystemErrorText(fault.error) : fault.reason);
}

void FaultLog::Add(const ReadFault& fault, FaultAnswer answer) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++count_;
  if (answer == FaultAnswer::kIgnore) ++ignored_;
  if (entries_.size() < kMaxKept) entries_.push_back({fault, answer});
}

std::vector<FaultLog::Entry> FaultLog::Entries() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return entries_;
}

size_t FaultLog::Count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

size_t FaultLog::Ignored() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return ignored_;
}

size_t FaultLog::UnreadSectors() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::map<uint64_t, FaultAnswer> last;
  for (const Entry& entry : entries_) last[entry.fault.sector] = entry.answer;
  size_t unread = 0;
  for (const auto& [sector, answer] : last) unread += answer != FaultAnswer::kRetry;
  return unread;
}

void FaultLog::Clear() {
  const std::lock_guard<std::mutex> lock(mutex_);
  entries_.clear();
  count_ = 0;
  ignored_ = 0;
}
