// The file a save writes before it has its name: unnamed where the file system allows it,
// named and removed by a signal handler elsewhere. Children are forked and ended by a signal
// in the middle of writing; nothing may be left in the folder.

#include "save/PendingFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/TestFiles.h"

namespace {

bool WriteAll(int fd, const Bytes& bytes) {
  return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

sighandler_t HandlerOf(int signal) {
  struct sigaction action {};
  ::sigaction(signal, nullptr, &action);
  return action.sa_handler;
}

// On this folder's file system (ext4, tmpfs, ...) the file has no name until it is placed; a
// name that is taken is refused and the file stays pending for another.
TEST(PendingFileTest, AnUnnamedFileAppearsOnlyWhenPlacedAndNeverReplaces) {
  TempDir dir;
  WriteFileBytes(dir / "TAKEN", Bytes{7});
  PendingFile file;
  ASSERT_EQ(file.Create(dir.path()), 0);
  if (file.named()) GTEST_SKIP() << "the file system of " << dir.path() << " has no unnamed files";
  ASSERT_TRUE(WriteAll(file.fd(), PatternBytes(100000, 1)));
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"TAKEN"});
  ASSERT_EQ(file.Complete(true), 0);
  EXPECT_EQ(file.Place(dir / "TAKEN", false), EEXIST);
  EXPECT_EQ(ReadFileBytes(dir / "TAKEN"), Bytes{7});
  ASSERT_EQ(file.Place(dir / "NEW", false), 0);
  EXPECT_EQ(ReadFileBytes(dir / "NEW"), PatternBytes(100000, 1));

  PendingFile replacing;
  ASSERT_EQ(replacing.Create(dir.path()), 0);
  ASSERT_TRUE(WriteAll(replacing.fd(), Bytes{1, 2}));
  ASSERT_EQ(replacing.Complete(true), 0);
  ASSERT_EQ(replacing.Place(dir / "TAKEN", true), 0);
  EXPECT_EQ(ReadFileBytes(dir / "TAKEN"), (Bytes{1, 2}));
  EXPECT_EQ(FolderContents(dir.path()), (std::vector<std::string>{"NEW", "TAKEN"}));
}

// A child writes a pending file, tells the parent, and waits; the parent looks at the folder
// and ends the child with the signal. Whichever form the file has, nothing is left.
TEST(PendingFileTest, ASignalInTheMiddleOfWritingLeavesNothing) {
  for (const bool named : {false, true}) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      SCOPED_TRACE(std::string(named ? "named" : "unnamed") + ", signal " + std::to_string(signal));
      TempDir dir;
      int ready[2];
      ASSERT_EQ(::pipe(ready), 0);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        ::close(ready[0]);
        PendingFile file;
        if ((named ? file.CreateNamed(dir.path()) : file.Create(dir.path())) != 0) ::_exit(10);
        if (!WriteAll(file.fd(), PatternBytes(1 << 20, 2))) ::_exit(11);
        const char byte = file.named() ? 'n' : 'u';
        if (::write(ready[1], &byte, 1) != 1) ::_exit(12);
        for (;;) ::pause();
      }
      ::close(ready[1]);
      char form = 0;
      ASSERT_EQ(::read(ready[0], &form, 1), 1);
      ::close(ready[0]);
      const std::vector<std::string> during = FolderContents(dir.path());
      if (form == 'n') {
        ASSERT_EQ(during.size(), 1u);
        EXPECT_TRUE(during[0].starts_with(".brindle-save-")) << during[0];
      } else {
        EXPECT_TRUE(during.empty());
      }
      ASSERT_EQ(::kill(child, signal), 0);
      int status = 0;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
      EXPECT_TRUE(FolderContents(dir.path()).empty());
    }
  }
}

// The handlers are in place only while a named file is pending, and only for signals whose
// action is the default: an ignored signal stays ignored.
TEST(PendingFileTest, HandlersOnlyWhileANamedFileIsPending) {
  TempDir dir;
  const sighandler_t hangUp = ::signal(SIGHUP, SIG_IGN);
  ASSERT_EQ(HandlerOf(SIGTERM), SIG_DFL);
  {
    PendingFile first;
    PendingFile second;
    ASSERT_EQ(first.CreateNamed(dir.path()), 0);
    ASSERT_EQ(second.CreateNamed(dir.path()), 0);
    EXPECT_NE(HandlerOf(SIGTERM), SIG_DFL);
    EXPECT_NE(HandlerOf(SIGINT), SIG_DFL);
    EXPECT_EQ(HandlerOf(SIGHUP), SIG_IGN);
    ASSERT_EQ(first.Complete(false), 0);
    ASSERT_EQ(first.Place(dir / "FIRST", false), 0);
    EXPECT_NE(HandlerOf(SIGTERM), SIG_DFL);  // the second one is still pending
    EXPECT_EQ(FolderContents(dir.path()).size(), 2u);
  }
  EXPECT_EQ(HandlerOf(SIGTERM), SIG_DFL);
  EXPECT_EQ(HandlerOf(SIGINT), SIG_DFL);
  EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{"FIRST"});
  ::signal(SIGHUP, hangUp);
}

}  // namespace
