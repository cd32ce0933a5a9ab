#include "save/SaveEntry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/mount.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <new>

#include "support/TestFiles.h"

namespace {

// An entry that streams given bytes in pieces, or fails to allocate them; beforePiece runs
// before each piece is handed over.
class FakeEntry final : public TDirectoryEntry {
 public:
  FakeEntry(std::string entryName, Bytes content, uint32_t recordedSize)
      : TDirectoryEntry(nullptr), content_(std::move(content)) {
    name = std::move(entryName);
    size = recordedSize;
  }
  bool throwBadAlloc = false;
  uint64_t askedFor = 0xFFFFFFFF;
  size_t pieceBytes = 1000;
  std::function<void(size_t piece)> beforePiece;

  bool StreamData(ByteSink& sink, uint64_t limit) override {
    askedFor = limit;
    if (throwBadAlloc) throw std::bad_alloc();
    const size_t total = limit == 0 ? content_.size() : std::min<size_t>(limit, content_.size());
    for (size_t done = 0, piece = 0; done < total; ++piece) {
      if (beforePiece) beforePiece(piece);
      const size_t n = std::min(pieceBytes, total - done);
      if (!sink.Write(content_.data() + done, n)) return false;
      done += n;
    }
    return true;
  }

 private:
  Bytes content_;
};

struct SaveFixture : ::testing::Test {
  // Options whose replace question is answered yes or no, and noted in asked.
  SaveOptions Answering(bool yes) {
    SaveOptions options;
    options.replace = [this, yes](const std::string& path) {
      asked.push_back(path);
      return yes;
    };
    return options;
  }

