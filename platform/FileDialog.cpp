#include "platform/FileDialog.h"

namespace {

class CancelledFileDialog final : public FileDialogService {
 public:
  std::optional<std::string> ChooseFileToOpen(const std::string& /*title*/,
                                              const std::vector<std::string>& /*nameFilters*/) override {
    return std::nullopt;
  }
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "All Files (*.*)" without its "(*.*)".
std::string WithoutPatternNote(const std::string& description) {
  const size_t open = description.rfind('(');
  if (open == std::string::npos || description.back() != ')') return Trimmed(description);
  return Trimmed(description.substr(0, open));
}

std::string Patterns(const std::string& patterns) {
  std::string joined;
  for (const std::string& part : Split(patterns, ';')) {
    const std::string pattern = Trimmed(part) == "*.*" ? "*" : Trimmed(part);
    if (pattern.empty()) continue;
    if (!joined.empty()) joined += ' ';
    joined += pattern;
  }
  return joined.empty() ? "*" : joined;
}

}  // namespace

ServiceSlot<FileDialogService>& FileDialogSlot() {
  static CancelledFileDialog fallback;
  static ServiceSlot<FileDialogService> slot(fallback);
  return slot;
}

std::optional<std::string> ChooseFileToOpen(const std::string& title, const std::string& filter) {
  return FileDialogSlot().get().ChooseFileToOpen(title, NameFilters(filter));
}

std::vector<std::string> NameFilters(const std::string& filter) {
  const std::vector<std::string> parts = Split(filter, '|');
  std::vector<std::string> filters;
  for (size_t i = 0; i < parts.size(); i += 2) {
    const std::string patterns = Patterns(i + 1 < parts.size() ? parts[i + 1] : std::string());
    const std::string description = WithoutPatternNote(parts[i]);
    filters.push_back(description.empty() ? "(" + patterns + ")" : description + " (" + patterns + ")");
  }
  return filters;
}
