#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/cmdline.h"

// Splitting never reads past the line and never makes more text than it got.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (const std::string& a : SplitCommandLine(line)) {
    if (a.empty() && line.find('"') == std::string_view::npos) abort();
    total += a.size();
  }
  if (total > size) abort();
  return 0;
}
