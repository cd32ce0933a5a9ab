#include "fs/Source.h"

#include <sys/stat.h>

SourceChoice SourceFromPath(const std::string& path, const std::string& sectorSizeText) {
  struct stat info {};
  const bool device = ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
  return SourceChoice{path, device, false, sectorSizeText};
}

bool OpenSource(TSectorReader& reader, const SourceChoice& choice) {
  reader.Close();
  const bool opened = choice.isDevice ? reader.OpenDevice(choice.path, choice.isLogicalDrive)
                                      : reader.OpenImage(choice.path, choice.sectorSizeText);
  if (!opened) return false;
  reader.PrepareBuffer();
  return true;
}
