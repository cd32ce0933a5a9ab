// brindle-lost-bench: the lost-and-found scan of a formatted card beside PhotoRec on the same
// image, in one run: the wall time of each, their ratio (Brindle's time over PhotoRec's; the aim
// is 0.5 or less) and the peak memory of each (Brindle's aim: 128 MiB at most).
//
//   brindle-lost-bench IMAGE

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/ChildRun.h"

namespace {

struct Figures {
  double seconds = 0;
  long peakKib = -1;
  bool ok = false;
};

// Runs command twice: once timed, once under GNU time for its peak.
Figures Measure(const std::vector<std::string>& command, const std::function<void()>& before) {
  Figures figures;
  before();
  const bench::ChildRun run = bench::RunChild(command);
  before();
  const bench::ChildPeak peak = bench::MeasureChild(command);
  figures.seconds = run.seconds;
  figures.peakKib = peak.peakKib;
  figures.ok = run.error.empty() && peak.error.empty() && run.status == 0;
  if (!figures.ok) std::fprintf(stderr, "%s: status %d %s\n", command[0].c_str(), run.status, run.error.c_str());
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: brindle-lost-bench IMAGE\n");
    return 2;
  }
  const std::string image = argv[1];
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "brindle-lost-bench";
  auto clean = [&] {
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
  };
  const Figures brindle = Measure({BRINDLE_CLI_PATH, "recover", "--lost", image, (out / "brindle").string()}, clean);
  const Figures photorec =
      Measure({"photorec", "/log", "/d", (out / "photorec" / "f").string(), "/cmd", image,
               "partition_none,options,keep_corrupted_file_no,fileopt,everything,enable,wholespace,search"},
              clean);
  std::filesystem::remove_all(out);
  std::printf("lost-and-found scan: Brindle %.2f s (peak %ld KiB), PhotoRec %.2f s (peak %ld KiB)\n", brindle.seconds,
              brindle.peakKib, photorec.seconds, photorec.peakKib);
  if (!brindle.ok || !photorec.ok || photorec.seconds <= 0) return 1;
  std::printf("ratio Brindle/PhotoRec: %.2f (aim: 0.50 or less); Brindle's peak %s 128 MiB\n",
              brindle.seconds / photorec.seconds, brindle.peakKib <= 128 * 1024 ? "within" : "OVER");
  return 0;
}
