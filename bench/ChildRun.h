#pragma once
// Commands run in child processes for the benchmarks: timed on the steady clock, or measured
// for their peak memory by GNU time.

#include <string>
#include <vector>

namespace bench {

struct ChildRun {
  double seconds = 0;  // from the start to the end of the child, wall clock
  int status = -1;     // its exit status; 127 when it could not be started
  std::string error;   // empty when it ran
};

// Runs command (the program first, looked up in PATH, then its arguments) with its standard
// output going to outputFd, or thrown away when outputFd is -1; standard error is left alone.
ChildRun RunChild(const std::vector<std::string>& command, int outputFd = -1);

struct ChildPeak {
  long peakKib = -1;   // the command's maximum resident set size
  int status = -1;     // its exit status
  std::string error;   // empty when the figures above were read
};

// Runs command under `/usr/bin/time -v` and reads its peak and exit status from the report.
// GNU time forks the command from its own small process, so the size of the process that asks
// does not count towards the figure (a child's peak starts from its parent's at the fork).
ChildPeak MeasureChild(const std::vector<std::string>& command);

}  // namespace bench
