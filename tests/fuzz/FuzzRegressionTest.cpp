// The fuzz targets' seeds and every input the fuzzers ever found a fault with, run through the
// same harness in the ordinary test builds, where the sanitizer build checks them too. A seed
// that no longer opens a volume teaches the fuzzer nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fuzz/CarveHarness.h"
#include "fuzz/Harness.h"
#include "support/TestFiles.h"

namespace {

const std::pair<const char*, HarnessVolume> kTargets[] = {
    {"discover", HarnessVolume::kDiscover},
    {"fat", HarnessVolume::kFatAtZero},
    {"exfat", HarnessVolume::kExfatAtZero},
    {"search", HarnessVolume::kSearch},
};

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> inputs;
  if (!std::filesystem::is_directory(folder)) return inputs;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    if (file.is_regular_file()) inputs.push_back(file.path());
  }
  return inputs;
}

HarnessReport RunInput(HarnessVolume volume, const std::filesystem::path& input) {
  const Bytes bytes = ReadFileBytes(input);
  return RunHarness(volume, bytes.data(), bytes.size());
}

// Every seed opens a volume whose root is walked (a fresh volume may hold nothing more), and
// the seeds of each target walk into at least one tree.
TEST(FuzzRegressionTest, EverySeedOpensAVolume) {
  for (const auto& [name, volume] : kTargets) {
    SCOPED_TRACE(name);
    const std::filesystem::path seeds = std::filesystem::path(BRINDLE_FUZZ_DIR) / "corpus" / name;
    const std::vector<std::filesystem::path> inputs = InputsIn(seeds);
    EXPECT_FALSE(inputs.empty()) << "no seeds in " << seeds;
    size_t mostNodes = 0;
    for (const auto& input : inputs) {
      SCOPED_TRACE(input.filename().string());
      const HarnessReport report = RunInput(volume, input);
      EXPECT_GE(report.partitions, 1u);
      EXPECT_GE(report.nodes, report.partitions);
      mostNodes = std::max(mostNodes, report.nodes);
    }
    EXPECT_GT(mostNodes, 10u) << "no seed shows a tree";
  }
}

// The scan target's seeds are volumes with data areas to scan: each reaches its "Lost and
// found", and a seed's lost folders or found files give it more than the node itself.
TEST(FuzzRegressionTest, EveryScanSeedReachesTheLostAndFound) {
  const std::vector<std::filesystem::path> inputs = InputsIn(std::filesystem::path(BRINDLE_FUZZ_DIR) / "corpus" / "scan");
  EXPECT_FALSE(inputs.empty());
  size_t mostLost = 0;
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const Bytes bytes = ReadFileBytes(input);
    const HarnessReport report = RunScanHarness(bytes.data(), bytes.size());
    EXPECT_GE(report.lostNodes, report.partitions);
    mostLost = std::max(mostLost, report.lostNodes);
  }
  EXPECT_GT(mostLost, 1u) << "no seed gives the scan anything to find";
  for (const auto& input : InputsIn(std::filesystem::path(BRINDLE_FUZZ_DIR) / "regressions" / "scan")) {
    SCOPED_TRACE(input.string());
    const Bytes bytes = ReadFileBytes(input);
    RunScanHarness(bytes.data(), bytes.size());
  }
}

// The search target's seeds are sources whose table or boot sectors are gone: each has a volume
// that only the search finds (at a boundary, at another sector, through a backup boot sector,
// with an inferred geometry, or read with the sector size it states).
TEST(FuzzRegressionTest, EverySearchSeedHasAVolumeOnlyTheSearchFinds) {
  const std::vector<std::filesystem::path> inputs = InputsIn(std::filesystem::path(BRINDLE_FUZZ_DIR) / "corpus" / "search");
  EXPECT_GE(inputs.size(), 5u);
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.filename().string());
    const Bytes bytes = ReadFileBytes(input);
    EXPECT_GE(RunSearchHarness(bytes.data(), bytes.size()).foundBySearch, 1u);
  }
}

// Kept findings live in fuzz/regressions/<target>/; there are none until a fuzzer finds one.
TEST(FuzzRegressionTest, KeptFindingsRunCleanly) {
  for (const auto& [name, volume] : kTargets) {
    for (const auto& input : InputsIn(std::filesystem::path(BRINDLE_FUZZ_DIR) / "regressions" / name)) {
      SCOPED_TRACE(input.string());
      RunInput(volume, input);
    }
  }
}

// Every seed of the carving target is a file of some kind that is recognised from its start
// and measured whole by its own family (a program stream that ends without its end code where
// the bytes end may go on, so it is measured but not whole); kept findings run through the
// harness, whose checks abort on a breach.
TEST(FuzzRegressionTest, CarvingSeedsAreWholeFilesAndFindingsRunCleanly) {
  const std::filesystem::path fuzz(BRINDLE_FUZZ_DIR);
  const std::vector<std::filesystem::path> seeds = InputsIn(fuzz / "corpus" / "carve");
  EXPECT_GE(seeds.size(), 20u);
  for (const auto& input : seeds) {
    SCOPED_TRACE(input.filename().string());
    const Bytes bytes = ReadFileBytes(input);
    const CarveHarnessReport report = RunCarveHarness(bytes.data(), bytes.size());
    EXPECT_TRUE(report.recognised);
    EXPECT_GE(report.measured, 1u);
    if (input.extension() != ".mpg") {
      EXPECT_GE(report.whole, 1u);
    }
  }
  for (const auto& input : InputsIn(fuzz / "regressions" / "carve")) {
    SCOPED_TRACE(input.string());
    const Bytes bytes = ReadFileBytes(input);
    RunCarveHarness(bytes.data(), bytes.size());
  }
}

}  // namespace
