#include "frame/texts.h"

std::string FormatText(const std::string& pattern, const std::string& arg) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      out += arg;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}
