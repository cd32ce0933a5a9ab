#pragma once
// The program's version information: values found by query paths of the form a version
// resource uses ("\StringFileInfo\040904E4\FileVersion"), so that whoever shows the version
// asks for it the same way on every platform. The table of this build is made from the
// project's version when it is built.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The two values the about box and brindle-cli --version show, from the US English table
// (language 0x0409, code page 0x04E4).
inline constexpr std::string_view kFileVersionPath = "\\StringFileInfo\\040904E4\\FileVersion";
inline constexpr std::string_view kLegalCopyrightPath = "\\StringFileInfo\\040904E4\\LegalCopyright";

class VersionTable {
 public:
  struct Value {
    std::string path;
    std::string text;
  };

  explicit VersionTable(std::vector<Value> values) : values_(std::move(values)) {}

  // The value at path, or nothing when the table holds none there.
  std::optional<std::string> Query(std::string_view path) const;

  // The table of this build: file and product version, product name, description and legal
  // notice, in the US English string table.
  static const VersionTable& Program();

 private:
  std::vector<Value> values_;
};
