#pragma once
// The check of a --codepage option, shared by brindle-cli and the window's command line: a
// code page that 8.3 names and FAT labels can be decoded from, else a usage error that says why.

#include <CLI/CLI.hpp>

#include <cctype>
#include <string>

#include "fs/OemCodePage.h"

inline CLI::Validator CodePageCheck(const std::string& placeholder) {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        std::string error;
        if (OemCodePage::FromName(text, error)) return "";
        // A clause after the option's name, as CLI11 words its own errors.
        error[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(error[0])));
        return error;
      },
      placeholder);
}
