#include "app/cmdline.h"

namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

}  // namespace

// Arguments longer than the original's 4,096-byte buffer are taken whole.
std::vector<std::string> SplitCommandLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::vector<std::string> args;
  size_t i = 0;
  for (;;) {
    for (;;) {
      while (i < line.size() && IsBlank(line[i])) ++i;
      if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
        i += 2;
        continue;
      }
      break;
    }
    if (i >= line.size()) return args;
    std::string arg;
    while (i < line.size() && static_cast<unsigned char>(line[i]) > 32) {
      if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        size_t end = close == std::string_view::npos ? line.size() : close;
        arg.append(line, i + 1, end - i - 1);
        i = close == std::string_view::npos ? end : close + 1;
      } else {
        arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
}
