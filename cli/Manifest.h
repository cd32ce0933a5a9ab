#pragma once
// The SHA256SUMS file that `recover --manifest` writes beside what it saved: one line per file
// saved, in coreutils' format, so that `sha256sum -c SHA256SUMS` in that folder checks the
// recovery. The hashes are taken of the bytes as they are written, not read back.

#include <memory>
#include <string>

#include "fs/TreeWalk.h"
#include "hash/Digest.h"
#include "save/PendingFile.h"
#include "save/SaveEntry.h"

// A line of sha256sum's output for the file at path (relative to the manifest's folder): a
// name holding a backslash, a line feed or a carriage return is written escaped, with a
// backslash before the line, as coreutils writes it.
std::string ChecksumLine(const std::string& hex, const std::string& path);

class ChecksumManifest {
 public:
  // Written into folder, the folder recovered into, under the name SHA256SUMS or, where that
  // is taken, a numbered one ("SHA256SUMS (1)"): nothing is ever replaced.
  explicit ChecksumManifest(std::string folder);

  // The sink that takes the next file's bytes as they are saved.
  ByteSink* Begin(const WalkItem& item);
  // The file's line, when it was saved.
  void Done(const SaveResult& result);
  // Gives the manifest its name; the path written, or the reason it could not be.
  bool Finish(std::string& pathOrReason);

 private:
  std::string folder_;
  PendingFile file_;
  int error_ = 0;
  std::unique_ptr<HashSink> hash_;
};
