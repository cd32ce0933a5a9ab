// brindle-cli's hashes and reports checked by the tools examiners check them with: hashes
// against md5sum, sha1sum and sha256sum of the saved files, recover --manifest with
// `sha256sum -c`, the body file against The Sleuth Kit's fls -m, DFXML parsed by Python with
// its byte runs read back from the image, and the CSV table by Python's csv module.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "cli/CliRun.h"
#include "cli/Manifest.h"
#include "support/EvidenceFiles.h"
#include "support/ExfatImages.h"
#include "support/FatImages.h"

namespace {

struct Image {
  std::string name;
  std::string path;
};

std::vector<Image> Images() {
  return {{"FAT32", SharedFatImage(32).path}, {"exFAT", TestImagePath("exfat-tree.img")}};
}

// The files of ls -r --json, live and deleted, with their indexes.
std::vector<std::string> FileIndexes(const Cli& cli, const std::string& image) {
  const CliResult listing = cli.Run({"ls", "-r", "--json", image});
  EXPECT_EQ(listing.code, 0) << listing.err;
  std::vector<std::string> indexes;
  for (const nlohmann::json& entry : JsonLines(listing.out)) {
    if (!entry["folder"].get<bool>()) indexes.push_back(entry["index"].get<std::string>());
  }
  return indexes;
}

std::string ReadFileText(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string FirstField(const std::string& line) { return line.substr(0, line.find(' ')); }

TEST(EvidenceCli, HashesAreThoseOfCoreutilsOverTheSavedFiles) {
  const Cli cli;
  for (const Image& image : Images()) {
    SCOPED_TRACE(image.name);
    std::vector<std::string> indexes = FileIndexes(cli, image.path);
    ASSERT_GE(indexes.size(), 4u);
    // Every fourth file, deleted ones among them, saved and hashed.
    std::vector<std::string> chosen;
    for (size_t i = 0; i < indexes.size(); i += 4) chosen.push_back(indexes[i]);
    std::vector<std::string> args = {"hash", image.path};
    args.insert(args.end(), chosen.begin(), chosen.end());
    const CliResult hashed = cli.Run(args);
    ASSERT_EQ(hashed.code, 0) << hashed.err;
    const std::vector<std::string> lines = Lines(hashed.out);
    ASSERT_EQ(lines.size(), 3 * chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) {
      TempDir folder;
      const CliResult saved = cli.Run({"save", image.path, chosen[i], folder.path()});
      ASSERT_EQ(saved.code, 0) << saved.err;
      const std::string path = Lines(saved.out).at(0);
      const std::string tools[] = {"md5sum", "sha1sum", "sha256sum"};
      const std::string tags[] = {"MD5 (", "SHA1 (", "SHA256 ("};
      for (size_t k = 0; k < 3; ++k) {
        const std::string& line = lines[3 * i + k];
        EXPECT_TRUE(line.starts_with(tags[k])) << line;
        EXPECT_EQ(line.substr(line.rfind(" = ") + 3), FirstField(RunCommand(tools[k] + " " + ShellQuote(path))))
            << chosen[i] << " " << tools[k];
      }
    }
    // One algorithm gives coreutils' own line.
    const CliResult one = cli.Run({"hash", "--algorithm", "sha1", image.path, chosen.front()});
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(FirstField(one.out), lines[1].substr(lines[1].rfind(" = ") + 3));
    EXPECT_NE(one.out.find("  1:/"), std::string::npos) << one.out;
  }
}

TEST(EvidenceCli, TheWholeSourceHashesAsTheImageFileAndAnEnCaseImageChecksItsOwn) {
  if (!HaveTool("ewfacquire")) GTEST_SKIP() << "needs ewfacquire (ewf-tools)";
  const Cli cli;
  const std::string raw = TestImagePath("exfat-tree.img");
  const CliResult plain = cli.Run({"hash", "--source", "--algorithm", "sha256", raw});
  ASSERT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(FirstField(plain.out), FirstField(RunCommand("sha256sum " + ShellQuote(raw))));

  TempDir dir;
  const std::string e01 = MakeEwf(raw, dir.path(), "card", 0, false);
  const CliResult evidence = cli.Run({"hash", "--source", "--algorithm", "md5", e01});
  ASSERT_EQ(evidence.code, 0) << evidence.err;
  const std::string md5 = FirstField(RunCommand("md5sum " + ShellQuote(raw)));
  EXPECT_EQ(FirstField(evidence.out), md5);
  EXPECT_NE(evidence.out.find("MD5 recorded in the evidence file: " + md5 + " (matches)"), std::string::npos)
      << evidence.out;

  // A chunk changed after the image was made: the hash no longer agrees, and the exit code says so.
  PatchFile(e01, std::filesystem::file_size(e01) / 2, Bytes(16, 0x5A));
  const CliResult damaged = cli.Run({"hash", "--source", "--algorithm", "md5", e01});
  EXPECT_EQ(damaged.code, 3);
  EXPECT_NE(damaged.err.find("(does NOT match)"), std::string::npos) << damaged.err;
  EXPECT_NE(damaged.err.find("does not match its checksum, for sectors"), std::string::npos) << damaged.err;
}

TEST(EvidenceCli, TheManifestOfARecoveryPassesSha256sumCheck) {
  const Cli cli;
  for (const Image& image : Images()) {
    SCOPED_TRACE(image.name);
    TempDir folder;
    const CliResult recovered = cli.Run({"recover", "--manifest", image.path, folder.path()});
    ASSERT_EQ(recovered.code, 0) << recovered.err;
    const std::string manifest = ReadFileText(folder / "SHA256SUMS");
    const size_t files = std::count(manifest.begin(), manifest.end(), '\n');
    EXPECT_NE(recovered.out.find("Saved " + std::to_string(files) + " files"), std::string::npos) << recovered.out;
    EXPECT_GT(files, 3u);
    RunCommand("cd " + ShellQuote(folder.path()) + " && sha256sum --quiet --strict -c SHA256SUMS");
    // A second run into the same folder replaces nothing: its manifest gets a number.
    const CliResult again = cli.Run({"recover", "--manifest", image.path, folder.path()});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(ReadFileText(folder / "SHA256SUMS"), manifest);
    RunCommand("cd " + ShellQuote(folder.path()) + " && sha256sum --quiet --strict -c 'SHA256SUMS (1)'");
  }
}

// Names that coreutils escapes: its own check takes them back.
TEST(EvidenceCli, ManifestLinesEscapeNamesAsCoreutilsDoes) {
  TempDir folder;
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.txt", "2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881  plain name.txt\n"},
      {"back\\slash", "\\2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881  back\\\\slash\n"},
      {"line\nfeed", "\\2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881  line\\nfeed\n"},
      {"carriage\rreturn", "\\2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881  carriage\\rreturn\n"},
  };
  std::string manifest;
  for (const auto& [name, line] : cases) {
    WriteFileBytes(folder / name, Bytes{'x'});
    const std::string written = ChecksumLine("2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881", name);
    EXPECT_EQ(written, line);
    manifest += written;
  }
  WriteFileBytes(folder / "SUMS", Bytes(manifest.begin(), manifest.end()));
  RunCommand("cd " + ShellQuote(folder.path()) + " && sha256sum --quiet --strict -c SUMS");
}

// A body file line's fields, less the MD5 and the inode, which fls numbers its own way.
struct BodyEntry {
  std::string mode;
  uint64_t size = 0;
  long long atime = 0, mtime = 0, ctime = 0, crtime = 0;
};

std::map<std::string, BodyEntry> BodyEntries(const std::string& text, bool skipVirtual) {
  std::map<std::string, BodyEntry> entries;
  for (const std::string& line : Lines(text)) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, '|');) fields.push_back(field);
    if (fields.size() != 11) {
      ADD_FAILURE() << "not a body file line: " << line;
      continue;
    }
    const std::string& name = fields[1];
    // fls lists the file system's own files ($MBR, $FAT1, $ALLOC_BITMAP, ...), the folder of
    // orphans and the volume label entry; Brindle lists entries only.
    if (skipVirtual && (name.find("/$") != std::string::npos || name.ends_with("(Volume Label Entry)"))) continue;
    entries[name] = {fields[3], std::stoull(fields[6]), std::stoll(fields[7]), std::stoll(fields[8]),
                     std::stoll(fields[9]), std::stoll(fields[10])};
  }
  return entries;
}

