#include <unistd.h>

#include "app/arguments.h"

// Argument 0 is the real path of the program file, not argv[0]. An empty
// argv element is what an empty pair of double quotes is on Windows: no
// argument, so the next one takes its number.
Arguments ProcessArguments(int argc, char** argv) {
  std::string self(4096, '\0');
  for (;;) {
    ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
    if (n < 0) {
      self.clear();
      break;
    }
    if (static_cast<size_t>(n) < self.size()) {
      self.resize(static_cast<size_t>(n));
      break;
    }
    self.resize(self.size() * 2);
  }
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '\0') rest.emplace_back(argv[i]);
  return Arguments(std::move(self), std::move(rest));
}
