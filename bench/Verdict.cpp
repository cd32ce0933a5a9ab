#include "bench/Verdict.h"

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

Spread Of(const Figures& figures, const std::string& counter) {
  const auto found = figures.counters.find(counter);
  return found == figures.counters.end() ? Spread{} : SpreadOf(found->second);
}

bool Has(const Figures& figures, const std::string& counter) {
  const auto found = figures.counters.find(counter);
  return found != figures.counters.end() && !found->second.empty();
}

// "median [min .. max]" with the given number of decimals.
std::string Text(const Spread& spread, int decimals) {
  char text[96];
  std::snprintf(text, sizeof text, "%.*f [%.*f .. %.*f]", decimals, spread.median, decimals, spread.min, decimals,
                spread.max);
  return text;
}

std::string LoadText(const Figures& figures) { return "; other_cores " + Text(Of(figures, "other_cores"), 2); }

Verdict JudgeDataRead(const Figures& figures) {
  const Spread ratio = Of(figures, "ratio");
  return {ratio.median >= 0.5,
          "GetData " + Text(Of(figures, "MB/s"), 0) + " MB/s; plain pread into fresh memory " +
              Text(Of(figures, "pread_MB/s"), 0) + " MB/s,\n  into memory used before " +
              Text(Of(figures, "warm_pread_MB/s"), 0) + " MB/s\n  ratio to pread " + Text(ratio, 2) +
              " (target: 0.5 or more)" + LoadText(figures)};
}

Verdict JudgeDirectoryRead(const Figures& figures) {
  const Spread time = SpreadOf(figures.times);
  char entries[32];
  std::snprintf(entries, sizeof entries, "%.0f", Of(figures, "entries").median);
  return {!figures.times.empty() && time.median < 50,
          Text(time, 1) + " ms per read of " + entries + " entries (target: under 50 ms)" + LoadText(figures)};
}

Verdict JudgeSaveMemory(const Figures& figures) {
  const Spread peak = Of(figures, "peak_MiB");
  const double limit = Of(figures, "limit_MiB").max;
  char limitText[96];
  std::snprintf(limitText, sizeof limitText, " (limit %.0f MiB, judged on the largest)", limit);
  return {Has(figures, "peak_MiB") && peak.max <= limit,
          "peak " + Text(peak, 1) + " MiB" + limitText + LoadText(figures)};
}

// The whole command against The Sleuth Kit's and against dd's plain read of the same bytes.
Verdict JudgeCat(const Figures& figures) {
  const Spread icat = Of(figures, "speed_vs_icat");
  const Spread dd = Of(figures, "time_vs_dd");
  return {Has(figures, "time_vs_dd") && icat.median >= 3 && dd.median <= 2,
          "cat " + Text(Of(figures, "MB/s"), 0) + " MB/s, icat " + Text(Of(figures, "icat_MB/s"), 0) +
              " MB/s, dd " + Text(Of(figures, "dd_MB/s"), 0) + " MB/s\n  icat's time over cat's " + Text(icat, 2) +
              " (target: 3 or more); cat's time over dd's " + Text(dd, 2) + " (target: 2 or less)" +
              LoadText(figures)};
}

Verdict JudgeRecover(const Figures& figures) {
  const Spread tsk = Of(figures, "speed_vs_tsk");
  return {tsk.median >= 1,
          "recover " + Text(Of(figures, "files/s"), 0) + " files/s, tsk_recover " +
              Text(Of(figures, "tsk_files/s"), 0) + " files/s\n  tsk_recover's time over recover's " + Text(tsk, 2) +
              " (target: 1 or more)" + LoadText(figures)};
}

// Brindle's time against another tool's for the same bytes: no slower (1 or more).
Verdict JudgeBeside(const Figures& figures, const std::string& what, const std::string& tool) {
  const Spread speed = Of(figures, "speed_vs_" + tool);
  return {speed.median >= 1,
          what + " " + Text(Of(figures, "MB/s"), 0) + " MB/s, " + tool + " " + Text(Of(figures, tool + "_MB/s"), 0) +
              " MB/s\n  " + tool + "'s time over Brindle's " + Text(speed, 2) + " (target: 1 or more)" +
              LoadText(figures)};
}

}  // namespace

Spread SpreadOf(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  spread.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  spread.min = values.front();
  spread.max = values.back();
  return spread;
}

Verdict Judge(const Figures& figures) {
  if (Has(figures, "ratio")) return JudgeDataRead(figures);
  if (Has(figures, "entries")) return JudgeDirectoryRead(figures);
  if (Has(figures, "limit_MiB")) return JudgeSaveMemory(figures);
  if (Has(figures, "speed_vs_icat")) return JudgeCat(figures);
  if (Has(figures, "speed_vs_tsk")) return JudgeRecover(figures);
  if (Has(figures, "speed_vs_ewfexport")) return JudgeBeside(figures, "cat out of the E01", "ewfexport");
  if (Has(figures, "speed_vs_sha256sum")) return JudgeBeside(figures, "hash", "sha256sum");
  return {false, "no figures that a target is judged by"};
}

}  // namespace bench
