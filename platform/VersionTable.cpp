#include "platform/VersionTable.h"

#include "platform/BuildVersion.h"

std::optional<std::string> VersionTable::Query(std::string_view path) const {
  for (const Value& value : values_) {
    if (value.path == path) return value.text;
  }
  return std::nullopt;
}

const VersionTable& VersionTable::Program() {
  static const std::string kStrings = "\\StringFileInfo\\040904E4\\";
  static const VersionTable table({
      {kStrings + "FileVersion", kBuildVersion},
      {kStrings + "ProductVersion", kBuildVersion},
      {kStrings + "ProductName", "Brindle"},
      {kStrings + "FileDescription", "Brindle: FAT and exFAT volumes, read-only"},
      {kStrings + "LegalCopyright", kBuildLegalCopyright},
  });
  return table;
}
