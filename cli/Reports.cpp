#include "cli/Reports.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <optional>

#include "cli/Names.h"
#include "fs/InfoList.h"
#include "hash/Hashing.h"
#include "platform/VersionTable.h"
#include "save/SaveEntry.h"

namespace {

// Seconds since 1970 of a recorded time, as fls gives them; 0 for none.
long long Seconds(const std::optional<RecordedTime>& time) {
  if (!time) return 0;
  const std::optional<timespec> moment = MomentOf(*time);
  return moment ? static_cast<long long>(moment->tv_sec) : 0;
}

// The same as DFXML writes times: ISO 8601 in UTC; empty for none.
std::string IsoTime(const std::optional<RecordedTime>& time) {
  if (!time) return "";
  const std::optional<timespec> moment = MomentOf(*time);
  if (!moment) return "";
  std::tm fields{};
  if (::gmtime_r(&moment->tv_sec, &fields) == nullptr) return "";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &fields);
  return text;
}

// The entry's attributes as the window lists them ("RA"); a folder's node keeps no text of
// them, but its information rows have them.
std::string AttributesOf(TDirectoryEntry& entry) {
  if (!entry.attributesText.empty()) return entry.attributesText;
  RecordingInfoList list;
  entry.FillInfo(list);
  for (const RecordingInfoList::Row& row : list.rows) {
    if (row.caption == "Attributes") return row.value;
  }
  return "";
}

// The mode field as fls -m writes it for FAT and exFAT: type, then permissions, read-only
// entries with their read bits cleared, as The Sleuth Kit does.
std::string ModeText(TDirectoryEntry& entry) {
  const char type = entry.IsFolder() ? 'd' : 'r';
  const bool readOnly = AttributesOf(entry).starts_with("R");
  return std::string(1, type) + "/" + type + (readOnly ? "-wx-wx-wx" : "rwxrwxrwx");
}

// A name for a body file, whose fields '|' divides: printable, with '|' written as "\174".
std::string BodyName(const std::string& name) {
  std::string text;
  for (const char c : PrintableText(name)) {
    if (c == '|') text += "\\174";
    else text += c;
  }
  return text;
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string TimeText(const std::optional<RecordedTime>& time) {
  return time ? FormatDosTimestamp(time->stamp, time->hundredths) : "";
}

// "fat32" from "FAT32 partition ...", as fiwalk names file system types.
std::string FileSystemType(const TPartition& partition) {
  const std::string description = partition.GetDescription();
  std::string type;
  for (const char c : description.substr(0, description.find(' '))) {
    type += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return type;
}

}  // namespace

bool IsOrphan(const TDirectoryEntry& entry) {
  const EntryOrigin origin = entry.Origin();
  return origin == EntryOrigin::kLost || origin == EntryOrigin::kFound;
}

const std::string& ReportPaths::PathOf(const WalkItem& item) {
  const auto depth = static_cast<size_t>(item.depth);
  levels_.resize(depth + 1);
  const std::string& display = item.displayPath;
  // The entry's own part of its display path: after its parent's, or after the last "/".
  std::string name = display.substr(display.rfind('/') + 1);
  const Level* parent = depth > 0 ? &levels_[depth - 1] : nullptr;
  if (parent != nullptr && display.starts_with(parent->display)) {
    name = display.substr(parent->display.size());
    if (name.starts_with("/")) name.erase(0, 1);
  }
  Level& level = levels_[depth];
  level.display = display;
  if (parent != nullptr && parent->orphan) {
    level.path = parent->path + "/" + name;
    level.orphan = true;
  } else if (IsOrphan(item.entry)) {
    // Under "N:/$OrphanFiles/", whatever folder of the tree the scan put it in.
    const size_t root = display.find(":/");
    level.path = (root == std::string::npos ? "" : display.substr(0, root + 2)) + "$OrphanFiles/" + name;
    level.orphan = true;
  } else {
    level.path = display;
    level.orphan = false;
  }
  return level.path;
}

uint64_t ReportedSize(TDirectoryEntry& entry) {
  if (!entry.IsFolder()) return entry.DataLength();
  uint64_t total = 0;
  for (const ByteRun& run : entry.DataRuns(kMaxReportedRuns).runs) total += run.length;
  return total;
}

std::string BodyFileLine(const WalkItem& item, const std::string& path, uint64_t size) {
  TDirectoryEntry& e = item.entry;
  const std::string name = BodyName(path) + (e.IsDeleted() || IsOrphan(e) ? " (deleted)" : "");
  // mactime takes digits and dashes alone for an inode: "1#0/2" becomes "1-0-2".
  std::string inode = item.indexPath;
  std::replace_if(inode.begin(), inode.end(), [](char c) { return c == '#' || c == '/'; }, '-');
  return "0|" + name + "|" + inode + "|" + ModeText(e) + "|0|0|" + std::to_string(size) + "|" +
         std::to_string(Seconds(e.AccessedTime())) + "|" + std::to_string(Seconds(e.ModifiedTime())) + "|0|" +
         std::to_string(Seconds(e.CreatedTime())) + "\n";
}

std::string CsvHeader() { return "index,path,name,state,size,modified,created,accessed,attributes,folder\r\n"; }

std::string CsvLine(const WalkItem& item) {
  TDirectoryEntry& e = item.entry;
  const std::vector<std::string> fields = {
      item.indexPath,        item.displayPath, PrintableText(e.name),  ListedState(e),
      std::to_string(e.DataLength()), TimeText(e.ModifiedTime()), TimeText(e.CreatedTime()),
      TimeText(e.AccessedTime()), AttributesOf(e), e.IsFolder() ? "yes" : "no"};
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i > 0 ? "," : "") + CsvField(fields[i]);
  return line + "\r\n";
}

