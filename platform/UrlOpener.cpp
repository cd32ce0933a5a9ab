#include "platform/UrlOpener.h"

namespace {

class NoUrlOpener final : public UrlOpenerService {
 public:
  bool OpenUrl(const std::string& /*url*/) override { return false; }
};

}  // namespace

ServiceSlot<UrlOpenerService>& UrlOpenerSlot() {
  static NoUrlOpener fallback;
  static ServiceSlot<UrlOpenerService> slot(fallback);
  return slot;
}

bool OpenUrl(const std::string& url) { return UrlOpenerSlot().get().OpenUrl(url); }
