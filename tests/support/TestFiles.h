#pragma once
// Files, folders and commands for tests: a temporary folder that cleans up after itself,
// whole-file reads and writes, and running the tools that make test images.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes ReadFileBytes(const std::string& path);
// At most count bytes of the file from offset on.
Bytes ReadFileRange(const std::string& path, uint64_t offset, size_t count);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
// Writes bytes at offset of an existing file, leaving the rest as it is.
void PatchFile(const std::string& path, uint64_t offset, const Bytes& bytes);
bool FileExists(const std::string& path);
// The names in folder, sorted.
std::vector<std::string> FolderContents(const std::string& folder);

// Runs a shell command; a non-zero exit fails the current test with the command's output.
// Returns its standard output.
std::string RunCommand(const std::string& command);
// Quotes text for the shell.
std::string ShellQuote(const std::string& text);

// size bytes of a repeatable pseudo-random pattern, different for every seed.
Bytes PatternBytes(size_t size, uint32_t seed);

// Sets the time zone (TZ, a POSIX rule such as "XYZ-3" for three hours east of UTC) while it
// lives, and puts back the one before.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const std::string& rule);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> before_;
};
