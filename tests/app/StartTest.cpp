// What `brindle` makes of its command line, and that --help, --version, bad arguments and a
// missing display are answered on the terminal, without a display and without the toolkit's
// abort.

#include "app/StartOptions.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TestFiles.h"

namespace {

CommandLine Read(std::vector<const char*> args) {
  args.insert(args.begin(), "brindle");
  return ReadCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandLineTest, AnImageWithItsSectorSizeOrNothingStartsTheWindow) {
  CommandLine command = Read({});
  EXPECT_TRUE(command.startWindow);
  EXPECT_EQ(command.options.image, std::nullopt);
  EXPECT_EQ(command.options.sectorSize, "512");
  EXPECT_EQ(command.options.codePage, "437");

  command = Read({"card.img", "--sector-size", "4096", "--codepage", "cp850"});
  EXPECT_TRUE(command.startWindow);
  EXPECT_EQ(command.options.image, "card.img");
  EXPECT_EQ(command.options.sectorSize, "4096");
  EXPECT_EQ(command.options.codePage, "cp850");

  command = Read({"--sector-size=2048", "--", "-odd name.img"});
  EXPECT_TRUE(command.startWindow);
  EXPECT_EQ(command.options.image, "-odd name.img");
  EXPECT_EQ(command.options.sectorSize, "2048");
}

TEST(CommandLineTest, MistakesAreAnsweredWithoutTheWindow) {
  for (const std::vector<const char*>& wrong : std::vector<std::vector<const char*>>{
           {"a.img", "b.img"}, {"--sector-size", "100", "a.img"}, {"--sector-size", "lots"}, {"--bogus"},
           {"a.img", "--codepage", "utf-8"}, {"--codepage", "klingon", "a.img"}}) {
    const CommandLine command = Read(wrong);
    EXPECT_FALSE(command.startWindow);
    EXPECT_EQ(command.exitCode, kExitUsage);
    EXPECT_NE(command.errorText.find("Try 'brindle --help'"), std::string::npos) << command.errorText;
  }
}

TEST(DisplayTest, AWindowNeedsTheDisplayItsPlatformUses) {
  const struct {
    const char* platform;
    const char* display;
    const char* wayland;
    bool available;
  } cases[] = {
      {nullptr, nullptr, nullptr, false},
      {nullptr, "", "", false},
      {nullptr, ":0", nullptr, true},
      {nullptr, nullptr, "wayland-0", true},
      {"xcb", nullptr, "wayland-0", false},
      {"xcb", ":99", nullptr, true},
      {"wayland", ":0", nullptr, false},
      {"wayland-egl", nullptr, "wayland-0", true},
      {"wayland;xcb", ":0", nullptr, true},
      {"offscreen", nullptr, nullptr, true},
      {"vnc:size=800x600", nullptr, nullptr, true},
      {"", ":0", nullptr, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DisplayAvailable(c.platform, c.display, c.wayland), c.available)
        << (c.platform ? c.platform : "(unset)") << " " << (c.display ? c.display : "(unset)") << " "
        << (c.wayland ? c.wayland : "(unset)");
  }
}

// Runs the program without any display, as on a server or in CI.
struct ProgramRun {
  int code = -1;
  std::string out, err;
};

ProgramRun RunWithoutDisplay(const std::vector<std::string>& args) {
  TempDir scratch;
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + ShellQuote(BRINDLE_APP_PATH);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  command += " >" + ShellQuote(scratch / "out") + " 2>" + ShellQuote(scratch / "err") + " </dev/null";
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const Bytes out = ReadFileBytes(scratch / "out"), err = ReadFileBytes(scratch / "err");
  run.out.assign(out.begin(), out.end());
  run.err.assign(err.begin(), err.end());
  return run;
}

TEST(ProgramTest, WithoutADisplayItAnswersHelpAndVersionAndSaysHowToGetAWindow) {
  ProgramRun run = RunWithoutDisplay({"--version"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.rfind(std::string("brindle ") + BRINDLE_VERSION, 0), 0u) << run.out;

  run = RunWithoutDisplay({"--help"});
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(run.out.rfind("Usage: brindle [IMAGE] [--sector-size N] [--codepage NAME]\n", 0), 0u) << run.out;

  run = RunWithoutDisplay({"card.img"});
  EXPECT_EQ(run.code, kExitNoDisplay);
  EXPECT_EQ(run.err, kNoDisplayMessage);
  EXPECT_EQ(run.out, "");

  run = RunWithoutDisplay({"--sector-size", "3"});
  EXPECT_EQ(run.code, kExitUsage);
  EXPECT_NE(run.err.find("--sector-size"), std::string::npos) << run.err;
}

}  // namespace
