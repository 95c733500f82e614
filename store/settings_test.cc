#include "store/settings.h"

#include <gtest/gtest.h>

namespace {

struct IntCase {
  const char* text;
  bool ok;
  int32_t value;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.text)); }

class ConvertIntegerTest : public testing::TestWithParam<IntCase> {};

TEST_P(ConvertIntegerTest, Converts) {
  int32_t v = 12345;
  EXPECT_EQ(ConvertInteger(GetParam().text, &v), GetParam().ok) << GetParam().text;
  if (GetParam().ok) {
    EXPECT_EQ(v, GetParam().value) << GetParam().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertIntegerTest,
    testing::Values(
        IntCase{"42", true, 42}, IntCase{"  42", true, 42},
        IntCase{"\t42", false, 0}, IntCase{"42 ", false, 0},
        IntCase{"+7", true, 7}, IntCase{"-0", true, 0}, IntCase{"007", true, 7},
        IntCase{"-2147483648", true, INT32_MIN}, IntCase{"2147483647", true, INT32_MAX},
        IntCase{"2147483648", false, 0}, IntCase{"-2147483649", false, 0},
        IntCase{"99999999999999999999", false, 0},
        IntCase{"0x1F", true, 31}, IntCase{"0X1f", true, 31}, IntCase{"$1f", true, 31},
        IntCase{"x1F", true, 31}, IntCase{"X1F", true, 31},
        IntCase{"0x10", true, 16},
        IntCase{"$FFFFFFFF", true, -1}, IntCase{"$80000000", true, INT32_MIN},
        IntCase{"$0000000000FF", true, 255}, IntCase{"$100000000", false, 0},
        IntCase{"-$10", false, 0}, IntCase{"+0x10", false, 0},
        IntCase{"0x", false, 0}, IntCase{"$", false, 0}, IntCase{"x", false, 0},
        IntCase{"+", false, 0}, IntCase{"-", false, 0}, IntCase{"", false, 0},
        IntCase{"   ", false, 0}, IntCase{"1.5", false, 0}, IntCase{"1,000", false, 0},
        IntCase{"abc", false, 0}, IntCase{"0x1G", false, 0}));

struct LocateCase {
  const char* program;
  const char* separators;
  const char* settings;
};

void PrintTo(const LocateCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.program)); }

class LocateTest : public testing::TestWithParam<LocateCase> {};

bool ShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

TEST_P(LocateTest, ReplacesTheLastExtension) {
  const LocateCase& c = GetParam();
  EXPECT_EQ(LocateSettingsFile(c.program, c.separators, ShiftJisLead), c.settings);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, LocateTest,
    testing::Values(
        LocateCase{"C:\\Apps\\tool.exe", "\\:", "C:\\Apps\\tool.dat"},
        LocateCase{"C:\\Apps\\tool", "\\:", "C:\\Apps\\tool.dat"},
        LocateCase{"C:\\My.Apps\\tool", "\\:", "C:\\My.Apps\\tool.dat"},
        LocateCase{"C:\\Apps\\tool.old.exe", "\\:", "C:\\Apps\\tool.old.dat"},
        LocateCase{"C:\\Apps\\TOOL.EXE", "\\:", "C:\\Apps\\TOOL.dat"},
        LocateCase{"C:\\Apps\\.exe", "\\:", "C:\\Apps\\.dat"},
        LocateCase{"C:/My.Apps/tool", "\\:", "C:/My.dat"},
        LocateCase{"C:tool", "\\:", "C:tool.dat"},
        // 0x95 0x5C is one character: its 0x5C is no backslash, so the
        // extension ".x\x95\x5C" is replaced whole.
        LocateCase{"C:\\A\\t.x\x95\x5C", "\\:", "C:\\A\\t.dat"},
        // A 0x5C after an even run of lead bytes is a real backslash.
        LocateCase{"C:\\a.b\x95\x95\x5Ctool", "\\:", "C:\\a.b\x95\x95\x5Ctool.dat"}));

INSTANTIATE_TEST_SUITE_P(
    Posix, LocateTest,
    testing::Values(
        LocateCase{"/usr/bin/authreg", "/", "/usr/bin/authreg.dat"},
        LocateCase{"/home/ann/.local/bin/authreg", "/", "/home/ann/.local/bin/authreg.dat"},
        LocateCase{"/opt/a.b/tool.bin", "/", "/opt/a.b/tool.dat"},
        LocateCase{"/opt/back\\slash.x", "/", "/opt/back\\slash.dat"}));

}  // namespace
