#include "cli/EntryPath.h"

#include <algorithm>
#include <cctype>

namespace {

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start) parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return parts;
}

bool ParseIndex(const std::string& text, size_t& value) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  value = std::stoul(text);
  return true;
}

// "partition 1" or "partitions 2, 5 and 6": the numbers the source's partitions have.
std::string PartitionNumbers(const PartitionList& partitions) {
  std::string text = partitions.size() == 1 ? "partition " : "partitions ";
  for (size_t i = 0; i < partitions.size(); ++i) {
    if (i > 0) text += i + 1 == partitions.size() ? " and " : ", ";
    text += std::to_string(partitions[i]->number);
  }
  return text;
}

// Finds the root of partition "N" (the text before ':' or '#').
bool FindRoot(PartitionList& partitions, const std::string& number, ResolvedEntry& out) {
  size_t n = 0;
  const bool parsed = ParseIndex(number, n);
  const auto found = std::find_if(partitions.begin(), partitions.end(), [&](const auto& partition) {
    return parsed && static_cast<size_t>(partition->number) == n;
  });
  if (found == partitions.end()) {
    out.error = "there is no partition " + number + " (the source has " + PartitionNumbers(partitions) + ")";
    return false;
  }
  out.partition = static_cast<int>(n);
  out.entry = (*found)->rootEntry.get();
  out.displayPath = number + ":/";
  out.indexPath = number + "#";
  if (out.entry == nullptr) {
    out.error = "partition " + number + " has no root directory";
    return false;
  }
  return true;
}

void WalkNames(const std::vector<std::string>& names, ResolvedEntry& out) {
  for (const std::string& name : names) {
    EnsureChildren(*out.entry);
    std::vector<size_t> matches;
    for (size_t i = 0; i < out.entry->children.size(); ++i) {
      if (out.entry->children[i]->name == name) matches.push_back(i);
    }
    const std::string where = out.displayPath;
    if (matches.empty()) {
      out.error = "no entry named \"" + name + "\" in " + where;
      out.entry = nullptr;
      return;
    }
    if (matches.size() > 1) {
      out.error = "\"" + name + "\" in " + where + " names " + std::to_string(matches.size()) +
                  " entries; name one by its index:";
      for (size_t i : matches) {
        out.error += ' ';
        out.error += ChildIndexPath(out.indexPath, i);
      }
      out.entry = nullptr;
      return;
    }
    TDirectoryEntry& child = *out.entry->children[matches[0]];
    out.displayPath = ChildDisplayPath(out.displayPath, child);
    out.indexPath = ChildIndexPath(out.indexPath, matches[0]);
    out.entry = &child;
  }
}

void WalkIndexes(const std::vector<std::string>& indexes, ResolvedEntry& out) {
  for (const std::string& text : indexes) {
    EnsureChildren(*out.entry);
    size_t index = 0;
    if (!ParseIndex(text, index) || index >= out.entry->children.size()) {
      out.error = "no entry with index " + text + " in " + out.indexPath + " (" + out.displayPath + " has " +
                  std::to_string(out.entry->children.size()) + " entries)";
      out.entry = nullptr;
      return;
    }
    TDirectoryEntry& child = *out.entry->children[index];
    out.displayPath = ChildDisplayPath(out.displayPath, child);
    out.indexPath = ChildIndexPath(out.indexPath, index);
    out.entry = &child;
  }
}

}  // namespace

std::string ChildDisplayPath(const std::string& parentDisplayPath, const TDirectoryEntry& child) {
  const bool atRoot = !parentDisplayPath.empty() && parentDisplayPath.back() == '/';
  return parentDisplayPath + (atRoot ? "" : "/") + child.name;
}

std::string ChildIndexPath(const std::string& parentIndexPath, size_t index) {
  const bool atRoot = !parentIndexPath.empty() && parentIndexPath.back() == '#';
  return parentIndexPath + (atRoot ? "" : "/") + std::to_string(index);
}

ResolvedEntry ResolveEntry(PartitionList& partitions, const std::string& name) {
  ResolvedEntry out;
  const size_t mark = name.find_first_of(":#");
  if (mark == std::string::npos) {
    out.error = "\"" + name + "\" is not an entry: write N:/path or N#i/j/k";
    return out;
  }
  if (!FindRoot(partitions, name.substr(0, mark), out)) {
    out.entry = nullptr;
    return out;
  }
  const std::vector<std::string> components = SplitComponents(name.substr(mark + 1));
  if (name[mark] == ':') WalkNames(components, out);
  else WalkIndexes(components, out);
  return out;
}
