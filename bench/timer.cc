// timer <runs> [--before <shell command>] -- <command...>: runs the command
// that many times (the --before command, untimed, ahead of each run) and
// prints "<median ms> <min ms> <max RSS KiB>". A run that fails ends it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  int runs = atoi(argv[1]);
  int i = 2;
  std::string before;
  if (strcmp(argv[i], "--before") == 0) {
    before = argv[i + 1];
    i += 2;
  }
  if (strcmp(argv[i], "--") != 0) return 2;
  char** command = argv + i + 1;
  std::vector<double> ms;
  long max_rss = 0;
  for (int r = 0; r < runs; ++r) {
    if (!before.empty() && system(before.c_str()) != 0) return 1;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      execvp(command[0], command);
      _exit(127);
    }
    int status;
    rusage usage;
    wait4(pid, &status, 0, &usage);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "timer: %s failed\n", command[0]);
      return 1;
    }
    max_rss = std::max(max_rss, usage.ru_maxrss);
  }
  std::sort(ms.begin(), ms.end());
  printf("%.2f %.2f %ld\n", ms[ms.size() / 2], ms.front(), max_rss);
  return 0;
}
