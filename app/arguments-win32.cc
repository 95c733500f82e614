#include <windows.h>

#include "app/arguments.h"
#include "app/cmdline.h"

// Argument 0 from GetModuleFileNameA, taken whole however long; the rest
// split from GetCommandLineA, whose first argument is the program name.
Arguments ProcessArguments(int, char**) {
  std::string self(MAX_PATH + 1, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }
  std::vector<std::string> rest = SplitCommandLine(GetCommandLineA());
  if (!rest.empty()) rest.erase(rest.begin());
  return Arguments(std::move(self), std::move(rest));
}
