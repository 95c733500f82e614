// One table of runs, fed to the Linux build and to authreg.exe under Wine on
// copies of one Wine-made prefix: both must leave the same Norvane subtree,
// value for value, show the same boxes and end with the same exit code, and
// that must be the expected result.
#include <gtest/gtest.h>

#include <regex>

#include "tests/e2e_support.h"

namespace {

// The keys below Software\Norvane, each as "[path]" and its lines.
std::string NorvaneTree(const std::string& hive) {
  std::string out;
  for (const auto& [path, body] : HiveKeys(hive))
    if (path.rfind("Software\\\\Norvane", 0) == 0) out += "[" + path + "]\n" + body;
  return out;
}

// Module name and location differ between the builds by nature.
std::vector<Box> Normalised(std::vector<Box> boxes) {
  for (Box& b : boxes)
    b.text = std::regex_replace(b.text, std::regex("in module [^ ]+ at [0-9A-F]{8}\\."), "in module * at *.");
  return boxes;
}

struct Case {
  const char* name;
  const char* settings;  // null: no settings file
  std::vector<std::string> args;
  const char* locale;
  bool seeded;  // the prefix holds kSeed first
  int exit_code;
  std::vector<Box> boxes;
  std::string tree;
};

const char kSeed[] =
    "\n[Software\\\\Norvane\\\\A\\\\B] 1797000000\n\"v\"=\"ab\"\n"
    "\n[Software\\\\Norvane\\\\alice] 1797000000\n\"Author\"=\"Alice\"\n"
    "\n[Software\\\\Norvane\\\\alice\\\\A\\\\B] 1797000000\n\"v\"=\"x\"\n"
    "\n[Software\\\\Norvane\\\\alice\\\\A\\\\B\\\\C\\\\D] 1797000000\n\"deep\"=\"1\"\n"
    "\n[Software\\\\Norvane\\\\alice\\\\A\\\\Sibling] 1797000000\n\"s\"=\"1\"\n"
    "\n[Software\\\\Norvane\\\\alice\\\\Tool] 1797000000\n\"Build\"=dword:00000001\n"
    "\n[Software\\\\Norvane\\\\alice\\\\Tool\\\\Sub] 1797000000\n"
    "\n[Software\\\\Norvane\\\\bob] 1797000000\n\"Author\"=\"Bob\"\n";

// The seed's tree without the keys named.
std::string SeedWithout(std::vector<std::string> gone) {
  std::string out;
  for (const auto& [path, body] : HiveKeys(kSeed)) {
    bool drop = false;
    for (const std::string& g : gone) drop |= path == "Software\\\\Norvane\\\\" + g;
    if (!drop) out += "[" + path + "]\n" + body;
  }
  return out;
}

const char kFull[] =
    "[Author]\nMainAddress=alice\nAuthor=Alice Example\nDisplayHost=example.org\n"
    "InfoURL=https://example.org/\n[Soft]\nSoftKey=Tool\nDistinctName=tool-1\n"
    "DisplayName=The Tool\nBuild=42\n";
const char kFullTree[] =
    "[Software\\\\Norvane\\\\alice]\n\"Author\"=\"Alice Example\"\n\"DisplayHost\"=\"example.org\"\n"
    "\"InfoURL\"=\"https://example.org/\"\n"
    "[Software\\\\Norvane\\\\alice\\\\Tool]\n\"Build\"=dword:0000002a\n\"DisplayName\"=\"The Tool\"\n"
    "\"DistinctName\"=\"tool-1\"\n";
const char kRemoval[] = "[Author]\nMainAddress=alice\n[Soft]\nSoftKey=Tool\n";
const char kJa[] = "ja_JP.UTF-8";
const Box kInfoIncBox{"ERROR", "InfoInc パラメータの値が不正"};
const Box kAuthorReport{"アプリケーション エラー",
                        "Exception ERegistryException in module * at *.\n'Author' の設定に失敗しました."};

const std::string kAliceEmpty =
    "[Software\\\\Norvane\\\\a]\n\"Author\"=\"\"\n\"DisplayHost\"=\"\"\n";

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int i = 0; i < times; ++i) s += piece;
  return s;
}

