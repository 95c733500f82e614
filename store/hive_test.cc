#include "store/hive.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kNow = 0x1dd898c67482809ULL;  // 2026-12-11

const char kWineHive[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[AppEvents\\\\Schemes] 1797005748\n"
    "#time=1dd898ae24a3f46\n"
    "@=\"\"\n"
    "\n"
    "[Software\\\\Norvane\\\\Alice] 1797000000\n"
    "#time=1dd8980000000000\n"
    "\"Author\"=\"old\"\n"
    "\"Build\"=dword:00000001\n"
    "\"Blob\"=hex:01,02,\\\n"
    "  03\n"
    "; a comment Wine would drop, kept here\n"
    "\n"
    "[Software\\\\Norvane\\\\Alice\\\\Tool] 1797000000\n"
    "#time=1dd8980000000000\n"
    "\"X\"=str(2):\"%PATH%\"\n"
    "\n"
    "[Software\\\\Wine] 1797005748\n"
    "#time=1dd898ae24a3f46\n"
    "#class=\"c\"\n"
    "\"Version\"=\"win10\"\n";

Hive Load(const std::string& text) {
  Hive h;
  std::string error;
  EXPECT_TRUE(h.Parse(text, &error)) << error;
  return h;
}

std::string Sz(std::u16string_view s) {
  std::string out;
  for (char16_t c : s) out += static_cast<char>(c & 0xFF), out += static_cast<char>(c >> 8);
  return out + std::string(2, '\0');
}

TEST(HiveTest, UnchangedHiveIsWrittenBackByteForByte) {
  Hive h = Load(kWineHive);
  EXPECT_FALSE(h.changed());
  EXPECT_EQ(h.Text(), kWineHive);
}

TEST(HiveTest, KeysAreFoundWhateverTheirCase) {
  Hive h = Load(kWineHive);
  EXPECT_TRUE(h.KeyExists(u"software\\NORVANE\\alice"));
  EXPECT_TRUE(h.KeyExists(u"Software"));  // only listed through a subkey
  EXPECT_FALSE(h.KeyExists(u"Software\\Norvane\\Al"));
  EXPECT_FALSE(h.KeyExists(u"Software\\Norvane\\Alice\\Tool\\x"));
}

TEST(HiveTest, ReplacedValueKeepsItsSpellingAndOtherKeysTheirBytes) {
  Hive h = Load(kWineHive);
  h.SetValue(u"SOFTWARE\\norvane\\ALICE", u"AUTHOR", kRegSz, Sz(u"new"), kNow);
  h.SetValue(u"Software\\Norvane\\Alice", u"Author2", kRegSz, Sz(u""), kNow);
  h.SetValue(u"Software\\Norvane\\Alice", u"A", kRegDword, std::string("\xff\xff\xff\xff", 4), kNow);
  std::string expected = kWineHive;
  std::string old_block =
      "[Software\\\\Norvane\\\\Alice] 1797000000\n"
      "#time=1dd8980000000000\n"
      "\"Author\"=\"old\"\n"
      "\"Build\"=dword:00000001\n";
  std::string new_block =
      "[Software\\\\Norvane\\\\Alice] 1797006401\n"
      "#time=1dd898c67482809\n"
      "\"A\"=dword:ffffffff\n"
      "\"Author\"=\"new\"\n"
      "\"Author2\"=\"\"\n"
      "\"Build\"=dword:00000001\n";
  expected.replace(expected.find(old_block), old_block.size(), new_block);
  EXPECT_EQ(h.Text(), expected);
}

TEST(HiveTest, NewKeyGoesWhereWineListsIt) {
  Hive h = Load(kWineHive);
  h.CreateKey(u"Software\\Norvane\\Bob\\Tool", kNow);
  h.SetValue(u"Software\\Norvane\\Bob\\Tool", u"Build", kRegDword, std::string(4, '\0'), kNow);
  std::string text = h.Text();
  size_t bob = text.find("\n\n[Software\\\\Norvane\\\\Bob\\\\Tool] 1797006401\n#time=1dd898c67482809\n\"Build\"=dword:00000000\n\n[Software\\\\Wine]");
  EXPECT_NE(bob, std::string::npos) << text;
  EXPECT_GT(bob, text.find("Alice\\\\Tool"));
  // The new key holds nothing but what was set, and the hive reads back.
  Hive again = Load(text);
  EXPECT_TRUE(again.KeyExists(u"Software\\Norvane\\Bob"));
}

TEST(HiveTest, NewKeyAtTheEndIsSetApartByABlankLine) {
  Hive h = Load(Hive::EmptyUserHive());
  h.CreateKey(u"Software\\Norvane\\a", kNow);
  h.CreateKey(u"Software\\Norvane\\b", kNow);
  EXPECT_EQ(h.Text(), Hive::EmptyUserHive() +
                          "\n[Software\\\\Norvane\\\\a] 1797006401\n#time=1dd898c67482809\n"
                          "\n[Software\\\\Norvane\\\\b] 1797006401\n#time=1dd898c67482809\n");
}

TEST(HiveTest, DeleteTakesTheSubtreeAndNothingElse) {
  Hive h = Load(kWineHive);
  EXPECT_FALSE(h.DeleteKey(u"Software\\Norvane\\Nobody", kNow));
  EXPECT_FALSE(h.changed());
  EXPECT_TRUE(h.DeleteKey(u"software\\norvane\\alice", kNow));
  std::string text = h.Text();
  EXPECT_EQ(text.find("Alice"), std::string::npos);
  // Norvane existed only through Alice; it stays, as a key of its own.
  EXPECT_NE(text.find("[Software\\\\Norvane] 1797006401\n#time=1dd898c67482809\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Software\\\\Wine] 1797005748\n#time=1dd898ae24a3f46\n#class=\"c\"\n\"Version\"=\"win10\"\n"), std::string::npos);
  EXPECT_NE(text.find("[AppEvents\\\\Schemes] 1797005748\n#time=1dd898ae24a3f46\n@=\"\"\n"), std::string::npos);
}

TEST(HiveTest, AKeyThatGainsItsFirstSubkeyAndHoldsNothingIsNoLongerListed) {
  Hive h = Load(Hive::EmptyUserHive() + "\n[Software\\\\Norvane] 1797000000\n#time=1dd8980000000000\n");
  h.CreateKey(u"Software\\Norvane\\a", kNow);
  EXPECT_EQ(h.Text(), Hive::EmptyUserHive() +
                          "\n[Software\\\\Norvane\\\\a] 1797006401\n#time=1dd898c67482809\n");
}

struct EscapeCase {
  std::u16string data;
  const char* line;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.line)); }

