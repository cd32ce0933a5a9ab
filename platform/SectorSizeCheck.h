#pragma once
// The check of a --sector-size option, shared by brindle-cli and the window's command line: a
// whole number of bytes that the reader accepts, else a usage error that says which.

#include <CLI/CLI.hpp>

#include <string>

#include "device/SectorReader.h"

inline CLI::Validator SectorSizeCheck(const std::string& placeholder) {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const bool digits = !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos;
        const unsigned long value = digits ? std::stoul(text) : 0;
        if (value >= kMinSectorSize && value <= kMaxSectorSize) return "";
        return "takes a number of bytes from " + std::to_string(kMinSectorSize) + " to " +
               std::to_string(kMaxSectorSize) + ", not \"" + text + "\"";
      },
      placeholder);
}
