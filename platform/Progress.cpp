#include "platform/Progress.h"

namespace {

class SilentReport final : public ProgressReport {
 public:
  bool Update(uint64_t /*done*/, uint64_t /*total*/) override { return true; }
};

class SilentProgress final : public ProgressService {
 public:
  std::unique_ptr<ProgressReport> Begin(const std::string& /*label*/) override {
    return std::make_unique<SilentReport>();
  }
};

}  // namespace

ServiceSlot<ProgressService>& ProgressSlot() {
  static SilentProgress fallback;
  static ServiceSlot<ProgressService> slot(fallback);
  return slot;
}

std::unique_ptr<ProgressReport> BeginProgress(const std::string& label) { return ProgressSlot().get().Begin(label); }