// Times as fls gives them, less the hundredths that The Sleuth Kit drops from exFAT's times
// and Brindle keeps: at most a second and 99 hundredths earlier.
bool SameTime(long long brindle, long long fls) { return brindle >= fls && brindle - fls <= 1; }

// FAT's times are local: both read them in a zone three hours east of UTC. exFAT's record their
// offset from UTC, which The Sleuth Kit 4.11 does not apply and Brindle does: they are compared
// in UTC, the zone the test images were written in.
TEST(EvidenceCli, TheBodyFileMatchesFlsEntryForEntry) {
  if (!HaveTool("fls")) GTEST_SKIP() << "needs fls (sleuthkit)";
  const Cli cli;
  for (const Image& image : Images()) {
    SCOPED_TRACE(image.name);
    ScopedTimeZone zone(image.name == "FAT32" ? "XYZ-3" : "UTC0");
    const CliResult body = cli.Run({"ls", "-r", "--bodyfile", image.path});
    ASSERT_EQ(body.code, 0) << body.err;
    const auto ours = BodyEntries(body.out, false);
    const auto theirs = BodyEntries(RunCommand("fls -r -m 1: " + ShellQuote(image.path)), true);
    std::set<std::string> names;
    for (const auto& [name, entry] : ours) names.insert(name);
    for (const auto& [name, entry] : theirs) names.insert(name);
    size_t deleted = 0;
    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const auto a = ours.find(name);
      const auto b = theirs.find(name);
      ASSERT_TRUE(a != ours.end()) << "only fls lists it";
      ASSERT_TRUE(b != theirs.end()) << "only Brindle lists it";
      EXPECT_EQ(a->second.mode, b->second.mode);
      // A deleted folder's chain is lost: fls counts one cluster of it, Brindle the slots it
      // reads back from the free clusters.
      if (a->second.mode.starts_with("d/") && name.ends_with(" (deleted)")) {
        EXPECT_LE(a->second.size, b->second.size);
      } else {
        EXPECT_EQ(a->second.size, b->second.size);
      }
      EXPECT_TRUE(SameTime(a->second.atime, b->second.atime)) << a->second.atime << " " << b->second.atime;
      EXPECT_TRUE(SameTime(a->second.mtime, b->second.mtime)) << a->second.mtime << " " << b->second.mtime;
      EXPECT_EQ(a->second.ctime, b->second.ctime);
      EXPECT_TRUE(SameTime(a->second.crtime, b->second.crtime)) << a->second.crtime << " " << b->second.crtime;
      deleted += name.ends_with(" (deleted)");
    }
    EXPECT_GT(deleted, 0u);
    // And mactime makes a timeline of it.
    TempDir dir;
    WriteFileBytes(dir / "body", Bytes(body.out.begin(), body.out.end()));
    const std::string timeline = RunCommand("mactime -b " + ShellQuote(dir / "body") + " -z UTC");
    EXPECT_GE(Lines(timeline).size(), ours.size());
  }
}