class ValueLineTest : public testing::TestWithParam<EscapeCase> {};

TEST_P(ValueLineTest, EscapesAsWine) {
  EXPECT_EQ(Hive::ValueLine(u"N", kRegSz, Sz(GetParam().data)), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Wine, ValueLineTest,
    testing::Values(
        EscapeCase{u"a\"b\\c", "\"N\"=\"a\\\"b\\\\c\"\n"},
        EscapeCase{u"[x]=y", "\"N\"=\"[x]=y\"\n"},
        EscapeCase{u"\n\t\r\a\b\v\f\x1b", "\"N\"=\"\\n\\t\\r\\a\\b\\v\\f\\e\"\n"},
        EscapeCase{u"\x01x\x02" "7", "\"N\"=\"\\1x\\0027\"\n"},
        EscapeCase{u"\u3042\u3044", "\"N\"=\"\\x3042\\x3044\"\n"},
        EscapeCase{u"\u00a0B", "\"N\"=\"\\x00a0B\"\n"},
        EscapeCase{u"\u00a0z", "\"N\"=\"\\xa0z\"\n"},
        EscapeCase{u"", "\"N\"=\"\"\n"}));

TEST(HiveTest, TextWithoutItsZeroIsWrittenAsHex) {
  // What RegSetValueExA leaves when a lead byte took the terminating zero.
  EXPECT_EQ(Hive::ValueLine(u"jend", kRegSz, std::string("\x41\x00\xfb\x30", 4)),
            "\"jend\"=hex(1):41,00,fb,30\n");
  EXPECT_EQ(Hive::ValueLine(u"", kRegDword, std::string("\x2a\0\0\0", 4)), "@=dword:0000002a\n");
}

TEST(HiveTest, EscapedNamesAndPathsReadBack) {
  Hive h = Load(Hive::EmptyUserHive());
  std::u16string name = u"k[]\\\"=\n\u3042";
  // A key name holds no backslash; everything else must come back.
  std::u16string key = u"Software\\Norvane\\k[]\"=\n\u3042";
  h.CreateKey(key, kNow);
  h.SetValue(key, name, kRegSz, Sz(name), kNow);
  Hive again = Load(h.Text());
  EXPECT_TRUE(again.KeyExists(key));
  EXPECT_NE(h.Text().find("[Software\\\\Norvane\\\\k\\[\\]\"=\\n\\x3042]"), std::string::npos) << h.Text();
  EXPECT_NE(h.Text().find("\"k[]\\\\\\\"=\\n\\x3042\"=\"k[]\\\\\\\"=\\n\\x3042\"\n"), std::string::npos) << h.Text();
}

struct BadCase {
  const char* what;
  std::string text;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.what; }

class BadHiveTest : public testing::TestWithParam<BadCase> {};

TEST_P(BadHiveTest, IsRefused) {
  Hive h;
  std::string error;
  EXPECT_FALSE(h.Parse(GetParam().text, &error)) << GetParam().what;
  EXPECT_FALSE(error.empty());
}

const std::string kHead = "WINE REGISTRY Version 2\n\n";

INSTANTIATE_TEST_SUITE_P(
    Table, BadHiveTest,
    testing::Values(
        BadCase{"not a hive", "REGEDIT4\n\n[HKEY_CURRENT_USER\\x]\n"},
        BadCase{"empty file", ""},
        BadCase{"other version", "WINE REGISTRY Version 3\n"},
        BadCase{"cut in a line", kHead + "[a] 1\n\"v\"=\"ab"},
        BadCase{"unterminated string", kHead + "[a] 1\n\"v\"=\"ab\n"},
        BadCase{"unterminated key", kHead + "[a\\] 1\n"},
        BadCase{"value outside a key", kHead + "\"v\"=\"x\"\n"},
        BadCase{"unknown data form", kHead + "[a] 1\n\"v\"=qword:1\n"},
        BadCase{"bad dword", kHead + "[a] 1\n\"v\"=dword:123456789\n"},
        BadCase{"bad hex", kHead + "[a] 1\n\"v\"=hex:1,2\n"},
        BadCase{"hex cut after a continuation", kHead + "[a] 1\n\"v\"=hex:01,\\\n"},
        BadCase{"garbage line", kHead + "[a] 1\nhello\n"},
        BadCase{"binary", kHead + std::string("[a] 1\n\0\x01\x02\n", 10)}));

TEST(HiveTest, KeepsWhatItDoesNotKnowButCanKeep) {
  std::string text = kHead + "#unknown=1\n[a] 1\n#link\n#whatever\n\"v\"=hex(abc):01,\\\n  02\n\"w\"=str:\"x\"\n";
  Hive h = Load(text);
  EXPECT_EQ(h.Text(), text);
}

}  // namespace