  TempDir dir;
  std::vector<std::string> asked;
};

TEST_F(SaveFixture, NamesFromTheMediumNeverLeaveTheChosenFolder) {
  struct Case {
    std::string name;
    std::string saved;
  } cases[] = {
      {"../../etc/passwd", ".._.._etc_passwd"},
      {"..", "_"},
      {".", "_"},
      {"", "_"},
      {std::string("a\0b", 3), "a_b"},
      {"LETTER.TXT", "LETTER.TXT"},
      {"Données été.txt - DONNE~1.TXT", "Données été.txt - DONNE~1.TXT"},
      {" AME1.BIN", "_AME1.BIN"},  // a blank at either end, which a listing of files hides
      {"NAME ", "NAME_"},
      {" ", "_"},
  };
  const std::string folder = dir / "a/b/out";
  std::filesystem::create_directories(folder);
  for (const Case& c : cases) {
    FakeEntry entry(c.name, Bytes{1, 2, 3}, 3);
    const SaveResult result = SaveEntry(entry, folder);
    EXPECT_EQ(result.outcome, SaveOutcome::kSaved) << c.saved;
    EXPECT_EQ(result.path, folder + "/" + c.saved);
    EXPECT_EQ(result.path, SaveTargetPath(entry, folder));
    EXPECT_EQ(result.bytes, 3u);
    EXPECT_EQ(ReadFileBytes(result.path), (Bytes{1, 2, 3})) << c.saved;
    EXPECT_EQ(FolderContents(folder), std::vector<std::string>{c.saved});
    std::filesystem::remove(result.path);
  }
  EXPECT_EQ(FolderContents(dir / "a"), std::vector<std::string>{"b"});
  EXPECT_EQ(FolderContents(dir / "a/b"), std::vector<std::string>{"out"});
}

// The moments recorded times stand for: at their UTC offset where one is recorded, else in the
// local time zone (here three hours east of UTC); hundredths beyond a second carry over.
TEST(MomentOfTest, RecordedTimesAreMomentsAtTheirOffsetOrInLocalTime) {
  ScopedTimeZone zone("XYZ-3");
  constexpr time_t kUtc = 1239810778;  // 2009-04-15 15:52:58 UTC
  struct Case {
    RecordedTime time;
    std::optional<timespec> moment;
  } cases[] = {
      {{{2009, 4, 15, 15, 52, 58}, 0, std::nullopt}, timespec{kUtc - 3 * 3600, 0}},
      {{{2009, 4, 15, 15, 52, 58}, 0, 0}, timespec{kUtc, 0}},
      {{{2009, 4, 15, 15, 52, 58}, 0, -150}, timespec{kUtc + 150 * 60, 0}},
      {{{2009, 4, 15, 15, 52, 58}, 137, 60}, timespec{kUtc - 3600 + 1, 370'000'000}},
      {{{2024, 2, 29, 0, 0, 0}, 0, 0}, timespec{1709164800, 0}},
      {{{2023, 2, 29, 0, 0, 0}, 0, 0}, std::nullopt},
      {{{1980, 0, 0, 0, 0, 0}, 0, std::nullopt}, std::nullopt},
      {{{2009, 13, 1, 0, 0, 0}, 0, std::nullopt}, std::nullopt},
      {{{2009, 4, 15, 24, 0, 0}, 0, std::nullopt}, std::nullopt},
      {{{2009, 4, 15, 12, 60, 0}, 0, std::nullopt}, std::nullopt},
      {{{2009, 4, 15, 12, 0, 62}, 0, std::nullopt}, std::nullopt},
  };
  for (const Case& c : cases) {
    const DosDateTime& s = c.time.stamp;
    SCOPED_TRACE(std::to_string(s.year) + "/" + std::to_string(s.month) + "/" + std::to_string(s.day) + " " +
                 std::to_string(s.hour) + ":" + std::to_string(s.minute) + ":" + std::to_string(s.seconds));
    const std::optional<timespec> moment = MomentOf(c.time);
    ASSERT_EQ(moment.has_value(), c.moment.has_value());
    if (!moment) continue;
    EXPECT_EQ(moment->tv_sec, c.moment->tv_sec);
    EXPECT_EQ(moment->tv_nsec, c.moment->tv_nsec);
  }
}

// The command line names a saved copy and stamps it with a time; the window's save takes the
// caption and leaves the time of saving.
TEST_F(SaveFixture, ASaveNameNamesTheFileAndGivesItsTime) {
  FakeEntry entry("Letter.txt - LETTER.TXT", Bytes{1, 2}, 2);
  const timespec recorded{1239810778, 370'000'000};
  SaveOptions options;
  options.as = SaveName{"Letter.txt", recorded};
  SaveResult result = SaveEntry(entry, dir.path(), options);
  ASSERT_EQ(result.outcome, SaveOutcome::kSaved);
  std::string path = result.path;
  EXPECT_EQ(path, dir / "Letter.txt");
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, recorded.tv_sec);
  EXPECT_EQ(info.st_mtim.tv_nsec, recorded.tv_nsec);

  TakenNames names;
  result = SaveEntryAsNewFile(entry, dir.path(), names, SaveName{"Letter.txt", recorded});
  ASSERT_EQ(result.outcome, SaveOutcome::kSaved);
  path = result.path;
  EXPECT_EQ(path, dir / "Letter (1).txt");
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mtim.tv_sec, recorded.tv_sec);

  const time_t before = ::time(nullptr);
  result = SaveEntry(entry, dir.path());
  ASSERT_EQ(result.outcome, SaveOutcome::kSaved);
  path = result.path;
  EXPECT_EQ(path, dir / "Letter.txt - LETTER.TXT");
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_GE(info.st_mtim.tv_sec, before);
}

TEST_F(SaveFixture, ALongNameIsShortenedKeepingItsExtensionAndWholeCharacters) {
  std::string name;
  for (int i = 0; i < 200; ++i) name += "é";  // 400 bytes
  const std::string safe = SafeFileName(name + ".jpeg");
  EXPECT_LE(safe.size(), kMaxFileNameBytes);
  EXPECT_EQ(safe.substr(safe.size() - 5), ".jpeg");
  EXPECT_EQ(safe.size() % 2, 1u);  // whole two-byte characters plus ".jpeg"
  FakeEntry entry(name + ".jpeg", Bytes{7}, 1);
  EXPECT_EQ(SaveEntry(entry, dir.path()).outcome, SaveOutcome::kSaved);
}