// Values cut at 2047 bytes: ASCII, and double bytes cut between characters.
const std::string kLongValues = "[Author]\nMainAddress=a\nAuthor=" + Repeat("x", 3000) +
                                "\nDisplayHost=" + Repeat("\x82\xa0", 1100) + "\n";
const std::string kLongValuesTree = "[Software\\\\Norvane\\\\a]\n\"Author\"=\"" + Repeat("x", 2047) +
                                    "\"\n\"DisplayHost\"=\"" + Repeat("\\x3042", 1023) +
                                    "\"\n\"InfoURL\"=\"\"\n";

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"full", kFull, {}, kJa, false, 0, {}, kFullTree},
    {"full_western_locale", kFull, {}, "C.UTF-8", false, 0, {}, kFullTree},
    {"arguments_ignored", kFull, {"x", "y z"}, kJa, false, 0, {}, kFullTree},
    {"upper_case_switch", kFull, {"/DELAUTHOR"}, kJa, false, 0, {}, kFullTree},
    {"info_inc_1", "[Author]\nMainAddress=a\nInfoInc=1\nInfoURL=u\n[Soft]\nSoftKey=s\n", {}, kJa, false, 0,
     {kInfoIncBox},
     kAliceEmpty + "[Software\\\\Norvane\\\\a\\\\s]\n\"Build\"=dword:00000000\n\"DisplayName\"=\"\"\n\"DistinctName\"=\"\"\n"},
    {"info_inc_3", "[Author]\nMainAddress=a\nInfoInc=3\nInfoURL=u\n", {}, kJa, false, 0, {},
     kAliceEmpty + "\"InfoURL3\"=\"u\"\n"},
    {"info_inc_hex", "[Author]\nMainAddress=a\nInfoInc=0x10\nInfoURL=u\n", {}, kJa, false, 0, {},
     kAliceEmpty + "\"InfoURL16\"=\"u\"\n"},
    {"info_inc_negative", "[Author]\nMainAddress=a\nInfoInc=-5\nInfoURL=u\n[Soft]\n", {}, kJa, false, 0, {},
     kAliceEmpty + "\"InfoURL\"=\"u\"\n"},
    {"no_settings_file", nullptr, {}, kJa, false, 1, {kAuthorReport}, ""},
    {"soft_without_soft_key", "[Author]\nMainAddress=a\n[Soft]\nDisplayName=n\nBuild=$FFFFFFFF\n", {}, kJa, false, 0, {},
     "[Software\\\\Norvane\\\\a]\n\"Author\"=\"\"\n\"Build\"=dword:ffffffff\n\"DisplayHost\"=\"\"\n"
     "\"DisplayName\"=\"n\"\n\"DistinctName\"=\"\"\n\"InfoURL\"=\"\"\n"},
    {"two_level_soft_key", "[Author]\nMainAddress=a\n[Soft]\nSoftKey=T\\U\n", {}, kJa, false, 0, {},
     kAliceEmpty + "\"InfoURL\"=\"\"\n[Software\\\\Norvane\\\\a\\\\T\\\\U]\n\"Build\"=dword:00000000\n"
                   "\"DisplayName\"=\"\"\n\"DistinctName\"=\"\"\n"},
    {"code_page_932", "[Author]\nMainAddress=\x83\x5c\nAuthor=\x82\xa0\x82\xa2\nDisplayHost=A\x81 B\x80\xa0\xfd\n", {}, kJa,
     false, 0, {},
     "[Software\\\\Norvane\\\\\\x30bd]\n\"Author\"=\"\\x3042\\x3044\"\n\"DisplayHost\"=\"A\\x30fbB\\x80\\xf8f0\\xf8f1\"\n"
     "\"InfoURL\"=\"\"\n"},
    {"code_page_1252", "[Author]\nMainAddress=\x82\xa0\nAuthor=\x81\x8d\xff\n", {}, "C.UTF-8", false, 0, {},
     "[Software\\\\Norvane\\\\\\x201a\\xa0]\n\"Author\"=\"\\x81\\x8d\\xff\"\n\"DisplayHost\"=\"\"\n\"InfoURL\"=\"\"\n"},
    {"hostile_values", "[Author]\nMainAddress=a]\"[b\nAuthor=\"x\"=\"y\"\nDisplayHost=\\\"\x01\x1b\x7f\n", {}, kJa, false, 0,
     {},
     "[Software\\\\Norvane\\\\a\\]\"\\[b]\n\"Author\"=\"x\\\"=\\\"y\"\n\"DisplayHost\"=\"\\\\\\\"\\1\\e\x7f\"\n\"InfoURL\"=\"\"\n"},
    {"longest_values", kLongValues.c_str(), {}, kJa, false, 0, {}, kLongValuesTree},
    {"delauthor", kRemoval, {"/delauthor"}, kJa, true, 0, {},
     SeedWithout({"alice", "alice\\\\A\\\\B", "alice\\\\A\\\\B\\\\C\\\\D", "alice\\\\A\\\\Sibling", "alice\\\\Tool",
                  "alice\\\\Tool\\\\Sub"})},
    {"delauthor_argument", kRemoval, {"/delauthor", "bob", "alice"}, kJa, true, 0, {}, SeedWithout({"bob"})},
    {"delauthor_path_argument", kRemoval, {"/delauthor", "alice\\A\\B"}, kJa, true, 0, {},
     SeedWithout({"alice\\\\A\\\\B", "alice\\\\A\\\\B\\\\C\\\\D"})},
    {"delauthor_other_case", kRemoval, {"/delauthor", "BOB"}, kJa, true, 0, {}, SeedWithout({"bob"})},
    {"delauthor_empty_main_address", "[Author]\nMainAddress=\n", {"/delauthor"}, kJa, true, 0, {}, SeedWithout({})},
    {"delauthor_missing", kRemoval, {"/delauthor", "nobody"}, kJa, true, 0, {}, SeedWithout({})},
    {"delsoft", kRemoval, {"/delsoft"}, kJa, true, 0, {}, SeedWithout({"alice\\\\Tool", "alice\\\\Tool\\\\Sub"})},
    {"delsoft_two_arguments", kRemoval, {"/delsoft", "A", "B"}, kJa, true, 0, {},
     SeedWithout({"alice\\\\A\\\\B", "alice\\\\A\\\\B\\\\C\\\\D"})},
    {"delsoft_one_argument", kRemoval, {"/delsoft", "A"}, kJa, true, 0, {}, SeedWithout({})},
    {"delsoft_empty_pair_not_counted", kRemoval, {"/delsoft", "", "A"}, kJa, true, 0, {}, SeedWithout({})},
    {"delsoft_without_soft_section", "[Author]\nMainAddress=alice\n", {"/delsoft"}, kJa, true, 0, {}, SeedWithout({})},
    {"delsoft_empty_main_address", "[Author]\nMainAddress=\n", {"/delsoft", "A", "B"}, kJa, true, 0, {},
     SeedWithout({})},
};

