#include "bench/ChildPeak.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

extern char** environ;

namespace bench {

ChildPeak MeasureChild(const std::string& helperPath, const std::vector<std::string>& command) {
  ChildPeak peak;
  std::vector<std::string> words{helperPath};
  words.insert(words.end(), command.begin(), command.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
    peak.error = std::string("pipe: ") + std::strerror(errno);
    return peak;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    peak.error = helperPath + ": " + std::strerror(spawned);
    return peak;
  }
  std::string output;
  char chunk[256];
  for (;;) {
    const ssize_t got = ::read(pipeFds[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(chunk, static_cast<size_t>(got));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (std::sscanf(output.c_str(), "%ld %d %ld", &peak.peakKib, &peak.status, &peak.helperKib) != 3) {
    peak.error = helperPath + " gave no figures";
  }
  return peak;
}

}  // namespace bench