TEST_F(SaveFixture, AnExistingFileIsReplacedOnlyWhenTheUserSaysYes) {
  const std::string target = dir / "A.TXT";
  WriteFileBytes(target, Bytes{9, 9});
  FakeEntry entry("A.TXT", Bytes{1, 2, 3, 4}, 4);

  EXPECT_EQ(SaveEntry(entry, dir.path()).outcome, SaveOutcome::kDeclined);  // nobody to ask: not replaced
  EXPECT_EQ(SaveEntry(entry, dir.path(), Answering(false)).outcome, SaveOutcome::kDeclined);
  EXPECT_EQ(ReadFileBytes(target), (Bytes{9, 9}));
  EXPECT_EQ(asked, std::vector<std::string>{target});
  EXPECT_EQ(ReplaceQuestion(target), "The file \"" + target + "\" already exists.\nDo you want to replace it?");
  EXPECT_EQ(entry.askedFor, 0xFFFFFFFFu);  // declined before anything was read

  EXPECT_EQ(SaveEntry(entry, dir.path(), Answering(true)).outcome, SaveOutcome::kSaved);
  EXPECT_EQ(ReadFileBytes(target), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(entry.askedFor, 0u);  // all of it
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"A.TXT"});  // no temporary file left
}

// What the entry delivers is written and said to be short when it is fewer bytes than the entry
// states; an entry that delivers none of the bytes it states is not written at all, as an empty
// file would pass for a recovered one, while an empty file is saved as the empty file it is.
TEST_F(SaveFixture, WritesWhatTheEntryDeliversAndSaysWhenItIsShort) {
  FakeEntry empty("EMPTY.DAT", Bytes{}, 0);
  SaveResult result = SaveEntry(empty, dir.path());
  EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
  EXPECT_FALSE(Incomplete(result));
  EXPECT_TRUE(FileExists(dir / "EMPTY.DAT"));
  EXPECT_TRUE(ReadFileBytes(dir / "EMPTY.DAT").empty());

  FakeEntry deleted("_ELETED.BIN", PatternBytes(1000, 3), 5000);  // delivers fewer than its size
  result = SaveEntry(deleted, dir.path());
  EXPECT_EQ(result.outcome, SaveOutcome::kSaved);
  EXPECT_TRUE(Incomplete(result));
  EXPECT_EQ(IncompleteSaveText(result), "The file \"" + dir / "_ELETED.BIN" +
                                            "\" was saved, but it is incomplete:\nshort: 1000 of 5000 bytes (its chain "
                                            "ends before its size does).");
  EXPECT_EQ(ReadFileBytes(dir / "_ELETED.BIN"), PatternBytes(1000, 3));

  FakeEntry gone("_ONE.BIN", Bytes{}, 5000);
  result = SaveEntry(gone, dir.path());
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(result.reason, "None of its data can be read: its chain ends before its size does.");
  TakenNames names;
  EXPECT_EQ(SaveEntryAsNewFile(gone, dir.path(), names).outcome, SaveOutcome::kFailed);
  EXPECT_EQ(FolderContents(dir.path()), (std::vector<std::string>{"EMPTY.DAT", "_ELETED.BIN"}));
}

