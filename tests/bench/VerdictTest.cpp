// The verdicts that the benchmark summary prints. A verdict that judged the wrong figure, or
// passed a benchmark it could not judge, would report a missed target as met.

#include <gtest/gtest.h>

#include "bench/Verdict.h"

namespace {

using bench::Figures;
using bench::Judge;
using bench::SpreadOf;

TEST(BenchVerdictTest, SpreadIsMedianSmallestAndLargest) {
  const struct {
    std::vector<double> values;
    double median, min, max;
  } rows[] = {
      {{3, 1, 2}, 2, 1, 3},
      {{4, 1, 3, 2}, 2.5, 1, 4},
      {{7}, 7, 7, 7},
      {{}, 0, 0, 0},
  };
  for (const auto& row : rows) {
    const bench::Spread spread = SpreadOf(row.values);
    EXPECT_DOUBLE_EQ(spread.median, row.median);
    EXPECT_DOUBLE_EQ(spread.min, row.min);
    EXPECT_DOUBLE_EQ(spread.max, row.max);
  }
}

Figures DataRead(std::vector<double> ratios) { return Figures{{{"ratio", ratios}, {"MB/s", {200}}}, {}}; }
Figures DirectoryRead(std::vector<double> milliseconds) { return Figures{{{"entries", {20000}}}, milliseconds}; }
Figures SaveMemory(std::vector<double> peaks) { return Figures{{{"peak_MiB", peaks}, {"limit_MiB", {64}}}, {}}; }
Figures Cat(std::vector<double> overIcat, std::vector<double> overDd) {
  return Figures{{{"speed_vs_icat", overIcat}, {"time_vs_dd", overDd}}, {}};
}
Figures Recover(std::vector<double> overTsk) { return Figures{{{"speed_vs_tsk", overTsk}}, {}}; }

TEST(BenchVerdictTest, EachTargetIsJudgedOnItsOwnFigure) {
  const struct {
    const char* what;
    Figures figures;
    bool met;
  } rows[] = {
      // Data reads: the median ratio, so one slow repetition under load does not decide.
      {"ratio median 0.6, one repetition at 0.3", DataRead({0.6, 0.3, 0.7}), true},
      {"ratio exactly 0.5", DataRead({0.5}), true},
      {"ratio median 0.45", DataRead({0.45, 0.9, 0.4}), false},
      // Directory reads: the median time, strictly under 50 ms.
      {"median 45 ms", DirectoryRead({40, 60, 45}), true},
      {"median exactly 50 ms", DirectoryRead({49.9, 50, 51}), false},
      {"no times", DirectoryRead({}), false},
      // Save memory: the largest repetition, at most the limit.
      {"all within the limit", SaveMemory({5, 64}), true},
      {"one repetition over the limit", SaveMemory({5, 5, 64.5}), false},
      {"no memory figure", Figures{{{"limit_MiB", {64}}}, {}}, false},
      // cat: both pairs by their medians; either one missed misses the target.
      {"3 times icat, 1.5 times dd", Cat({3.5, 2.0, 3.0}, {1.5, 2.5, 1.2}), true},
      {"2.9 times icat", Cat({2.9}, {1.0}), false},
      {"2.1 times dd's time", Cat({5}, {2.1, 1.0, 2.2}), false},
      {"no dd figure", Figures{{{"speed_vs_icat", {5}}}, {}}, false},
      // recover: no slower than tsk_recover by median.
      {"as fast as tsk_recover", Recover({1.0}), true},
      {"median 0.95", Recover({0.95, 1.4, 0.9}), false},
      // A benchmark whose counters fit no target fails rather than passes unjudged.
      {"unknown counters", Figures{{{"MB/s", {900}}}, {1}}, false},
      {"no figures", Figures{}, false},
  };
  for (const auto& row : rows) EXPECT_EQ(Judge(row.figures).met, row.met) << row.what;
}

TEST(BenchVerdictTest, TextNamesTheJudgedFigureWithItsSpread) {
  EXPECT_NE(Judge(DataRead({0.61, 0.52, 0.74})).text.find("ratio to pread 0.61 [0.52 .. 0.74]"), std::string::npos);
  EXPECT_NE(Judge(DirectoryRead({12.25, 11.5, 13})).text.find("12.2 [11.5 .. 13.0] ms per read of 20000 entries"),
            std::string::npos);
  EXPECT_NE(Judge(SaveMemory({5.25, 5.5})).text.find("peak 5.4 [5.2 .. 5.5] MiB (limit 64 MiB"), std::string::npos);
  EXPECT_NE(Judge(Cat({4.5, 5.0, 4.0}, {1.25, 1.5, 1.0})).text.find("1.25 [1.00 .. 1.50] (target: 2 or less)"),
            std::string::npos);
}

}  // namespace
