#include "platform/WaitCursor.h"

namespace {

class NoWaitCursor final : public WaitCursorService {
 public:
  void Show() override {}
  void Restore() override {}
};

}  // namespace

ServiceSlot<WaitCursorService>& WaitCursorSlot() {
  static NoWaitCursor fallback;
  static ServiceSlot<WaitCursorService> slot(fallback);
  return slot;
}
