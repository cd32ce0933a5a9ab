#include "browser/Background.h"

#include <memory>

#include "browser/ReadFaultQuestion.h"
#include "platform/Progress.h"
#include "platform/WaitCursor.h"

namespace {

// Runs each operation to its end before Start returns, on the calling thread.
class InPlaceBackground final : public BackgroundService {
 public:
  void Start(const std::string& label, Work work, Done done) override {
    AskingFaultPolicy ask;
    Operation operation(ask);
    ++running_;
    {
      WaitCursor wait;
      const std::unique_ptr<ProgressReport> report = BeginProgress(label);
      operation.Watch([&report](uint64_t done, uint64_t total) { return report->Update(done, total); });
      work(operation);
    }
    --running_;
    if (done) done(operation);
  }
  bool Busy() const override { return running_ > 0; }
  void CancelAndWait() override {}

 private:
  int running_ = 0;
};

}  // namespace

ServiceSlot<BackgroundService>& BackgroundSlot() {
  static InPlaceBackground fallback;
  static ServiceSlot<BackgroundService> slot(fallback);
  return slot;
}

BackgroundService& Background() { return BackgroundSlot().get(); }
