#include "browser/SaveEntry.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "device/SystemError.h"
#include "platform/MessageBox.h"

namespace {

constexpr size_t kMaxKeptExtension = 16;
constexpr int kMaxNumberedNames = 10000;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first at most maxBytes bytes of text, not cutting a UTF-8 character in two.
std::string CutAtCharacter(const std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  size_t cut = maxBytes;
  while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
  return text.substr(0, cut);
}

// Splits "name.ext" into "name" and ".ext"; a leading dot or a long tail is no extension.
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0 || name.size() - dot > kMaxKeptExtension) return {name, ""};
  return {name.substr(0, dot), name.substr(dot)};
}

std::string WithNumber(const std::string& safeName, int number) {
  const auto [stem, extension] = SplitExtension(safeName);
  const std::string suffix = " (" + std::to_string(number) + ")" + extension;
  return CutAtCharacter(stem, kMaxFileNameBytes - suffix.size()) + suffix;
}

void ReportSaveFailure(const std::string& path, const std::string& reason) {
  ShowMessageBox("The file \"" + path + "\" could not be saved:\n" + reason, "Error", kMbOkWarning);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// A temporary file in the target folder that holds the complete data before it gets its
// name; it is removed again unless it was placed.
class PendingFile {
 public:
  ~PendingFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }

  // Creates the file in folder and writes the data; returns 0 or the errno of the failure.
  int Write(const std::string& folder, const uint8_t* data, size_t size) {
    std::string name = folder + "/.brindle-save-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    path_ = name;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    int error = 0;
    if (::fchmod(fd, 0666 & ~mask) != 0 || !WriteAll(fd, data, size) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    return error;
  }

  // Gives the file its final path; without replace an existing path is EEXIST.
  int Place(const std::string& target, bool replace) {
    const int error = Move(target, replace);
    if (error == 0) path_.clear();
    return error;
  }

 private:
  int Move(const std::string& target, bool replace) {
    if (replace) return ::rename(path_.c_str(), target.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system that cannot refuse to replace: a hard link cannot replace either.
    if (::link(path_.c_str(), target.c_str()) == 0) {
      ::unlink(path_.c_str());
      return 0;
    }
    if (errno == EEXIST) return EEXIST;
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) return EEXIST;
    return ::rename(path_.c_str(), target.c_str()) == 0 ? 0 : errno;
  }

  std::string path_;
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Reads the entry's data: as many bytes as its size (for directories, whose size is 0, the
// whole chain). Returns false after telling the user when the data cannot be held.
bool ReadEntryData(TDirectoryEntry& entry, const std::string& path, ByteBuffer& data) {
  uint32_t size = entry.size;
  try {
    data = entry.GetData(size);
  } catch (const std::bad_alloc&) {
    ReportSaveFailure(path, "There is not enough memory to hold its data.");
    return false;
  }
  return true;
}

}  // namespace

std::string SafeFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (safe.empty() || safe == "." || safe == "..") return "_";
  if (safe.size() > kMaxFileNameBytes) {
    const auto [stem, extension] = SplitExtension(safe);
    safe = CutAtCharacter(stem, kMaxFileNameBytes - extension.size()) + extension;
  }
  return safe;
}

int WriteFileSafely(const std::string& path, const uint8_t* data, size_t size, bool replace) {
  PendingFile file;
  if (const int error = file.Write(FolderOf(path), data, size); error != 0) return error;
  return file.Place(path, replace);
}

SaveOutcome SaveEntry(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath) {
  const std::string path = folder + "/" + SafeFileName(entry.name);
  if (savedPath) *savedPath = path;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    const std::string question = "The file \"" + path + "\" already exists.\nDo you want to replace it?";
    if (ShowMessageBox(question, kApplicationTitle, kMbYesNoQuestion) != kIdYes) return SaveOutcome::kDeclined;
  }
  ByteBuffer data;
  if (!ReadEntryData(entry, path, data)) return SaveOutcome::kFailed;
  if (const int error = WriteFileSafely(path, data.data(), data.size(), true); error != 0) {
    ReportSaveFailure(path, SystemErrorText(error));
    return SaveOutcome::kFailed;
  }
  return SaveOutcome::kSaved;
}

SaveOutcome SaveEntryAsNewFile(TDirectoryEntry& entry, const std::string& folder, std::string* savedPath,
                               uint64_t* bytesWritten) {
  const std::string safeName = SafeFileName(entry.name);
  std::string path = folder + "/" + safeName;
  ByteBuffer data;
  if (!ReadEntryData(entry, path, data)) return SaveOutcome::kFailed;
  PendingFile file;
  int error = file.Write(folder, data.data(), data.size());
  for (int number = 1; error == 0; ++number) {
    error = file.Place(path, false);
    if (error != EEXIST || number > kMaxNumberedNames) break;
    path = folder + "/" + WithNumber(safeName, number);
    error = 0;
  }
  if (savedPath) *savedPath = path;
  if (error != 0) {
    ReportSaveFailure(path, SystemErrorText(error));
    return SaveOutcome::kFailed;
  }
  if (bytesWritten) *bytesWritten = data.size();
  return SaveOutcome::kSaved;
}