std::string XmlText(const std::string& text) {
  std::string xml;
  for (const char c : PrintableText(text)) {
    switch (c) {
      case '&': xml += "&amp;"; break;
      case '<': xml += "&lt;"; break;
      case '>': xml += "&gt;"; break;
      case '\'': xml += "&apos;"; break;
      case '"': xml += "&quot;"; break;
      default: xml += c;
    }
  }
  return xml;
}

DfxmlWriter::DfxmlWriter(std::FILE* out, std::vector<HashAlgorithm> algorithms)
    : out_(out), algorithms_(std::move(algorithms)) {}

void DfxmlWriter::BeginSource(const std::string& imageName, uint64_t imageSize, uint32_t sectorSize,
                              const std::string& description) {
  const std::string version = VersionTable::Program().Query(kFileVersionPath).value_or("");
  std::fprintf(out_,
               "<?xml version='1.0' encoding='UTF-8'?>\n"
               "<dfxml xmlns='http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML'\n"
               "       xmlns:dc='http://purl.org/dc/elements/1.1/' version='1.0'>\n"
               "  <metadata>\n    <dc:type>Disk Image</dc:type>\n  </metadata>\n"
               "  <creator version='1.0'>\n    <program>brindle-cli</program>\n    <version>%s</version>\n"
               "  </creator>\n"
               "  <source>\n    <image_filename>%s</image_filename>\n    <imagesize>%llu</imagesize>\n"
               "    <sectorsize>%u</sectorsize>\n    <description>%s</description>\n  </source>\n",
               XmlText(version).c_str(), XmlText(imageName).c_str(), static_cast<unsigned long long>(imageSize),
               sectorSize, XmlText(description).c_str());
}

void DfxmlWriter::BeginVolume(const TPartition& partition, uint32_t sectorSize) {
  const uint64_t offset = uint64_t{partition.firstSector} * sectorSize;
  std::fprintf(out_,
               "  <volume offset='%llu'>\n    <partition_offset>%llu</partition_offset>\n"
               "    <sector_size>%u</sector_size>\n    <ftype_str>%s</ftype_str>\n    <partition>%d</partition>\n",
               static_cast<unsigned long long>(offset), static_cast<unsigned long long>(offset), sectorSize,
               XmlText(FileSystemType(partition)).c_str(), partition.number);
}

void DfxmlWriter::FileObject(const WalkItem& item, const std::string& path, uint32_t /*sectorSize*/,
                             uint64_t volumeOffset) {
  TDirectoryEntry& e = item.entry;
  const bool folder = e.IsFolder();
  const bool allocated = !e.IsDeleted() && !IsOrphan(e);
  // fiwalk's names go from the volume's root, without the partition in front.
  const size_t root = path.find(":/");
  const std::string name = root == std::string::npos ? path : path.substr(root + 2);
  std::fprintf(out_, "    <fileobject>\n      <filename>%s</filename>\n      <id>%llu</id>\n",
               XmlText(name).c_str(), static_cast<unsigned long long>(nextId_++));
  std::fprintf(out_, "      <name_type>%c</name_type>\n      <filesize>%llu</filesize>\n", folder ? 'd' : 'r',
               static_cast<unsigned long long>(folder ? ReportedSize(e) : e.DataLength()));
  std::fprintf(out_, allocated ? "      <alloc>1</alloc>\n" : "      <unalloc>1</unalloc>\n");
  std::fprintf(out_, "      <meta_type>%d</meta_type>\n      <inode>%s</inode>\n", folder ? 2 : 1,
               XmlText(item.indexPath).c_str());
  const std::pair<const char*, std::optional<RecordedTime>> times[] = {
      {"mtime", e.ModifiedTime()}, {"atime", e.AccessedTime()}, {"crtime", e.CreatedTime()}};
  for (const auto& [tag, time] : times) {
    const std::string text = IsoTime(time);
    if (!text.empty()) std::fprintf(out_, "      <%s>%s</%s>\n", tag, text.c_str(), tag);
  }
  const DataRunList runs = e.DataRuns(kMaxReportedRuns);
  std::fprintf(out_, "      <byte_runs>\n");
  for (const ByteRun& run : runs.runs) {
    if (run.mediumOffset) {
      std::fprintf(out_, "        <byte_run file_offset='%llu' fs_offset='%llu' img_offset='%llu' len='%llu'/>\n",
                   static_cast<unsigned long long>(run.fileOffset),
                   static_cast<unsigned long long>(*run.mediumOffset - volumeOffset),
                   static_cast<unsigned long long>(*run.mediumOffset), static_cast<unsigned long long>(run.length));
    } else if (run.zeros) {
      std::fprintf(out_, "        <byte_run file_offset='%llu' fill='0' len='%llu'/>\n",
                   static_cast<unsigned long long>(run.fileOffset), static_cast<unsigned long long>(run.length));
    }
  }
  if (!runs.complete) std::fprintf(out_, "        <!-- more than %zu runs: the rest are left out -->\n", kMaxReportedRuns);
  std::fprintf(out_, "      </byte_runs>\n");
  if (!folder && !algorithms_.empty()) {
    for (const Digest& digest : HashEntry(e, algorithms_).digests) {
      std::fprintf(out_, "      <hashdigest type='%s'>%s</hashdigest>\n", HashTag(digest.algorithm), digest.hex.c_str());
    }
  }
  std::fprintf(out_, "    </fileobject>\n");
}

void DfxmlWriter::EndVolume() { std::fprintf(out_, "  </volume>\n"); }

void DfxmlWriter::End() { std::fprintf(out_, "</dfxml>\n"); }
