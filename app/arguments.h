// Argument access: argument 0 is the program's own full path, arguments 1
// and up follow the program name; a missing one is the empty text.
#pragma once

#include <string>
#include <vector>

class Arguments {
 public:
  Arguments(std::string program_path, std::vector<std::string> rest)
      : program_path_(std::move(program_path)), rest_(std::move(rest)) {}

  std::string Get(size_t n) const {
    if (n == 0) return program_path_;
    return n <= rest_.size() ? rest_[n - 1] : std::string();
  }

 private:
  std::string program_path_;
  std::vector<std::string> rest_;
};

// The arguments of this process, from the platform (arguments-posix.cc,
// arguments-win32.cc).
Arguments ProcessArguments(int argc, char** argv);