// A Windows command line: arguments with a space in double quotes, an
// empty one as an empty pair, as Wine builds it from Unix arguments.
std::string CommandLine(const std::vector<std::string>& args) {
  std::string line = "authreg.exe";
  for (const std::string& a : args)
    line += a.empty() || a.find(' ') != std::string::npos ? " \"" + a + "\"" : " " + a;
  return line;
}

struct Outcome {
  int exit_code;
  std::vector<Box> boxes;
  std::string tree;
};

void Prepare(const Sandbox& box, const char* settings, bool seeded) {
  CopyPrefix(WineTemplatePrefix(), box.prefix);
  if (seeded) WriteFile(box.HivePath(), box.Hive() + kSeed);
  if (settings) box.WriteSettings(settings);
}

Outcome RunLinux(const char* settings, const std::vector<std::string>& args, const char* locale, bool seeded) {
  Sandbox box;
  Prepare(box, settings, seeded);
  RunResult r = box.Run(args, {std::string("LC_ALL=") + locale});
  return {r.exit_code, Normalised(BoxesOnStderr(r.err)), NorvaneTree(box.Hive())};
}

Outcome RunWindows(const char* settings, const std::string& command_line, const char* locale, bool seeded) {
  Sandbox box;
  Prepare(box, settings, seeded);
  WriteFile(box.dir + "/authreg.exe", ReadFile(WindowsBuildDir() + "/authreg.exe"));
  WindowsRun w = RunUnderWine(box.dir, command_line, box.prefix, locale);
  return {w.exit_code, Normalised(w.boxes), NorvaneTree(box.Hive())};
}