namespace {

// Large enough to be checked on two threads, split near its middle.
std::string LargeHive(int keys) {
  std::string text = Hive::EmptyUserHive();
  for (int i = 0; i < keys; ++i)
    text += "\n[Software\\\\V\\\\K" + std::to_string(i) + "] 1\n\"Data\"=hex:00,01,02,03,04,05,\\\n  06\n\"S\"=\"" +
            std::string(100, 's') + "\"\n";
  return text;
}

TEST(HiveTest, ALargeHiveReadsAsASmallOne) {
  const std::string text = LargeHive(40000);
  ASSERT_GT(text.size(), 5u << 20);
  Hive h = Load(text);
  EXPECT_EQ(h.Text(), text);
  for (int i : {0, 19999, 20000, 20001, 39999}) {
    const std::string n = std::to_string(i);
    EXPECT_TRUE(h.KeyExists(u"software\\v\\k" + std::u16string(n.begin(), n.end()))) << i;
  }
}

TEST(HiveTest, ErrorsInALargeHiveNameTheirLine) {
  const std::string text = LargeHive(40000);
  // Each key is 5 lines after the 4 of the header.
  for (int key : {10, 30000}) {
    std::string bad = text;
    size_t at = bad.find("[Software\\\\V\\\\K" + std::to_string(key) + "]");
    at = bad.find("\"S\"=\"", at);
    bad.replace(at, 5, "\"S\"=x");
    Hive h;
    std::string error;
    ASSERT_FALSE(h.Parse(bad, &error));
    EXPECT_EQ(error, "bad value data at line " + std::to_string(4 + 5 * key + 5)) << key;
  }
  // A hex value cut at the split is no value either.
  std::string cut = text.substr(0, text.size() / 2);
  cut = cut.substr(0, cut.rfind("  06\n")) + "\n" + text.substr(text.size() / 2);
  Hive h;
  std::string error;
  EXPECT_FALSE(h.Parse(cut, &error));
}

}  // namespace

namespace {

TEST(HiveTest, LookupsMatchWholeNamesWithoutCase) {
  Hive h = Load(Hive::EmptyUserHive() +
                "\n[Software\\\\Norvane\\\\Al] 1\n"
                "\n[Software\\\\Norvane\\\\Alice\\\\T] 1\n"
                "\n[Software\\\\Norvane\\\\\\x3042b\\\\c] 1\n"
                "\n[Software\\\\Norvane\\\\\\[x\\]] 1\n");
  struct Case {
    std::u16string path;
    bool exists;
  } cases[] = {
      {u"Software\\Norvane\\Al", true},        {u"SOFTWARE\\norvane\\aL", true},
      {u"Software\\Norvane\\A", false},        {u"Software\\Norvane\\Ali", false},
      {u"Software\\Norvane\\alice", true},     {u"Software\\Norvane\\Alice\\t", true},
      {u"Software\\Norvane\\Alice\\T\\U", false}, {u"Software\\Norvane\\\u3042B", true},
      {u"Software\\Norvane\\\u3042B\\C", true}, {u"Software\\Norvane\\\u3044b", false},
      {u"Software\\Norvane\\[x]", true},       {u"Software\\Norvane\\[x", false},
      {u"Software\\Norvane", true},            {u"Software\\Norvan", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(h.KeyExists(c.path), c.exists) << std::string(c.path.begin(), c.path.end());
  EXPECT_TRUE(h.DeleteKey(u"software\\NORVANE\\\u3042B", 0x1dd898c67482809ULL));
  EXPECT_FALSE(h.KeyExists(u"Software\\Norvane\\\u3042b\\c"));
  EXPECT_TRUE(h.KeyExists(u"Software\\Norvane\\Alice\\T"));
}

}  // namespace
