#pragma once
// The peak resident memory of a command run in a child process, measured by the small
// brindle-bench-rss helper (see PeakRss.cpp for why a helper is needed).

#include <string>
#include <vector>

namespace bench {

struct ChildPeak {
  long peakKib = -1;    // the command's ru_maxrss
  int status = -1;      // its exit status; 127 when it could not be started
  long helperKib = -1;  // the helper's own peak, a floor under peakKib
  std::string error;    // empty when the figures above were read
};

// Runs the helper at helperPath with command (the program's path first, then its arguments)
// and reads its one line of figures.
ChildPeak MeasureChild(const std::string& helperPath, const std::vector<std::string>& command);

}  // namespace bench
