// Damage through brindle-cli, on volumes written byte by byte: every file whose data a broken
// chain, a reused cluster or a source that ends too early cuts short is named with how and why,
// counted, and gives an exit code of its own, and every byte that can be read is still
// delivered. Labels, names and times that the medium holds wrongly are shown for what they are.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliRun.h"
#include "cli/CliSession.h"
#include "support/FatImages.h"
#include "support/HandVolume.h"

namespace {

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Head(const Bytes& bytes, size_t count) { return Bytes(bytes.begin(), bytes.begin() + count); }

// One file of the damaged volume: where it lies in the root, what cat gives of it, how ls marks
// it and what standard error says of it.
struct DamagedFile {
  std::string path;
  Bytes delivered;
  std::string word;      // ls: whole, short or none
  std::string reason;    // ls --json: data.reason
  std::string message;   // after "brindle-cli: " + path + ": "; empty for a whole file
};

// A FAT32 volume of 1 KiB clusters whose root holds a file for every way a chain can break, a
// deleted file whose first cluster another file holds now, and the names, times and labels
// that no tool writes. cases lists the files as cat must give them.
class DamagedVolume {
 public:
  DamagedVolume() : v(32, 64, 2) {
    const uint64_t root = v.RootOffset();
    const uint32_t c = v.ClusterBytes();
    v.image.text(71, "NO NAME    ");  // the placeholder formatters write: no label
    size_t slot = 0;
    const auto file = [&](const std::string& name83, uint32_t first, uint32_t size) {
      v.Slot(root, slot++, name83, 0x20, first, size);
    };

    // 24 -> 25 -> 24.
    file("LOOP    BIN", 24, 4 * c);
    v.SetEntry(24, 25);
    v.SetEntry(25, 24);
    const Bytes loop = Concat({v.FillCluster(24, 1), v.FillCluster(25, 2)});
    Add("1:/LOOP.BIN", loop, "short", "loop",
        "short: 2048 of 4096 bytes (its chain comes back to a cluster it passed)");

    // The chain ends, with an end mark, before the size does; 0xFFFFFFFE is an end mark too.
    file("EARLY   BIN", 26, 3 * c);
    v.Chain({26, 27});
    Add("1:/EARLY.BIN", Concat({v.FillCluster(26, 3), v.FillCluster(27, 4)}), "short", "early-end",
        "short: 2048 of 3072 bytes (its chain ends before its size does)");
    file("ENDMARK BIN", 28, 2 * c);
    v.SetEntry(28, 0xFFFFFFFE);
    Add("1:/ENDMARK.BIN", v.FillCluster(28, 5), "short", "early-end",
        "short: 1024 of 2048 bytes (its chain ends before its size does)");

    // A bad-cluster mark, and a number outside the volume, end the chain.
    file("BADMARK BIN", 29, 2 * c);
    v.SetEntry(29, 0x0FFFFFF7);
    Add("1:/BADMARK.BIN", v.FillCluster(29, 6), "short", "bad-cluster",
        "short: 1024 of 2048 bytes (its chain runs into a bad-cluster mark)");
    file("AWAY    BIN", 30, 2 * c);
    v.SetEntry(30, 9999);
    Add("1:/AWAY.BIN", v.FillCluster(30, 7), "short", "outside-volume",
        "short: 1024 of 2048 bytes (its chain leads outside the volume)");

    // A free entry in a live chain: the rest is read from the clusters that follow, and said to
    // be a guess.
    file("FREE    BIN", 31, 3 * c - 100);
    v.SetEntry(31, 0);
    const Bytes free = Concat({v.FillCluster(31, 8), v.FillCluster(32, 9), Head(v.FillCluster(33, 10), c - 100)});
    Add("1:/FREE.BIN", free, "short", "free-cluster",
        "short: 1024 of 2972 bytes (its chain runs into a free cluster; 1948 bytes more were taken from the "
        "clusters that follow it)");

    // A size of 4 GiB - 1 over a chain of five clusters.
    file("HUGE    BIN", 34, 0xFFFFFFFF);
    v.Chain({34, 35, 36, 37, 38});
    Bytes huge;
    for (uint32_t cluster = 34; cluster <= 38; ++cluster) huge = Concat({huge, v.FillCluster(cluster, cluster)});
    Add("1:/HUGE.BIN", huge, "short", "early-end",
        "short: 5120 of 4294967295 bytes (its chain ends before its size does)");

    // First clusters that hold nothing of the file: outside the volume, 1, and a deleted file's
    // that a live file holds now.
    file("OUTSIDE BIN", 5000, c);
    Add("1:/OUTSIDE.BIN", {}, "none", "outside-volume", "none: 0 of 1024 bytes (its chain leads outside the volume)");
    file("ONE     BIN", 1, c);
    Add("1:/ONE.BIN", {}, "none", "outside-volume", "none: 0 of 1024 bytes (its chain leads outside the volume)");
    file("\xE5" "EUSED  BIN", 40, c);
    Add("1:/_EUSED.BIN", {}, "none", "first-cluster-taken",
        "none: 0 of 1024 bytes (its first cluster belongs to another file now)");
    file("LIVE    BIN", 40, c);
    v.Chain({40});
    Add("1:/LIVE.BIN", v.FillCluster(40, 11), "whole", "", "");

    // An 8.3 name that begins with a blank, a name of blanks only, impossible times.
    file(" AME1   BIN", 41, 100);
    v.Chain({41});
    Add("1:/\\ AME1.BIN", Head(v.FillCluster(41, 12), 100), "whole", "", "");
    file("           ", 42, 50);
    v.Chain({42});
    Add("1:/<no name>", Head(v.FillCluster(42, 13), 50), "whole", "", "");
    file("BADTIME BIN", 43, 10);
    v.Chain({43});
    v.image.u16(root + 32 * (slot - 1) + 22, 0xCBE0).u16(root + 32 * (slot - 1) + 24, 0x3BAF);  // 25:31:00, 2009/13/15
    Add("1:/BADTIME.BIN", Head(v.FillCluster(43, 14), 10), "whole", "", "");

    v.Slot(root, slot++, "\xE5" "ABEL1     ", 0x08);  // a deleted label slot: no label
  }

