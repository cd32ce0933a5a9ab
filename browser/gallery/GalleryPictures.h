#pragma once
// The pictures a gallery shows: every file with a picture's extension in some folders and the
// folders below them, live, deleted, lost and found alike, each with what the save command
// needs to save it. Folders are read as the tree reads them; a "Lost and found" that has not
// been scanned yet is not scanned here (that is a long read of the whole volume). No Qt.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "browser/SelectionSave.h"

struct GalleryPicture {
  SaveItem item;           // the partition, the entry and its paths
  std::string name;        // the file's name, as a saved copy gets it
  uint64_t size = 0;
  std::string modified;    // as the information list gives it; "" where none is recorded
  EntryOrigin origin = EntryOrigin::kLive;
};

// Whether a file of that name is a picture the gallery shows: JPEG, PNG, GIF, BMP, TIFF and
// the camera raw files that keep a preview of themselves.
bool IsPictureName(const std::string& name);

// The pictures in folders (each a folder of the tree, or a volume) and below them, in tree
// order, at most most of them. readFolders: folders not read yet are read (the window's own
// reads); without it only what has been read already is looked at.
std::vector<GalleryPicture> CollectPictures(const std::vector<SaveItem>& folders, bool readFolders, size_t most);