TEST_F(SaveFixture, FailuresAreReportedAndNeverDestroyTheFileToBeReplaced) {
  const std::string target = dir / "KEEP.TXT";
  WriteFileBytes(target, Bytes{5, 5, 5});
  FakeEntry entry("KEEP.TXT", Bytes{1}, 1);
  entry.throwBadAlloc = true;
  SaveResult result = SaveEntry(entry, dir.path(), Answering(true));
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(ReadFileBytes(target), (Bytes{5, 5, 5}));
  EXPECT_EQ(SaveFailureText(result),
            "The file \"" + target + "\" could not be saved:\nThere is not enough memory to hold its data.");

  // A folder nobody may write to, not even root.
  const std::string unwritable = ::geteuid() == 0 ? "/sys" : dir / "locked";
  if (::geteuid() != 0) {
    std::filesystem::create_directory(unwritable);
    ::chmod(unwritable.c_str(), 0500);
  }
  FakeEntry other("NEW.TXT", Bytes{1}, 1);
  result = SaveEntry(other, unwritable);
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(SaveFailureText(result), "The file \"" + unwritable + "/NEW.TXT\" could not be saved:\nPermission denied");

  result = SaveEntry(other, dir / "no-such-folder");
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(result.reason, "No such file or directory");
}

// Names taken in this run are passed over without asking the folder; names the folder holds
// already (a file of an earlier run, a folder) are found there and passed over too.
TEST_F(SaveFixture, SavingAsANewFileNumbersClashingNames) {
  WriteFileBytes(dir / "A (1).TXT", Bytes{9});
  std::filesystem::create_directory(dir / "A (3).TXT");
  TakenNames names;
  FakeEntry entry("A.TXT", Bytes{1}, 1);
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) {
    const SaveResult result = SaveEntryAsNewFile(entry, dir.path(), names);
    ASSERT_EQ(result.outcome, SaveOutcome::kSaved);
    EXPECT_EQ(result.bytes, 1u);
    paths.push_back(result.path);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{dir / "A.TXT", dir / "A (2).TXT", dir / "A (4).TXT", dir / "A (5).TXT"}));
  EXPECT_EQ(ReadFileBytes(dir / "A (1).TXT"), Bytes{9});
  EXPECT_EQ(FolderContents(dir.path()),
            (std::vector<std::string>{"A (1).TXT", "A (2).TXT", "A (3).TXT", "A (4).TXT", "A (5).TXT", "A.TXT"}));
}

// Each name remembers the number it got to, so that n copies of one name cost n steps, not n².
TEST(TakenNamesTest, NumbersFollowOnAndFitAFileName) {
  TakenNames names;
  const std::string longName = std::string(300, 'x') + ".jpeg";
  for (const std::string& safe : {std::string("A.TXT"), std::string("README"), std::string(".hidden"), SafeFileName(longName)}) {
    std::vector<std::string> got;
    for (int i = 0; i < 12; ++i) {
      got.push_back(names.FirstFree(safe));
      names.Take(got.back());
    }
    EXPECT_EQ(got[0], safe);
    for (size_t i = 1; i < got.size(); ++i) {
      EXPECT_EQ(got[i], NumberedName(safe, i));
      EXPECT_LE(got[i].size(), kMaxFileNameBytes);
    }
  }
  EXPECT_EQ(NumberedName("A.TXT", 10), "A (10).TXT");
  EXPECT_EQ(NumberedName("README", 2), "README (2)");
  EXPECT_EQ(NumberedName(".hidden", 1), ".hidden (1)");
  const std::string numbered = NumberedName(SafeFileName(longName), 123);
  EXPECT_EQ(numbered.size(), kMaxFileNameBytes);
  EXPECT_TRUE(numbered.ends_with("x (123).jpeg"));
  // A numbered name that an entry of its own took first is passed over.
  names.Take("B (1).TXT");
  names.Take("B.TXT");
  EXPECT_EQ(names.FirstFree("B.TXT"), "B (2).TXT");
}

