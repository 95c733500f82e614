// What Wine's GetPrivateProfileStringA was seen to return for the same
// files (a small Windows program run under Wine 8 read each key).
#include "store/profile.h"

#include <gtest/gtest.h>

#include "store/codepage.h"

namespace {

const char kFile[] =
    "; c1\n# c2\n\n[Author]\n  MainAddress  =  alice  \nquoted=\"q v\"\n"
    "sq='s v'\nmis=\"abc\nhalf=\"\nnoeq\n;semi=1\n#hash=2\ntab=\tx\t\n"
    "ctlz=\x1ax\x1a\n"
    "[author]\nMainAddress=second\nlate=L\n"
    "[ Soft ]\nSoftKey=sp\n[Soft\nbroken=1\n"
    "[Empty]\n\n[OnlyComment]\n;x=1\n[NoEq]\nbare\n[Dup]\nk=1\nk=2\n"
    "[Eq]\na=b=c\n[EmptyName]\n =v\nafter=1\n";

std::u16string U(std::string_view s) { return ToUtf16(s, 1252); }

struct ValueCase {
  const char* section;
  const char* key;
  const char* value;  // null: none (the default is returned)
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.section << "/" << c.key; }

class ProfileValueTest : public testing::TestWithParam<ValueCase> {};

TEST_P(ProfileValueTest, ReadsAsWine) {
  Profile p(U(kFile));
  std::optional<std::u16string> v = p.Value(U(GetParam().section), U(GetParam().key));
  if (!GetParam().value) {
    EXPECT_FALSE(v) << GetParam().key;
  } else {
    ASSERT_TRUE(v) << GetParam().key;
    EXPECT_EQ(*v, U(GetParam().value)) << GetParam().key;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Wine, ProfileValueTest,
    testing::Values(
        ValueCase{"Author", "MainAddress", "alice"},  // white space trimmed
        ValueCase{"AUTHOR", "mainaddress", "alice"},  // names without case
        ValueCase{" Author ", " MainAddress ", "alice"},
        ValueCase{"Author", "quoted", "q v"},  // one pair of quotes dropped
        ValueCase{"Author", "sq", "s v"},
        ValueCase{"Author", "mis", "\"abc"},  // unmatched quote kept
        ValueCase{"Author", "half", "\""},
        ValueCase{"Author", "noeq", nullptr},  // a line without "="
        ValueCase{"Author", ";semi", "1"},    // comments read when asked
        ValueCase{"Author", "#hash", "2"},
        ValueCase{"Author", "tab", "x"},
        ValueCase{"Author", "ctlz", "x"},     // ^Z counts as white space
        ValueCase{"Author", "late", nullptr},  // only the first section counts
        ValueCase{"Soft", "SoftKey", "sp"},   // "[ Soft ]" is section Soft
        ValueCase{"Soft", "broken", "1"},     // "[Soft" is no section line
        ValueCase{"Dup", "k", "1"},           // the first of repeated keys
        ValueCase{"Eq", "a", "b=c"},          // split at the first "="
        ValueCase{"Missing", "k", nullptr}));

struct SectionCase {
  const char* section;
  std::vector<std::string> names;
};

void PrintTo(const SectionCase& c, std::ostream* os) { *os << c.section; }

class ProfileSectionTest : public testing::TestWithParam<SectionCase> {};

TEST_P(ProfileSectionTest, ListsKeyNamesAsWine) {
  Profile p(U(kFile));
  std::vector<std::string> got;
  for (const std::u16string& n : p.KeyNames(U(GetParam().section)))
    got.push_back(FromUtf16(n, 1252));
  EXPECT_EQ(got, GetParam().names);
}

INSTANTIATE_TEST_SUITE_P(
    Wine, ProfileSectionTest,
    testing::Values(
        SectionCase{"author", {"MainAddress", "quoted", "sq", "mis", "half", "#hash", "tab", "ctlz"}},
        SectionCase{" Author ", {}},  // the listing does not trim the name
        SectionCase{"Soft", {"SoftKey", "broken"}},
        SectionCase{"Empty", {}},
        SectionCase{"OnlyComment", {}},
        SectionCase{"NoEq", {}},
        SectionCase{"Dup", {"k", "k"}},
        SectionCase{"EmptyName", {"", "after"}}));

const char kUtf16[] =
    "\xFF\xFE[\0A\0u\0t\0h\0o\0r\0]\0\n\0M\0a\0i\0n\0A\0d\0d\0r\0e\0s\0s\0=\0B\x30\n\0";

TEST(ProfileTest, LineEndsAndEncodings) {
  struct Case {
    std::string bytes;
    unsigned cp;
    std::u16string value;
  } cases[] = {
      {"[Author]\r\nMainAddress=crlf\r\n", 1252, u"crlf"},
      {"[Author]\rMainAddress=cr\r", 1252, u"cr"},
      {"\xEF\xBB\xBF[Author]\nMainAddress=\xE3\x81\x82" "bom\n", 932, u"\u3042bom"},
      {std::string(kUtf16, sizeof kUtf16 - 1), 932, u"\u3042"},
      // 0x83 0x5D is one character whose second byte is "]".
      {"[\x83\x5D]\nMainAddress=v\n", 932, u"v"},
  };
  for (const Case& c : cases) {
    Profile p(DecodeProfile(c.bytes, c.cp));
    std::u16string section = c.bytes.find("\x83\x5D") != std::string::npos ? u"\u30be" : u"Author";
    std::optional<std::u16string> v = p.Value(section, u"MainAddress");
    ASSERT_TRUE(v) << c.bytes;
    EXPECT_EQ(*v, c.value);
  }
}

}  // namespace
