// Runs a command several times as a whole process and prints what it cost.
//
//   process_stats RUNS COMMAND [ARG...]
//
// Each run reads /dev/null and writes its standard output to /dev/null
// (standard error is kept). Prints one line:
//
//   wall_s=MEDIAN cpu_s=MEDIAN peak_kib=MAX
//
// the median wall time (from fork to exit), the median CPU time (user and
// system) and the largest peak resident memory of the runs. Exits with 1
// when a run fails.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double Median(std::vector<double> Values) {
  std::sort(Values.begin(), Values.end());
  const size_t n = Values.size();
  return n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

double Seconds(const timeval& T) { return static_cast<double>(T.tv_sec) + T.tv_usec / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 2 ? std::atoi(argv[1]) : 0;
  if (runs < 1) {
    std::fprintf(stderr, "usage: process_stats RUNS COMMAND [ARG...]\n");
    return 2;
  }
  std::vector<double> wall, cpu;
  long peak = 0;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
      std::perror("process_stats: fork");
      return 1;
    }
    if (child == 0) {
      const int null = open("/dev/null", O_RDWR);
      if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(127);
      execvp(argv[2], argv + 2);
      std::perror("process_stats: exec");
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
      std::perror("process_stats: wait");
      return 1;
    }
    wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "process_stats: %s failed (status %d)\n", argv[2], status);
      return 1;
    }
    cpu.push_back(Seconds(usage.ru_utime) + Seconds(usage.ru_stime));
    peak = std::max(peak, usage.ru_maxrss);
  }
  std::printf("wall_s=%.4f cpu_s=%.4f peak_kib=%ld\n", Median(wall), Median(cpu), peak);
  return 0;
}