// The progress callback hears of every piece with the recorded length as the total, and a false
// from it stops the save: nothing is left, and the file it was to replace is untouched.
TEST_F(SaveFixture, CancellingLeavesNothingAndKeepsTheFileToBeReplaced) {
  const Bytes content = PatternBytes(3500, 4);
  FakeEntry entry("BIG.BIN", content, 3500);
  std::vector<std::pair<uint64_t, uint64_t>> heard;
  const auto progress = [&](uint64_t done, uint64_t total) {
    heard.emplace_back(done, total);
    return done < 2000;
  };
  SaveOptions options;
  options.progress = progress;
  EXPECT_EQ(SaveEntry(entry, dir.path(), options).outcome, SaveOutcome::kCancelled);
  EXPECT_EQ(heard, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 3500}, {1000, 3500}, {2000, 3500}}));
  EXPECT_TRUE(FolderContents(dir.path()).empty());

  WriteFileBytes(dir / "BIG.BIN", Bytes{8, 8});
  options = Answering(true);
  options.progress = [](uint64_t, uint64_t) { return false; };
  const SaveResult cancelled = SaveEntry(entry, dir.path(), options);
  EXPECT_EQ(cancelled.outcome, SaveOutcome::kCancelled);
  EXPECT_TRUE(cancelled.reason.empty());
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"BIG.BIN"});
  EXPECT_EQ(ReadFileBytes(dir / "BIG.BIN"), (Bytes{8, 8}));

  heard.clear();
  options.progress = [&](uint64_t done, uint64_t total) {
    heard.emplace_back(done, total);
    return true;
  };
  EXPECT_EQ(SaveEntry(entry, dir.path(), options).outcome, SaveOutcome::kSaved);
  EXPECT_EQ(heard.back(), (std::pair<uint64_t, uint64_t>{3500, 3500}));
  EXPECT_EQ(ReadFileBytes(dir / "BIG.BIN"), content);
}

// A full disk fails the save with the system's reason, leaves no partial file, and never costs
// the file that was to be replaced. Needs root to mount a small tmpfs.
TEST_F(SaveFixture, ADiskFullFailsCleanly) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a tmpfs needs root";
  const std::string small = dir / "small";
  std::filesystem::create_directory(small);
  ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m"), 0) << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{small};

  const Bytes old = PatternBytes(300 * 1024, 5);
  WriteFileBytes(small + "/HUGE.BIN", old);
  FakeEntry entry("HUGE.BIN", PatternBytes(2 << 20, 6), 2 << 20);
  entry.pieceBytes = 64 * 1024;
  SaveResult result = SaveEntry(entry, small, Answering(true));
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(SaveFailureText(result), "The file \"" + small + "/HUGE.BIN\" could not be saved:\nNo space left on device");
  EXPECT_EQ(FolderContents(small), std::vector<std::string>{"HUGE.BIN"});
  EXPECT_EQ(ReadFileBytes(small + "/HUGE.BIN"), old);

  TakenNames names;
  result = SaveEntryAsNewFile(entry, small, names);
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_EQ(result.reason, "No space left on device");
  EXPECT_EQ(FolderContents(small), std::vector<std::string>{"HUGE.BIN"});
}

// The question is asked before the data is read; a file that turns up under the name while
// the save runs was not agreed to, so it stays and the save fails.
TEST_F(SaveFixture, AFileThatAppearsDuringTheSaveIsNotReplaced) {
  FakeEntry entry("LATE.TXT", PatternBytes(3000, 2), 3000);
  entry.beforePiece = [&](size_t piece) {
    if (piece == 1) WriteFileBytes(dir / "LATE.TXT", Bytes{4, 2});
  };
  const SaveResult result = SaveEntry(entry, dir.path(), Answering(true));
  EXPECT_EQ(result.outcome, SaveOutcome::kFailed);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(ReadFileBytes(dir / "LATE.TXT"), (Bytes{4, 2}));
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"LATE.TXT"});
  EXPECT_EQ(SaveFailureText(result), "The file \"" + (dir / "LATE.TXT") + "\" could not be saved:\nFile exists");
}

TEST_F(SaveFixture, SavedFilesFollowTheUmask) {
  const mode_t old = ::umask(027);
  FakeEntry entry("MODE.TXT", Bytes{1}, 1);
  EXPECT_EQ(SaveEntry(entry, dir.path()).outcome, SaveOutcome::kSaved);
  ::umask(old);
  struct stat info {};
  ASSERT_EQ(::stat((dir / "MODE.TXT").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
