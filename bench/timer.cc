// timer <runs> [--before <shell command>] -- <command...> [--vs <command...>]
// runs the command that many times (the --before command, untimed, ahead of
// each run) and prints "<median ms> <min ms> <max RSS KiB>". With --vs, the
// two commands take turns, so that both meet the same disk and load, and
// the second one's three figures follow. A run that fails ends it.
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

namespace {

struct Figures {
  std::vector<double> ms;
  long max_rss = 0;
};

bool RunOnce(char** command, Figures* f) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(command[0], command);
    _exit(127);
  }
  int status;
  rusage usage;
  wait4(pid, &status, 0, &usage);
  f->ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  f->max_rss = std::max(f->max_rss, usage.ru_maxrss);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  fprintf(stderr, "timer: %s failed\n", command[0]);
  return false;
}

void Print(Figures& f) {
  std::sort(f.ms.begin(), f.ms.end());
  printf("%.2f %.2f %ld", f.ms[f.ms.size() / 2], f.ms.front(), f.max_rss);
}

}  // namespace

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
  char** first = argv + i + 1;
  char** second = nullptr;
  for (int k = i + 1; k < argc; ++k) {
    if (strcmp(argv[k], "--vs") == 0) {
      argv[k] = nullptr;
      second = argv + k + 1;
    }
  }
  Figures a, b;
  for (int r = 0; r < runs; ++r) {
    if (!before.empty() && system(before.c_str()) != 0) return 1;
    if (!RunOnce(first, &a)) return 1;
    if (!second) continue;
    if (!before.empty() && system(before.c_str()) != 0) return 1;
    if (!RunOnce(second, &b)) return 1;
  }
  Print(a);
  if (second) {
    printf(" ");
    Print(b);
  }
  printf("\n");
  return 0;
}
