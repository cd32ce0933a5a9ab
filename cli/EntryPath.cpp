#include "cli/EntryPath.h"

#include <algorithm>
#include <cctype>

#include "cli/Names.h"

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
    out.error = "there is no partition " + PrintableText(number) + " (the source has " + PartitionNumbers(partitions) + ")";
    return false;
  }
  out.partition = static_cast<int>(n);
  out.entry = (*found)->rootEntry.get();
  out.displayPath = number + ":/";
  out.indexPath = number + "#";
  if (out.entry == nullptr) {
    out.error = "partition " + PrintableText(number) + " has no root directory";
    return false;
  }
  return true;
}

// How a typed path component names the children of a directory. A child whose caption is
// the component exactly, as stored or as printed, is the one meant: that is what `ls` showed.
// Failing that, the component is compared without regard to case, as FAT and exFAT compare
// names, with the caption, the long name alone and the short name alone.
class ComponentMatch {
 public:
  explicit ComponentMatch(const std::string& typed) : typed_(typed), folded_(FoldCase(typed)) {}

  // The indexes of the children the component names.
  std::vector<size_t> In(const TDirectoryEntry& dir) const {
    std::vector<size_t> exact;
    std::vector<size_t> caseless;
    for (size_t i = 0; i < dir.children.size(); ++i) {
      const TDirectoryEntry& child = *dir.children[i];
      const std::string shown = PrintedName(child.name);
      if (child.name == typed_ || shown == typed_) exact.push_back(i);
      else if (NamesWithoutCase(child, shown)) caseless.push_back(i);
    }
    return exact.empty() ? caseless : exact;
  }

 private:
  bool NamesWithoutCase(const TDirectoryEntry& child, const std::string& shown) const {
    if (FoldCase(child.name) == folded_ || FoldCase(shown) == folded_) return true;
    const std::string longName = child.LongName();
    if (!longName.empty() && (FoldCase(longName) == folded_ || FoldCase(PrintableText(longName)) == folded_)) return true;
    const std::string shortName = child.ShortName();
    return !shortName.empty() && FoldCase(shortName) == folded_;
  }

  std::string typed_;
  std::string folded_;
};

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

// The candidates of an ambiguous component, one line each as `ls` lists them: index, what it
// is, path.
std::string CandidateLines(const ResolvedEntry& at, const std::vector<size_t>& matches) {
  std::string lines;
  for (size_t i : matches) {
    const TDirectoryEntry& child = *at.entry->children[i];
    lines += "\n  " + Padded(ChildIndexPath(at.indexPath, i), 12) + " " + Padded(ListedState(child), 9) + " " +
             PrintedChildPath(at.displayPath, child);
  }
  return lines;
}

void WalkNames(const std::vector<std::string>& names, ResolvedEntry& out) {
  for (const std::string& name : names) {
    EnsureChildren(*out.entry);
    const std::vector<size_t> matches = ComponentMatch(name).In(*out.entry);
    const std::string where = out.displayPath;
    if (matches.empty()) {
      out.error = "no entry named \"" + PrintableText(name) + "\" in " + where;
      out.entry = nullptr;
      return;
    }
    if (matches.size() > 1) {
      out.error = "\"" + PrintableText(name) + "\" in " + where + " names " + std::to_string(matches.size()) +
                  " entries; name one by its index:" + CandidateLines(out, matches);
      out.entry = nullptr;
      return;
    }
    TDirectoryEntry& child = *out.entry->children[matches[0]];
    out.displayPath = PrintedChildPath(out.displayPath, child);
    out.indexPath = ChildIndexPath(out.indexPath, matches[0]);
    out.entry = &child;
  }
}

void WalkIndexes(const std::vector<std::string>& indexes, ResolvedEntry& out) {
  for (const std::string& text : indexes) {
    EnsureChildren(*out.entry);
    size_t index = 0;
    if (!ParseIndex(text, index) || index >= out.entry->children.size()) {
      out.error = "no entry with index " + PrintableText(text) + " in " + out.indexPath + " (" + out.displayPath + " has " +
                  std::to_string(out.entry->children.size()) + " entries)";
      out.entry = nullptr;
      return;
    }
    TDirectoryEntry& child = *out.entry->children[index];
    out.displayPath = PrintedChildPath(out.displayPath, child);
    out.indexPath = ChildIndexPath(out.indexPath, index);
    out.entry = &child;
  }
}

}  // namespace

std::string LostDisplayPath(const TPartition& partition) {
  return std::to_string(partition.number) + ":/" + kLostDisplayName;
}

std::string LostIndexPath(const TPartition& partition) {
  return std::to_string(partition.number) + "#" + kLostIndexName;
}

std::string PrintedChildPath(const std::string& parentDisplayPath, const TDirectoryEntry& child) {
  return ChildDisplayPath(parentDisplayPath, PrintedName(child.name));
}

ResolvedEntry ResolveEntry(PartitionList& partitions, const std::string& name) {
  ResolvedEntry out;
  const size_t mark = name.find_first_of(":#");
  if (mark == std::string::npos) {
    out.error = "\"" + PrintableText(name) + "\" is not an entry: write N:/path or N#i/j/k";
    return out;
  }
  if (!FindRoot(partitions, name.substr(0, mark), out)) {
    out.entry = nullptr;
    return out;
  }
  std::vector<std::string> components = SplitComponents(name.substr(mark + 1));
  const bool byName = name[mark] == ':';
  if (!components.empty() && components[0] == (byName ? kLostDisplayName : kLostIndexName)) {
    for (const auto& partition : partitions) {
      if (partition->number != out.partition || !partition->lostAndFound) continue;
      out.entry = partition->lostAndFound.get();
      out.displayPath = LostDisplayPath(*partition);
      out.indexPath = LostIndexPath(*partition);
      components.erase(components.begin());
    }
  }
  if (byName) WalkNames(components, out);
  else WalkIndexes(components, out);
  return out;
}
