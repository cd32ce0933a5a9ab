// Every input the fuzzers ever found a fault with, and the seeds they start from, run through
// the same harness in the ordinary test build.

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/Harness.h"
#include "support/TestFiles.h"

namespace {

void RunEveryInput(const std::string& folder, HarnessVolume volume) {
  if (!std::filesystem::exists(folder)) return;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (!file.is_regular_file()) continue;
    SCOPED_TRACE(file.path().string());
    const Bytes input = ReadFileBytes(file.path());
    RunHarness(volume, input.data(), input.size());
  }
}

TEST(FuzzRegressionTest, KeptInputsRunCleanly) {
  const std::string root = BRINDLE_FUZZ_DIR;
  const std::pair<const char*, HarnessVolume> targets[] = {
      {"discover", HarnessVolume::kDiscover},
      {"fat", HarnessVolume::kFatAtZero},
      {"exfat", HarnessVolume::kExfatAtZero},
  };
  for (const auto& [name, volume] : targets) {
    RunEveryInput(root + "/regressions/" + name, volume);
    RunEveryInput(root + "/corpus/" + name, volume);
  }
}

}  // namespace
