#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/settings.h"

// A converted number prints and converts back to itself; the location rule
// always ends in ".dat".
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  int32_t value, again;
  if (ConvertInteger(text, &value)) {
    if (!ConvertInteger(std::to_string(value), &again) || again != value) abort();
  }
  std::string path = LocateSettingsFile(text, "\\:", nullptr);
  if (path.size() < 4 || path.compare(path.size() - 4, 4, ".dat") != 0) abort();
  return 0;
}