class DifferentialTest : public testing::TestWithParam<Case> {};

TEST_P(DifferentialTest, BothBuildsGiveTheExpectedResult) {
  SKIP_WITHOUT_WINE();
  if (WindowsBuildDir().empty())
    GTEST_SKIP() << "*** no Windows build at " << AUTHREG_WINDOWS_BUILD_DIR
                 << ": only the Linux build was checked ***";
  const Case& c = GetParam();
  Outcome linux = RunLinux(c.settings, c.args, c.locale, c.seeded);
  Outcome windows = RunWindows(c.settings, CommandLine(c.args), c.locale, c.seeded);
  EXPECT_EQ(linux.tree, windows.tree);
  EXPECT_EQ(linux.boxes, windows.boxes);
  EXPECT_EQ(linux.exit_code, windows.exit_code);
  EXPECT_EQ(linux.tree, c.tree);
  EXPECT_EQ(linux.boxes, c.boxes);
  EXPECT_EQ(linux.exit_code, c.exit_code);
}

INSTANTIATE_TEST_SUITE_P(Table, DifferentialTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// Command lines only Windows has: the splitting of a raw line.
TEST(WindowsCommandLineTest, QuotesAndEmptyPairs) {
  SKIP_WITHOUT_WINE();
  if (WindowsBuildDir().empty()) GTEST_SKIP() << "*** no Windows build ***";
  struct Line {
    const char* line;
    std::string tree;
  } lines[] = {
      {"authreg.exe \"/delsoft\"", SeedWithout({"alice\\\\Tool", "alice\\\\Tool\\\\Sub"})},
      {"authreg.exe /delsoft \"\"  \"\"A\"\" B", SeedWithout({"alice\\\\A\\\\B", "alice\\\\A\\\\B\\\\C\\\\D"})},
      {"authreg.exe /del\"author\" b\"o\"b", SeedWithout({"bob"})},
      {"\"authreg.exe\" /delauthor \"alice\\A\\B\"", SeedWithout({"alice\\\\A\\\\B", "alice\\\\A\\\\B\\\\C\\\\D"})},
  };
  for (const Line& l : lines) {
    Outcome w = RunWindows(kRemoval, l.line, kJa, true);
    EXPECT_EQ(w.exit_code, 0) << l.line;
    EXPECT_EQ(w.tree, l.tree) << l.line;
  }
}

}  // namespace

namespace {

// Processor faults in the Windows build: reported by the frame, never by
// the system's crash dialog. A stack overflow is left out: Wine 8 ends the
// process itself when the overflow leaves it no room to dispatch the
// exception, before any filter of the program runs (a bare program with
// only a top-level filter that calls ExitProcess shows the same).
TEST(WindowsFaultTest, FaultsEndInTheFailureReport) {
  SKIP_WITHOUT_WINE();
  if (WindowsBuildDir().empty() || !FileExists(WindowsBuildDir() + "/fault_probe.exe"))
    GTEST_SKIP() << "*** no Windows build ***";
  struct Fault {
    const char* kind;
    const char* class_name;
  } faults[] = {{"access", "EAccessViolation"}, {"divide", "EDivByZero"}};
  for (const Fault& f : faults) {
    Sandbox box;
    CopyPrefix(WineTemplatePrefix(), box.prefix);
    WriteFile(box.dir + "/fault_probe.exe", ReadFile(WindowsBuildDir() + "/fault_probe.exe"));
    WindowsRun w = RunUnderWine(box.dir, std::string("fault_probe.exe ") + f.kind, box.prefix, kJa);
    EXPECT_EQ(w.exit_code, 1) << f.kind;
    ASSERT_EQ(w.boxes.size(), 1u) << f.kind;
    EXPECT_EQ(w.boxes[0].caption, "アプリケーション エラー");
    EXPECT_TRUE(std::regex_match(w.boxes[0].text,
                                 std::regex(std::string("Exception ") + f.class_name +
                                            " in module fault_probe.exe at [0-9A-F]{8}\\.\n[A-Za-z ]+\\.")))
        << w.boxes[0].text;
  }
}

}  // namespace
