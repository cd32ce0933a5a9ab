#include "browser/gallery/GalleryPictures.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <utility>

#include "fs/TreeWalk.h"
#include "scan/LostAndFound.h"

namespace {

// A damaged volume can nest folders without end; deeper than this is not looked at.
constexpr int kMostDepth = 64;

constexpr const char* kPictureExtensions[] = {
    "jpg", "jpeg", "jpe", "png", "gif", "bmp", "tif", "tiff",
    "cr2", "nef", "nrw", "arw", "srf", "sr2", "dng", "orf", "pef", "rw2",
};

std::string ModifiedText(const TDirectoryEntry& entry) {
  if (!entry.modifiedText.empty()) return entry.modifiedText;
  if (const std::optional<RecordedTime> time = entry.ModifiedTime()) {
    return FormatDosTimestamp(time->stamp, time->hundredths);
  }
  return {};
}

class Collector {
 public:
  Collector(bool readFolders, size_t most) : readFolders_(readFolders), most_(most) {}

  void Folder(TPartition* partition, TDirectoryEntry& folder, const std::string& displayPath,
              const std::string& indexPath, int depth) {
    if (depth > kMostDepth || pictures.size() >= most_ || !FirstVisit(folder)) return;
    if (readFolders_ && Readable(folder)) EnsureChildren(folder);
    for (size_t i = 0; i < folder.children.size() && pictures.size() < most_; ++i) {
      TDirectoryEntry& child = *folder.children[i];
      const std::string childDisplay = ChildDisplayPath(displayPath, child.name);
      const std::string childIndex = ChildIndexPath(indexPath, i);
      if (child.IsFolder()) {
        Folder(partition, child, childDisplay, childIndex, depth + 1);
      } else if (IsPictureName(child.FileName())) {
        GalleryPicture picture;
        picture.item = SaveItem{partition, &child, childDisplay, childIndex};
        picture.name = child.FileName();
        picture.size = child.DataLength();
        picture.modified = ModifiedText(child);
        picture.origin = child.Origin();
        pictures.push_back(std::move(picture));
      }
    }
  }

  std::vector<GalleryPicture> pictures;

 private:
  // A "Lost and found" is read only once its scan has run.
  static bool Readable(const TDirectoryEntry& folder) {
    const auto* lost = dynamic_cast<const LostAndFoundNode*>(&folder);
    return lost == nullptr || lost->Scanned();
  }

  // Folders that start where one already looked at starts are not looked at again: a damaged
  // volume can make a folder lead back to one of its ancestors.
  bool FirstVisit(const TDirectoryEntry& folder) {
    const std::optional<DirectoryStart> start = folder.StartsAt();
    if (!start || start->firstCluster == 0) return true;
    return visited_.insert({start->partition, start->firstCluster}).second;
  }

  bool readFolders_;
  size_t most_;
  std::set<std::pair<const TPartition*, uint32_t>> visited_;
};

}  // namespace

bool IsPictureName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::find(std::begin(kPictureExtensions), std::end(kPictureExtensions), extension) !=
         std::end(kPictureExtensions);
}

std::vector<GalleryPicture> CollectPictures(const std::vector<SaveItem>& folders, bool readFolders, size_t most) {
  Collector collector(readFolders, most);
  for (const SaveItem& folder : folders) {
    if (folder.entry != nullptr) {
      collector.Folder(folder.partition, *folder.entry, folder.displayPath, folder.indexPath, 0);
    }
  }
  return std::move(collector.pictures);
}
