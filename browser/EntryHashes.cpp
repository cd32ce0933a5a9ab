#include "browser/EntryHashes.h"

#include <memory>
#include <optional>

#include "browser/Background.h"
#include "hash/Hashing.h"
#include "save/SaveEntry.h"

void EntryHashes::Start(TDirectoryEntry& entry, std::function<void()> shown) {
  auto result = std::make_shared<Hashes>();
  TDirectoryEntry* hashed = &entry;
  Background().Start(
      "Hashing " + SafeFileName(entry.name),
      [hashed, result](Operation& operation) {
        std::optional<ReadSession> session;
        if (hashed->readerRef != nullptr && hashed->readerRef->reader != nullptr) {
          session.emplace(*hashed->readerRef->reader, operation.policy(), operation.faults());
        }
        *result = HashEntry(*hashed, std::vector<HashAlgorithm>(std::begin(kAllHashes), std::end(kAllHashes)),
                            [&operation](uint64_t done, uint64_t total) { return operation.Advance(done, total); });
      },
      [this, hashed, result, shown = std::move(shown)](Operation&) {
        if (!result->complete) return;
        hashes_[hashed] = result->digests;
        if (shown) shown();
      });
}

void EntryHashes::FillInfo(const TDirectoryEntry& entry, TInfoList& list) const {
  const auto found = hashes_.find(&entry);
  if (found == hashes_.end()) return;
  list.InsertGroup(kHashesGroupId, kHashesGroupTitle);
  for (const Digest& digest : found->second) list.AddInfoRow(HashTitle(digest.algorithm), digest.hex, 0, kHashesGroupId);
}