  std::string Write(const TempDir& dir) const {
    v.image.WriteTo(dir / "damaged.img");
    return dir / "damaged.img";
  }

  std::vector<DamagedFile> cases;

 private:
  void Add(std::string path, Bytes delivered, std::string word, std::string reason, std::string message) {
    cases.push_back({std::move(path), std::move(delivered), std::move(word), std::move(reason), std::move(message)});
  }

  HandVolume v;
};

std::string Said(const DamagedFile& file) { return "brindle-cli: " + file.path + ": " + file.message + "\n"; }

struct Damage : ::testing::Test {
  Cli cli;
  TempDir dir;
  DamagedVolume volume;
};

TEST_F(Damage, CatGivesEveryReadableByteAndSaysWhatIsMissing) {
  const std::string image = volume.Write(dir);
  for (const DamagedFile& file : volume.cases) {
    SCOPED_TRACE(file.path);
    const CliResult r = cli.Run({"cat", image, file.path});
    EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), file.delivered);
    if (file.word == "whole") {
      EXPECT_EQ(r.code, kExitSuccess);
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(r.code, file.word == "short" ? kExitIncomplete : kExitOutput);
      EXPECT_EQ(r.err, Said(file));
    }
  }
}

TEST_F(Damage, ListingsMarkEachFileAndInfoSaysWhy) {
  const std::string image = volume.Write(dir);
  CliResult r = cli.Run({image});
  EXPECT_EQ(r.code, kExitSuccess);
  EXPECT_EQ(r.out, "1: FAT32 partition, no label\n");

  r = cli.Run({"ls", "--json", image});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  std::map<std::string, nlohmann::json> listed;
  for (const nlohmann::json& line : JsonLines(r.out)) listed[line["path"]] = line;
  ASSERT_EQ(listed.size(), volume.cases.size());
  const std::string text = cli.Run({"ls", image}).out;
  for (const DamagedFile& file : volume.cases) {
    SCOPED_TRACE(file.path);
    ASSERT_EQ(listed.count(file.path), 1u);
    const nlohmann::json& data = listed[file.path]["data"];
    EXPECT_EQ(data["kind"], file.word);
    EXPECT_EQ(data["reason"], file.reason);
    if (file.reason != "free-cluster") {
      EXPECT_EQ(data["delivered"], file.delivered.size());
    }
    // The text listing has the word after the size, and the path it prints names the file.
    EXPECT_NE(text.find(" " + std::string(file.word.size() < 5 ? file.word + " " : file.word) + "  "),
              std::string::npos);
    EXPECT_NE(text.find("  " + file.path + "\n"), std::string::npos) << text;
    const CliResult info = cli.Run({"info", image, file.path});
    EXPECT_EQ(info.code, kExitSuccess);
    EXPECT_NE(info.out.find("\nData: " + (file.message.empty() ? "whole" : file.message) + "\n"), std::string::npos)
        << info.out;
  }
  EXPECT_NE(cli.Run({"info", image, "1:/BADTIME.BIN"}).out.find("\nModified date/time: invalid date, invalid time\n"),
            std::string::npos);
}

