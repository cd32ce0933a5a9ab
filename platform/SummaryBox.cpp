#include "platform/SummaryBox.h"

#include <cstdio>

namespace {

class StandardErrorSummary final : public SummaryBoxService {
 public:
  bool Show(const std::string& caption, const std::string& text, const std::string& details) override {
    std::fprintf(stderr, "%s: %s\n%s", caption.c_str(), text.c_str(), details.c_str());
    return false;
  }
};

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/';
}

}  // namespace

ServiceSlot<SummaryBoxService>& SummaryBoxSlot() {
  static StandardErrorSummary fallback;
  static ServiceSlot<SummaryBoxService> slot(fallback);
  return slot;
}

bool ShowSummaryBox(const std::string& caption, const std::string& text, const std::string& details) {
  return SummaryBoxSlot().get().Show(caption, text, details);
}

std::string FolderUrl(const std::string& folder) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (const char byte : folder) {
    const auto c = static_cast<unsigned char>(byte);
    if (Unreserved(c)) {
      url += byte;
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0xF];
    }
  }
  return url;
}