// Reads each file's byte runs from the image and checks them against its DFXML hash and size:
// prints "checked N" and a line per file that does not agree.
constexpr const char* kDfxmlCheck = R"PY(
import hashlib, sys, xml.etree.ElementTree as ET
ns = {'d': 'http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML'}
image = open(sys.argv[1], 'rb')
root = ET.parse(sys.argv[2]).getroot()
checked = 0
objects = root.findall('.//d:fileobject', ns)
for fo in objects:
    if fo.find('d:name_type', ns).text != 'r':
        continue
    data = b''
    for run in fo.findall('d:byte_runs/d:byte_run', ns):
        length = int(run.get('len'))
        if run.get('fill') is not None:
            data += bytes(length)
        else:
            image.seek(int(run.get('img_offset')))
            data += image.read(length)
    name = fo.find('d:filename', ns).text
    if len(data) != int(fo.find('d:filesize', ns).text):
        print('size', name, len(data))
    if hashlib.md5(data).hexdigest() != fo.find("d:hashdigest[@type='MD5']", ns).text:
        print('md5', name)
    checked += 1
print('checked', checked, 'of', len(objects))
)PY";

TEST(EvidenceCli, DfxmlParsesAndItsByteRunsReadBackTheFiles) {
  if (!HaveTool("python3")) GTEST_SKIP() << "needs python3";
  const Cli cli;
  for (const Image& image : Images()) {
    SCOPED_TRACE(image.name);
    const CliResult report = cli.Run({"report", "--dfxml", "--algorithm", "md5", image.path});
    ASSERT_EQ(report.code, 0) << report.err;
    TempDir dir;
    WriteFileBytes(dir / "report.xml", Bytes(report.out.begin(), report.out.end()));
    WriteFileBytes(dir / "check.py", Bytes(kDfxmlCheck, kDfxmlCheck + std::strlen(kDfxmlCheck)));
    const std::string result =
        RunCommand("python3 " + ShellQuote(dir / "check.py") + " " + ShellQuote(image.path) + " " + ShellQuote(dir / "report.xml"));
    const size_t entries = Lines(cli.Run({"ls", "-r", image.path}).out).size();
    const size_t files = FileIndexes(cli, image.path).size();
    EXPECT_EQ(result, "checked " + std::to_string(files) + " of " + std::to_string(entries) + "\n");
  }
}

constexpr const char* kCsvCheck = R"PY(
import csv, sys
rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))
print(','.join(rows[0]))
print(len(rows) - 1, sum(1 for row in rows[1:] if len(row) == len(rows[0])))
)PY";

TEST(EvidenceCli, TheCsvTableHasOneRowPerEntry) {
  if (!HaveTool("python3")) GTEST_SKIP() << "needs python3";
  const Cli cli;
  const std::string image = SharedFatImage(32).path;
  const CliResult table = cli.Run({"ls", "-r", "--csv", image});
  ASSERT_EQ(table.code, 0) << table.err;
  TempDir dir;
  WriteFileBytes(dir / "table.csv", Bytes(table.out.begin(), table.out.end()));
  WriteFileBytes(dir / "check.py", Bytes(kCsvCheck, kCsvCheck + std::strlen(kCsvCheck)));
  const size_t entries = Lines(cli.Run({"ls", "-r", image}).out).size();
  EXPECT_EQ(RunCommand("python3 " + ShellQuote(dir / "check.py") + " " + ShellQuote(dir / "table.csv")),
            "index,path,name,state,size,modified,created,accessed,attributes,folder\n" + std::to_string(entries) + " " +
                std::to_string(entries) + "\n");
  EXPECT_EQ(cli.Run({"ls", "--csv", "--json", image}).code, 2);
}

}  // namespace