// A file none of whose data can be had is not saved: it is a failure with its reason; one that
// comes out short is saved, named and counted.
TEST_F(Damage, SaveAndRecoverNameCountAndKeepWhatCanBeRead) {
  const std::string image = volume.Write(dir);
  CliResult r = cli.Run({"save", image, "1:/LOOP.BIN", dir.path()});
  EXPECT_EQ(r.code, kExitIncomplete);
  EXPECT_EQ(r.out, dir / "LOOP.BIN" + "\n");
  EXPECT_EQ(r.err, Said(volume.cases[0]));
  EXPECT_EQ(ReadFileBytes(dir / "LOOP.BIN"), volume.cases[0].delivered);

  r = cli.Run({"save", image, "1:/_EUSED.BIN", dir.path()});
  EXPECT_EQ(r.code, kExitOutput);
  EXPECT_EQ(r.err, "brindle-cli: The file \"" + dir / "_EUSED.BIN" +
                       "\" could not be saved: None of its data can be read: its first cluster belongs to another file "
                       "now.\n");
  EXPECT_FALSE(FileExists(dir / "_EUSED.BIN"));

  const std::string out = dir / "out";
  const time_t before = std::time(nullptr);
  r = cli.Run({"recover", image, out});
  EXPECT_EQ(r.code, kExitOutput);
  uint64_t bytes = 0, saved = 0, incomplete = 0, failures = 0;
  std::string said;
  for (const DamagedFile& file : volume.cases) {
    SCOPED_TRACE(file.path);
    std::string name = file.path.substr(3);
    if (name == "\\ AME1.BIN") name = "_AME1.BIN";
    if (name == "<no name>") name = "_";
    const std::string path = out + "/partition-1/" + name;
    if (file.word == "none") {
      ++failures;
      said += "brindle-cli: The file \"" + path + "\" could not be saved: None of its data can be read: " +
              file.message.substr(file.message.find('(') + 1, file.message.size() - file.message.find('(') - 2) + ".\n";
      EXPECT_FALSE(FileExists(path));
      continue;
    }
    ++saved;
    if (file.word == "short") {
      ++incomplete;
      said += Said(file);
    }
    EXPECT_EQ(ReadFileBytes(path), file.delivered);
    bytes += file.delivered.size();
  }
  EXPECT_EQ(r.out, "Saved " + std::to_string(saved) + " files (" + std::to_string(bytes) + " bytes); " +
                       std::to_string(incomplete) + " incomplete; " + std::to_string(failures) + " failures.\n");
  EXPECT_EQ(r.err, said);
  // An impossible time is not given to the saved file, which keeps the time of saving.
  struct stat info {};
  ASSERT_EQ(::stat((out + "/partition-1/BADTIME.BIN").c_str(), &info), 0);
  EXPECT_GE(info.st_mtime, before);
}

// Recovering files that all come out short, none lost: the summary counts them, the exit code
// is that of "saved, some incomplete".
TEST_F(Damage, RecoverExitsWithItsOwnCodeWhenFilesComeOutShort) {
  HandVolume v(16, 20);
  v.Slot(v.RootOffset(), 0, "LOOP    BIN", 0x20, 3, 3 * HandVolume::kSector);
  v.SetEntry(3, 4);
  v.SetEntry(4, 3);
  const Bytes loop = Concat({v.FillCluster(3, 1), v.FillCluster(4, 2)});
  v.image.WriteTo(dir / "loop.img");
  const CliResult r = cli.Run({"recover", dir / "loop.img", dir / "out"});
  EXPECT_EQ(r.code, kExitIncomplete);
  EXPECT_EQ(r.out, "Saved 1 files (1024 bytes); 1 incomplete; 0 failures.\n");
  EXPECT_EQ(r.err, "brindle-cli: 1:/LOOP.BIN: short: 1024 of 1536 bytes (its chain comes back to a cluster it passed)\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/partition-1/LOOP.BIN"), loop);
}

