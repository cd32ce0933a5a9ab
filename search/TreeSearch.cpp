#include "search/TreeSearch.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "cli/Names.h"
#include "device/SectorReader.h"
#include "formats/carve/Carving.h"
#include "search/NamePattern.h"

namespace {

// Deeper than any real volume nests; a guard for the stack against a damaged one.
constexpr int kMaxDepth = 1024;
// What the recognizers look at: the start of a cluster, as the scan gives them.
constexpr uint32_t kHeadBytes = 4096;

struct Extensions {
  unsigned kind;
  std::set<std::string> names;
};

const std::vector<Extensions>& KnownExtensions() {
  static const std::vector<Extensions> known = {
      {kKindPictures, {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp", "tif", "tiff", "heic", "heif", "webp",
                       "cr2", "cr3", "crw", "nef", "arw", "dng", "orf", "rw2", "raf", "pef", "srw", "ico", "svg",
                       "psd", "xcf"}},
      {kKindVideos, {"mp4", "m4v", "mov", "3gp", "3g2", "avi", "mkv", "webm", "mpg", "mpeg", "m2v", "vob", "mts",
                     "m2ts", "ts", "wmv", "asf", "flv", "ogv"}},
      {kKindSounds, {"mp3", "wav", "flac", "ogg", "oga", "opus", "m4a", "aac", "wma", "aif", "aiff", "amr", "mid",
                     "midi", "ape"}},
      {kKindDocuments, {"pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "odt", "ods", "odp", "rtf", "txt",
                        "csv", "epub", "md", "pages", "key", "numbers"}},
      {kToldOther, {"zip", "rar", "7z", "gz", "bz2", "xz", "tar", "exe", "dll", "sys", "com", "bat", "cmd", "ini",
                    "inf", "lnk", "htm", "html", "xml", "json", "js", "css", "iso", "apk", "msi"}},
  };
  return known;
}

unsigned KindOfClass(MediaClass mediaClass) {
  switch (mediaClass) {
    case MediaClass::kPicture: return kKindPictures;
    case MediaClass::kVideo: return kKindVideos;
    case MediaClass::kSound: return kKindSounds;
    case MediaClass::kDocument: return kKindDocuments;
    case MediaClass::kArchive: return kToldOther;
  }
  return 0;
}

class Search {
 public:
  Search(const SearchQuery& query, const std::atomic<bool>& stop, Operation& operation)
      : query_(query), pattern_(query.text), stop_(stop), operation_(operation) {}

  void Volume(size_t index, TDirectoryEntry& top) {
    std::vector<TDirectoryEntry*> way;
    EnsureChildren(top);
    Note(top);
    Walk(index, top, top, way, 0);
  }

  bool Stopped() const { return stop_ || operation_.Cancelled(); }
  SearchResult& result() { return result_; }

 private:
  void Walk(size_t index, TDirectoryEntry& top, TDirectoryEntry& dir, std::vector<TDirectoryEntry*>& way, int depth) {
    for (const auto& owned : dir.children) {
      if (Stopped()) return;
      TDirectoryEntry& child = *owned;
      ++result_.entriesLooked;
      way.push_back(&child);
      if (Fits(child)) result_.hits.push_back({index, &top, way});
      if (child.IsFolder() && depth + 1 < kMaxDepth && !WalkedBefore(child)) {
        EnsureChildren(child);
        Note(child);
        Walk(index, top, child, way, depth + 1);
      }
      way.pop_back();
    }
  }

  bool Fits(TDirectoryEntry& entry) const {
    if (query_.deletedOnly && !entry.IsDeleted()) return false;
    if (!pattern_.Matches(entry)) return false;
    if (query_.kinds == 0) return true;
    if (entry.IsFolder()) return false;
    const unsigned told = KindOfName(entry.FileName());
    if (told != 0) return (told & query_.kinds) != 0;
    // The name tells nothing: the first bytes may.
    uint32_t count = kHeadBytes;
    const ByteBuffer head = entry.GetData(count);
    return (KindOfContent(head.data(), std::min<size_t>(count, head.size())) & query_.kinds) != 0;
  }

  // A directory that starts where one already searched starts (a damaged volume's loop) is
  // not entered again.
  bool WalkedBefore(const TDirectoryEntry& dir) const {
    const std::optional<DirectoryStart> start = dir.StartsAt();
    return start && walked_.count({start->partition, start->firstCluster}) != 0;
  }
  void Note(const TDirectoryEntry& dir) {
    if (const std::optional<DirectoryStart> start = dir.StartsAt()) walked_.insert({start->partition, start->firstCluster});
  }

  const SearchQuery& query_;
  NamePattern pattern_;
  const std::atomic<bool>& stop_;
  Operation& operation_;
  SearchResult result_;
  std::set<std::pair<const TPartition*, uint32_t>> walked_;
};

}  // namespace

unsigned KindOfName(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot + 1 >= fileName.size()) return 0;
  const std::string extension = FoldCase(fileName.substr(dot + 1));
  for (const Extensions& known : KnownExtensions()) {
    if (known.names.count(extension) != 0) return known.kind;
  }
  return 0;
}

unsigned KindOfContent(const uint8_t* head, size_t size) {
  if (head == nullptr || size == 0) return 0;
  const std::optional<CarvedKind> kind = RecognizeStart(head, size);
  return kind ? KindOfClass(TypeOf(*kind).mediaClass) : 0;
}

SearchResult SearchTree(const std::vector<TPartition*>& partitions, const SearchQuery& query, Operation& operation,
                        const std::atomic<bool>& stop) {
  Search search(query, stop, operation);
  // Reads answer to the operation: its faults go to its log, its policy decides them.
  std::optional<ReadSession> session;
  for (size_t i = 0; i < partitions.size() && !search.Stopped(); ++i) {
    TPartition& partition = *partitions[i];
    if (!session && partition.readerRef != nullptr && partition.readerRef->reader != nullptr) {
      session.emplace(*partition.readerRef->reader, operation.policy(), operation.faults());
    }
    if (TDirectoryEntry* root = partition.rootEntry.get()) search.Volume(i, *root);
    // A "Lost and found" is searched where it was scanned: the search does not start a scan.
    if (TDirectoryEntry* lost = partition.lostAndFound.get(); lost != nullptr && !lost->children.empty()) {
      search.Volume(i, *lost);
    }
  }
  search.result().stopped = search.Stopped();
  return std::move(search.result());
}
