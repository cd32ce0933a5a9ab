// brindle-bench-rss COMMAND [ARGS...]: runs the command and prints, on one line, its peak
// resident memory in KiB (ru_maxrss from wait4), its exit status, and this process's own peak,
// which is a floor under the first figure: "maxrss_kib status self_kib". The command's standard
// output is thrown away; its standard error is left alone.
//
// The measuring has to happen in a small process of its own: a child's ru_maxrss also counts
// the memory of the process it was forked or spawned from, so a benchmark process that has
// just read 512 MiB cannot measure a child directly.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// This process's own peak (VmHWM), which the command starts from before its exec. getrusage
// would not do: it also counts the process this one was spawned from.
long OwnPeakKib() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
  }
  std::fclose(status);
  return kib;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: brindle-bench-rss COMMAND [ARGS...]\n");
    return 2;
  }
  const pid_t child = ::fork();
  if (child < 0) {
    std::fprintf(stderr, "brindle-bench-rss: fork: %s\n", std::strerror(errno));
    return 1;
  }
  if (child == 0) {
    // The command's own output would mix with the figures; its errors still show.
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) ::dup2(null, STDOUT_FILENO);
    ::execv(argv[1], argv + 1);
    std::fprintf(stderr, "brindle-bench-rss: %s: %s\n", argv[1], std::strerror(errno));
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage {};
  while (::wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "brindle-bench-rss: wait4: %s\n", std::strerror(errno));
      return 1;
    }
  }
  std::printf("%ld %d %ld\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
              OwnPeakKib());
  return 0;
}