// What mtools does to a deleted file: a file written after it takes its clusters. The deleted
// file is marked as having nothing left, and recovering it is a failure with the reason, not an
// empty file; the file that holds its clusters now comes out whole.
TEST_F(Damage, ADeletedFileWhoseClustersAToolReusedIsNotSavedEmpty) {
  const std::string image = dir / "reused.img";
  MtoolsVolume tool(image);
  tool.Format("-F 12", 1440);
  tool.MakeDirectory("/D");
  tool.Write("/A.BIN", PatternBytes(3000, 1));
  tool.Delete("/A.BIN");
  tool.Write("/D/B.BIN", PatternBytes(5000, 2));  // from the first free cluster on: A.BIN's
  CliResult r = cli.Run({"ls", "--json", "--deleted", image});
  ASSERT_EQ(r.code, kExitSuccess) << r.err;
  ASSERT_EQ(JsonLines(r.out).size(), 1u);
  EXPECT_EQ(JsonLines(r.out)[0]["data"],
            (nlohmann::json{{"kind", "none"}, {"delivered", 0}, {"expected", 3000}, {"reason", "first-cluster-taken"}}));

  r = cli.Run({"recover", image, dir / "out"});
  EXPECT_EQ(r.code, kExitOutput);
  EXPECT_EQ(r.out, "Saved 1 files (5000 bytes); 0 incomplete; 1 failures.\n");
  EXPECT_EQ(r.err, "brindle-cli: The file \"" + dir / "out/partition-1/_.BIN" +
                       "\" could not be saved: None of its data can be read: its first cluster belongs to another "
                       "file now.\n");
  EXPECT_EQ(FolderContents(dir / "out/partition-1"), std::vector<std::string>{"D"});
  EXPECT_EQ(ReadFileBytes(dir / "out/partition-1/D/B.BIN"), PatternBytes(5000, 2));
}

// A boot sector that claims more sectors than the source holds: the volume is named cut short
// when the source is opened, the listings fail, and what the source holds is still read.
TEST_F(Damage, AVolumeTheSourceCutsShortIsNamedAndItsReadablePartRead) {
  HandVolume v(16, 64, 2);  // 1 KiB clusters
  const uint64_t root = v.RootOffset();
  v.Slot(root, 0, "INSIDE  BIN", 0x20, 3, 1500);
  v.Chain({3, 4});
  const Bytes inside = Head(Concat({v.FillCluster(3, 1), v.FillCluster(4, 2)}), 1500);
  v.Slot(root, 1, "ACROSS  BIN", 0x20, 20, 2048);  // its second cluster lies beyond the end
  v.Chain({20, 21});
  const Bytes across = v.FillCluster(20, 3);
  v.FillCluster(21, 4);
  v.Slot(root, 2, "BEYOND  BIN", 0x20, 30, 1024);
  v.Chain({30});
  Bytes bytes = v.image.bytes();
  bytes.resize(v.ClusterOffset(21));
  WriteFileBytes(dir / "cut.img", bytes);

  const std::string note =
      "brindle-cli: Partition 1: The source ends inside the volume: 45 of its 64 clusters lie beyond its end, and what "
      "they hold is missing.\n";
  CliResult r = cli.Run({dir / "cut.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.out, "1: FAT16 partition, no label\n");
  EXPECT_EQ(r.err, note);
  r = cli.Run({"ls", dir / "cut.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(Lines(r.out).size(), 3u);
  EXPECT_NE(r.out.find(" short  "), std::string::npos);

  r = cli.Run({"info", dir / "cut.img", "1:/"});
  EXPECT_NE(r.out.find("\nWarning: The source ends inside the volume: 45 of its 64 clusters"), std::string::npos)
      << r.out;
  r = cli.Run({"cat", dir / "cut.img", "1:/ACROSS.BIN"});
  EXPECT_EQ(r.code, kExitIncomplete);
  EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), Concat({across, Bytes(1024, 0)}));  // zeros keep the length
  EXPECT_EQ(r.err, note +
                       "brindle-cli: 1:/ACROSS.BIN: short: 1024 of 2048 bytes (part of it lies beyond the end of the "
                       "source; 1024 bytes of zeros stand in for what is missing)\n");

  r = cli.Run({"recover", dir / "cut.img", dir / "out"});
  EXPECT_EQ(r.code, kExitOutput);  // BEYOND.BIN has nothing left
  EXPECT_EQ(r.out, "Saved 2 files (3548 bytes); 1 incomplete; 1 failures.\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/partition-1/INSIDE.BIN"), inside);
  EXPECT_FALSE(FileExists(dir / "out/partition-1/BEYOND.BIN"));

  // Cut inside the root directory: the slots beyond the end are missing, and the listing says
  // that the root was not read whole.
  bytes.resize(root + 512);
  WriteFileBytes(dir / "rootless.img", bytes);
  r = cli.Run({"ls", dir / "rootless.img"});
  EXPECT_EQ(r.code, kExitSource);
  EXPECT_EQ(r.err,
            "brindle-cli: Partition 1: The source ends inside the volume: 64 of its 64 clusters lie beyond its end, and "
            "what they hold is missing. Its root directory lies beyond the end as well: the entries it holds there are "
            "missing.\n"
            "brindle-cli: 1:/: part of it lies beyond the end of the source; the rest of it was not read\n"
            "brindle-cli: 1 directory(ies) not read whole\n");
  EXPECT_EQ(Lines(r.out).size(), 3u);
}

}  // namespace
