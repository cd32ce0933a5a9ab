#include "bench/ChildRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace bench {

ChildRun RunChild(const std::vector<std::string>& command, int outputFd) {
  ChildRun run;
  std::vector<std::string> words = command;
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outputFd >= 0) posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
  else posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    run.status = 127;
    run.error = command[0] + ": " + std::strerror(spawned);
    return run;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

ChildPeak MeasureChild(const std::vector<std::string>& command) {
  ChildPeak peak;
  char report[] = "/tmp/brindle-bench-time-XXXXXX";
  const int fd = ::mkstemp(report);
  if (fd < 0) {
    peak.error = std::string("mkstemp: ") + std::strerror(errno);
    return peak;
  }
  ::close(fd);
  std::vector<std::string> timed{"/usr/bin/time", "-v", "-o", report};
  timed.insert(timed.end(), command.begin(), command.end());
  const ChildRun run = RunChild(timed);
  std::ifstream in(report);
  std::string line;
  while (std::getline(in, line)) {
    std::sscanf(line.c_str(), " Maximum resident set size (kbytes): %ld", &peak.peakKib);
    std::sscanf(line.c_str(), " Exit status: %d", &peak.status);
  }
  ::unlink(report);
  if (!run.error.empty()) peak.error = run.error;
  else if (peak.peakKib < 0 || peak.status < 0) peak.error = "/usr/bin/time -v gave no figures";
  return peak;
}

}  // namespace bench
