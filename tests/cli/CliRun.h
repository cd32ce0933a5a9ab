#pragma once
// Running brindle-cli from a test: its exit code and both outputs, and the output cut into
// lines or into the objects of `ls --json`.

#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/TestFiles.h"

struct CliResult {
  int code = -1;
  std::string out;
  std::string err;
};

class Cli {
 public:
  CliResult Run(const std::vector<std::string>& args) const {
    std::string command = ShellQuote(BRINDLE_CLI_PATH);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command += " >" + ShellQuote(scratch_ / "out") + " 2>" + ShellQuote(scratch_ / "err");
    const int status = std::system(command.c_str());
    CliResult result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Bytes out = ReadFileBytes(scratch_ / "out");
    const Bytes err = ReadFileBytes(scratch_ / "err");
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    return result;
  }

 private:
  TempDir scratch_;
};

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) lines.push_back(text.substr(start, nl - start));
  return lines;
}

// The lines of ls --json, each an object.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  for (const std::string& line : Lines(text)) objects.push_back(nlohmann::json::parse(line));
  return objects;
}
