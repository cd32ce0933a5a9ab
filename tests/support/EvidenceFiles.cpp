#include "support/EvidenceFiles.h"

#include <cstdlib>

#include "support/TestFiles.h"

bool HaveTool(const std::string& program) {
  return std::system(("command -v " + ShellQuote(program) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string MakeEwf(const std::string& raw, const std::string& folder, const std::string& base,
                    uint64_t segmentBytes, bool compress) {
  const std::string target = folder + "/" + base;
  std::string command = "ewfacquire -u -q -t " + ShellQuote(target) + (compress ? " -c deflate:fast" : " -c none");
  if (segmentBytes != 0) command += " -S " + std::to_string(segmentBytes);
  RunCommand(command + " " + ShellQuote(raw) + " >/dev/null");
  return target + ".E01";
}

std::vector<std::string> MakeSplit(const std::string& raw, const std::string& folder, const std::string& base,
                                   uint64_t segmentBytes, bool letters) {
  const std::string prefix = folder + "/" + base;
  RunCommand("split -b " + std::to_string(segmentBytes) + (letters ? "" : " -d -a 3 --numeric-suffixes=1") + " " +
             ShellQuote(raw) + " " + ShellQuote(prefix));
  std::vector<std::string> segments;
  for (const std::string& name : FolderContents(folder)) {
    if (name.starts_with(base)) segments.push_back(folder + "/" + name);
  }
  return segments;
}

std::string MakeVirtualDisk(const std::string& raw, const std::string& folder, const std::string& name,
                            const std::string& format, const std::string& options, const std::string& arguments) {
  const std::string target = folder + "/" + name;
  RunCommand("qemu-img convert -q -f raw -O " + format + (options.empty() ? "" : " -o " + options) + " " + arguments +
             " " + ShellQuote(raw) + " " + ShellQuote(target));
  return target;
}
