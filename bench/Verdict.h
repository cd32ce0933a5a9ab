#pragma once
// Judging a benchmark's figures against its target, apart from Google Benchmark so that the
// judging can be tested on its own.

#include <map>
#include <string>
#include <vector>

namespace bench {

struct Spread {
  double median = 0;
  double min = 0;
  double max = 0;
};

// Median, smallest and largest of values; all 0 when there are none.
Spread SpreadOf(std::vector<double> values);

// The figures of one benchmark: each counter's value and the time per iteration in
// milliseconds, one entry per repetition.
struct Figures {
  std::map<std::string, std::vector<double>> counters;
  std::vector<double> times;
};

struct Verdict {
  bool met = false;
  std::string text;  // the figures with their spread and the target, a line or three
};

// The target is told by the counters the benchmark sets:
// - "ratio" (GetData): the median ratio to the plain read is 0.5 or more;
// - "entries" (ReadChildren): the median time is under 50 ms;
// - "limit_MiB" (save memory): the largest "peak_MiB" is within the limit;
// - "speed_vs_icat" (cat): the median of icat's time over cat's is 3 or more, and the median of
//   cat's time over dd's ("time_vs_dd") is 2 or less;
// - "speed_vs_tsk" (recover): the median of tsk_recover's time over recover's is 1 or more.
// Figures that fit none of these are a failure: a benchmark must not pass unjudged.
Verdict Judge(const Figures& figures);

}  // namespace bench
