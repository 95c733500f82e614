// /delauthor and /delsoft runs of the built program on temporary prefixes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e_support.h"

namespace {

// Two authors with software keys, a key three levels deep with siblings
// and values around it, and keys outside the vendor branch.
const std::string kHive =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
    "[Software\\\\Norvane\\\\A] 1797000000\n#time=1dd8980000000000\n\"Author\"=\"a\"\n\n"
    "[Software\\\\Norvane\\\\A\\\\B] 1797000000\n#time=1dd8980000000000\n\"v\"=\"ab\"\n\n"
    "[Software\\\\Norvane\\\\alice] 1797000000\n#time=1dd8980000000000\n\"Author\"=\"Alice\"\n\n"
    "[Software\\\\Norvane\\\\alice\\\\A\\\\B] 1797000000\n#time=1dd8980000000000\n\"v\"=\"x\"\n\n"
    "[Software\\\\Norvane\\\\alice\\\\A\\\\B\\\\C\\\\D] 1797000000\n#time=1dd8980000000000\n\"deep\"=\"1\"\n\n"
    "[Software\\\\Norvane\\\\alice\\\\A\\\\Sibling] 1797000000\n#time=1dd8980000000000\n\"s\"=\"1\"\n\n"
    "[Software\\\\Norvane\\\\alice\\\\Tool] 1797000000\n#time=1dd8980000000000\n\"Build\"=dword:00000001\n\n"
    "[Software\\\\Norvane\\\\alice\\\\Tool\\\\Sub] 1797000000\n#time=1dd8980000000000\n\n"
    "[Software\\\\Norvane\\\\bob] 1797000000\n#time=1dd8980000000000\n\"Author\"=\"Bob\"\n\n"
    "[Software\\\\Wine] 1797000000\n#time=1dd8980000000000\n\"v\"=\"w\"\n";

const char kSettings[] = "[Author]\nMainAddress=alice\n[Soft]\nSoftKey=Tool\n";

struct Case {
  const char* name;
  const char* settings;
  std::vector<std::string> args;
  std::vector<std::string> gone;  // keys of the hive that the run deletes
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RemovalTest : public testing::TestWithParam<Case> {};

TEST_P(RemovalTest, DeletesExactlyTheNamedSubtree) {
  const Case& c = GetParam();
  Sandbox box;
  box.WriteHive(kHive);
  if (c.settings) box.WriteSettings(c.settings);
  struct stat before;
  ASSERT_EQ(stat(box.HivePath().c_str(), &before), 0);
  RunResult r = box.Run(c.args);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::map<std::string, std::string> expected = HiveKeys(kHive), got = HiveKeys(box.Hive());
  for (const std::string& k : c.gone) {
    ASSERT_EQ(expected.count(k), 1u) << k;
    expected.erase(k);
  }
  if (c.gone.empty()) {
    struct stat after;
    ASSERT_EQ(stat(box.HivePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "an untouched hive is not rewritten";
    EXPECT_EQ(box.Hive(), kHive);
  }
  EXPECT_EQ(got, expected);
}

const std::string N = "Software\\\\Norvane\\\\";

INSTANTIATE_TEST_SUITE_P(
    Table, RemovalTest,
    testing::Values(
        Case{"author_from_settings", kSettings, {"/delauthor"},
             {N + "alice", N + "alice\\\\A\\\\B", N + "alice\\\\A\\\\B\\\\C\\\\D",
              N + "alice\\\\A\\\\Sibling", N + "alice\\\\Tool", N + "alice\\\\Tool\\\\Sub"}},
        Case{"author_from_argument", kSettings, {"/delauthor", "bob", "alice"}, {N + "bob"}},
        Case{"author_argument_with_backslash", kSettings, {"/delauthor", "alice\\A\\B"},
             {N + "alice\\\\A\\\\B", N + "alice\\\\A\\\\B\\\\C\\\\D"}},
        Case{"author_case_differs", kSettings, {"/delauthor", "BOB"}, {N + "bob"}},
        Case{"author_empty_main_address", "[Author]\nMainAddress=\n", {"/delauthor"}, {}},
        Case{"author_no_settings", nullptr, {"/delauthor"}, {}},
        Case{"author_missing_key", kSettings, {"/delauthor", "nobody"}, {}},
        Case{"soft_from_settings", kSettings, {"/delsoft"},
             {N + "alice\\\\Tool", N + "alice\\\\Tool\\\\Sub"}},
        // A and B name keys below the author key, not an author A.
        Case{"soft_two_arguments", kSettings, {"/delsoft", "A", "B"},
             {N + "alice\\\\A\\\\B", N + "alice\\\\A\\\\B\\\\C\\\\D"}},
        // The path ends in a backslash: refused, nothing deleted (reading it
        // as alice\A would delete A's sibling too).
        Case{"soft_one_argument", kSettings, {"/delsoft", "A"}, {}},
        // MainAddress + "\": refused, so the author is not deleted.
        Case{"soft_without_soft_section", "[Author]\nMainAddress=alice\n", {"/delsoft"}, {}},
        // "\A\B" below the vendor root: refused, so author A is not reached.
        Case{"soft_empty_main_address", "[Author]\nMainAddress=\n", {"/delsoft", "A", "B"}, {}},
        Case{"soft_missing_key", kSettings, {"/delsoft", "X", "Y"}, {}}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(RemovalTest, NeighbouringKeysKeepTheirBytes) {
  Sandbox box;
  box.WriteHive(kHive);
  box.WriteSettings(kSettings);
  ASSERT_EQ(box.Run({"/delsoft"}).exit_code, 0);
  std::string after = box.Hive();
  std::string removed = kHive.substr(kHive.find("[Software\\\\Norvane\\\\alice\\\\Tool]"));
  removed = removed.substr(0, removed.find("[Software\\\\Norvane\\\\bob]"));
  std::string expected = kHive;
  expected.erase(expected.find(removed), removed.size());
  // Only the parent's time changes.
  std::string parent = "[Software\\\\Norvane\\\\alice] 1797000000\n#time=1dd8980000000000\n";
  size_t at = expected.find(parent);
  size_t got = after.find("[Software\\\\Norvane\\\\alice] ");
  ASSERT_NE(got, std::string::npos);
  std::string new_parent = after.substr(got, after.find("\"Author\"", got) - got);
  expected.replace(at, parent.size(), new_parent);
  EXPECT_EQ(after, expected);
}

TEST(RemovalTest, SwitchesInOtherSpellingsRegister) {
  for (const char* s : {"/DELAUTHOR", "-delsoft", "/delauthor:"}) {
    Sandbox box;
    box.WriteHive(kHive);
    box.WriteSettings(kSettings);
    ASSERT_EQ(box.Run({s}).exit_code, 0) << s;
    std::map<std::string, std::string> keys = HiveKeys(box.Hive());
    EXPECT_EQ(keys.size(), HiveKeys(kHive).size()) << s << ": nothing deleted";
    EXPECT_NE(keys[N + "alice"].find("\"DisplayHost\"=\"\""), std::string::npos) << s;
  }
}

TEST(RemovalTest, RegisterThenRemoveLeavesTheHiveAsItWas) {
  Sandbox box;
  box.WriteHive(kHive);
  box.WriteSettings("[Author]\nMainAddress=carol\n[Soft]\nSoftKey=T\\U\n");
  ASSERT_EQ(box.Run({}).exit_code, 0);
  EXPECT_EQ(HiveKeys(box.Hive()).count(N + "carol\\\\T\\\\U"), 1u);
  ASSERT_EQ(box.Run({"/delauthor"}).exit_code, 0);
  EXPECT_EQ(box.Hive(), kHive);
}

TEST(RemovalTest, DeletesFromAWinePrefixAndWineAgrees) {
  SKIP_WITHOUT_WINE();
  Sandbox box;
  CopyPrefix(WineTemplatePrefix(), box.prefix);
  box.WriteSettings("[Author]\nMainAddress=alice\n[Soft]\nSoftKey=Tool\n");
  ASSERT_EQ(box.Run({}).exit_code, 0);
  box.WriteSettings("[Author]\nMainAddress=bob\n[Soft]\nSoftKey=Tool\n");
  ASSERT_EQ(box.Run({}).exit_code, 0);
  ASSERT_EQ(box.Run({"/delauthor", "alice"}).exit_code, 0);
  ASSERT_EQ(box.Run({"/delsoft"}).exit_code, 0);
  std::string exported = WineExport(box.prefix, "Software\\Norvane");
  EXPECT_EQ(exported.find("alice"), std::string::npos) << exported;
  EXPECT_NE(exported.find("[HKEY_CURRENT_USER\\Software\\Norvane\\bob]\n"), std::string::npos) << exported;
  EXPECT_EQ(exported.find("bob\\Tool"), std::string::npos) << exported;
  // Keys Wine made itself are still there for Wine.
  EXPECT_NE(WineExport(box.prefix, "Control Panel\\Desktop").find("[HKEY_CURRENT_USER\\Control Panel\\Desktop]"),
            std::string::npos);
}

}  // namespace
