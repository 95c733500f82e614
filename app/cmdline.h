// Splitting a Windows command line into arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Every argument of `line`, the program name first. Bytes 1 to 32 separate
// arguments; an argument that starts with a pair of double quotes drops the
// pair (one that is nothing but the pair is no argument at all); a double
// quote opens a stretch, up to the next one, taken as it is; there is no
// escape character. A zero byte ends the line.
std::vector<std::string> SplitCommandLine(std::string_view line);
