#include "cli/Manifest.h"

#include <unistd.h>

#include <cerrno>

#include "device/SystemError.h"

namespace {

constexpr const char* kManifestName = "SHA256SUMS";

int WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return errno != 0 ? errno : EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

std::string ChecksumLine(const std::string& hex, const std::string& path) {
  std::string name;
  bool escaped = false;
  for (const char c : path) {
    switch (c) {
      case '\\': name += "\\\\"; escaped = true; break;
      case '\n': name += "\\n"; escaped = true; break;
      case '\r': name += "\\r"; escaped = true; break;
      default: name += c;
    }
  }
  return (escaped ? "\\" : "") + hex + "  " + name + "\n";
}

ChecksumManifest::ChecksumManifest(std::string folder) : folder_(std::move(folder)) {
  error_ = file_.Create(folder_);
}

ByteSink* ChecksumManifest::Begin(const WalkItem& /*item*/) {
  hash_ = std::make_unique<HashSink>(std::vector<HashAlgorithm>{HashAlgorithm::kSha256});
  return hash_.get();
}

void ChecksumManifest::Done(const SaveResult& result) {
  if (!hash_ || result.outcome != SaveOutcome::kSaved || error_ != 0) return;
  const std::vector<Digest> digests = hash_->Finish();
  hash_.reset();
  // Saved paths begin with the folder and a slash.
  const std::string relative = result.path.substr(std::min(result.path.size(), folder_.size() + 1));
  error_ = WriteAll(file_.fd(), ChecksumLine(digests.front().hex, relative));
}

bool ChecksumManifest::Finish(std::string& pathOrReason) {
  int error = error_;
  if (error == 0) error = file_.Complete(false);
  TakenNames names;
  for (int tries = 0; error == 0; ++tries) {
    const std::string name = names.FirstFree(kManifestName);
    pathOrReason = folder_ + "/" + name;
    error = file_.Place(pathOrReason, false);
    if (error == 0) return true;
    if (error != EEXIST || tries == 1000) break;
    names.Take(name);
    error = 0;
  }
  pathOrReason = "cannot write " + folder_ + "/" + kManifestName + ": " + SystemErrorText(error);
  return false;
}
