#pragma once
// The window's hash command: MD5, SHA-1 and SHA-256 of the selected entry, computed in the
// background with progress, then shown in a group of their own in the information list, each
// time the entry is shown, until the partitions go.

#include <functional>
#include <map>
#include <vector>

#include "fs/InfoList.h"
#include "fs/Partition.h"
#include "hash/Digest.h"

// The title of the information list's group of hashes.
inline constexpr const char* kHashesGroupTitle = "Hashes";
inline constexpr int kHashesGroupId = 1;

class EntryHashes {
 public:
  // Hashes entry in the background (see browser/Background.h); once all of it is hashed, keeps
  // the hashes and runs shown on the calling thread. A cancelled one keeps nothing.
  void Start(TDirectoryEntry& entry, std::function<void()> shown);
  // Adds the group of the entry's hashes to list, when it has been hashed.
  void FillInfo(const TDirectoryEntry& entry, TInfoList& list) const;
  bool Has(const TDirectoryEntry& entry) const { return hashes_.count(&entry) != 0; }
  // Forgets entry: it is about to go.
  void Forget(const TDirectoryEntry& entry) { hashes_.erase(&entry); }
  // Forgets every entry: they are about to go.
  void Clear() { hashes_.clear(); }

 private:
  std::map<const TDirectoryEntry*, std::vector<Digest>> hashes_;
};
