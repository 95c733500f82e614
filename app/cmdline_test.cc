#include "app/cmdline.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.line)); }

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, Splits) {
  EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().args);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitTest,
    testing::Values(
        SplitCase{"tool.exe", {"tool.exe"}},
        SplitCase{"", {}},
        SplitCase{"  \t tool  a   b ", {"tool", "a", "b"}},
        // Every byte from 1 to 32 separates, not only space and tab.
        SplitCase{"tool\x01" "a\x1f" "b", {"tool", "a", "b"}},
        SplitCase{"\"C:\\Program Files\\t.exe\" /delsoft", {"C:\\Program Files\\t.exe", "/delsoft"}},
        SplitCase{"t \"/delsoft\"", {"t", "/delsoft"}},
        // An empty pair is no argument: the next one takes its number.
        SplitCase{"t /delsoft \"\" A", {"t", "/delsoft", "A"}},
        SplitCase{"t \"\"   \"\" A", {"t", "A"}},
        SplitCase{"t \"\"\"\"A", {"t", "A"}},
        SplitCase{"t \"\"", {"t"}},
        // Quoted and unquoted stretches that touch are one argument.
        SplitCase{"t a\"b c\"d e", {"t", "ab cd", "e"}},
        SplitCase{"t a\"\"b", {"t", "ab"}},
        // No escape character: backslashes pass through, \" opens a quote.
        SplitCase{"t A\\B \\\\x", {"t", "A\\B", "\\\\x"}},
        SplitCase{"t a\\\"b c\"", {"t", "a\\b c"}},
        // An unclosed quote runs to the end of the line.
        SplitCase{"t \"a b", {"t", "a b"}},
        SplitCase{"t a\0b", {"t", "a"}}));

TEST(SplitTest, TakesArgumentsLongerThanTheOriginalBufferWhole) {
  std::string big(10000, 'k');
  EXPECT_EQ(SplitCommandLine("t " + big + " x"),
            (std::vector<std::string>{"t", big, "x"}));
}

}  // namespace
