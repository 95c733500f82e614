// The Linux settings reader against GetPrivateProfileStringA itself: the
// same files read through ini_probe.exe under Wine and through the reader,
// every read the same bytes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "store/settings.h"
#include "tests/e2e_support.h"

namespace {

std::string Hex(const std::string& s) {
  std::string out;
  char b[3];
  for (unsigned char c : s) snprintf(b, sizeof b, "%02x", c), out += b;
  return out;
}

const char kUtf16Bom[] =
    "\xFF\xFE[\0A\0u\0t\0h\0o\0r\0]\0\r\0\n\0M\0a\0i\0n\0A\0d\0d\0r\0e\0s\0s\0=\0B\x30x\0\r\0\n\0";

struct File {
  const char* name;
  std::string bytes;
};

void PrintTo(const File& f, std::ostream* os) { *os << f.name; }

const File kCorpus[] = {
    {"comments_blank_lines", "; c\n# h\n\n[Author]\n;MainAddress=no\n#Author=hash\n\nMainAddress=yes\n"},
    {"quotes", "[Author]\nMainAddress=\"q v\"\nAuthor='s'\nDisplayHost=\"abc\nInfoURL=\"\nInfoInc=\"\"\n"},
    {"white_space", "  [Author]  \n\t MainAddress \t=\t v w \t\nAuthor=\x1a" "z\n[ Soft ]\nSoftKey = k\n"},
    {"case", "[AUTHOR]\nmainaddress=lower\n[soft]\nSOFTKEY=K\n"},
    {"repeated", "[Author]\nMainAddress=first\nMainAddress=second\n[Author]\nAuthor=late\n[Soft]\n[Soft]\nSoftKey=x\n"},
    {"no_equals", "[Author]\nMainAddress\nAuthor=a=b\n[Soft]\nSoftKey\n"},
    {"crlf", "[Author]\r\nMainAddress=crlf\r\n[Soft]\r\nSoftKey=s\r\n"},
    {"utf8_bom", "\xEF\xBB\xBF[Author]\nMainAddress=\xE3\x81\x82\xE2\x82\xAC\n"},
    {"utf16_bom", std::string(kUtf16Bom, sizeof kUtf16Bom - 1)},
    {"long_value", "[Author]\nMainAddress=" + std::string(3000, 'x') + "\nAuthor=" + std::string(1500, '\x82') + "\n"},
    {"code_page_932", "[Author]\nMainAddress=\x83\x5c\x82\xa0\nAuthor=\x81 \x80\xa0\n[\x83\x5d]\nSoftKey=v\n"},
    {"empty_name_first", "[Soft]\n=v\nSoftKey=k\n"},
    {"only_comment", "[Soft]\n;SoftKey=x\n"},
};

const char* const kSections[] = {"Author", "Soft", "\x83\x5d"};
const char* const kKeys[] = {"MainAddress", "Author", "DisplayHost", "InfoURL", "InfoInc", "SoftKey"};

class SettingsDifferentialTest : public testing::TestWithParam<File> {};

TEST_P(SettingsDifferentialTest, ReadsAsGetPrivateProfileStringA) {
  SKIP_WITHOUT_WINE();
  if (WindowsBuildDir().empty()) GTEST_SKIP() << "*** no Windows build ***";
  Sandbox box;
  CopyPrefix(WineTemplatePrefix(), box.prefix);
  const std::string path = box.dir + "/corpus.ini";
  WriteFile(path, GetParam().bytes);

  std::vector<std::string> argv = {"/bin/sh", "-c", "exec wine \"$@\"", "wine",
                                   WindowsBuildDir() + "/ini_probe.exe", "Z:" + path};
  for (char& c : argv.back())
    if (c == '/') c = '\\';
  std::vector<std::string> expected_order;
  for (const char* s : kSections) {
    for (const char* k : kKeys) argv.push_back(Hex(s)), argv.push_back(Hex(k));
    argv.push_back(Hex(s)), argv.push_back("-");
  }
  RunResult r = RunCommand(argv, {"WINEPREFIX=" + box.prefix, "WINEDEBUG=-all", "LC_ALL=ja_JP.UTF-8"}, box.dir);
  RunCommand({"/bin/sh", "-c", "wineserver -w"}, {"WINEPREFIX=" + box.prefix}, box.dir);

  setenv("LC_ALL", "ja_JP.UTF-8", 1);  // code page 932, as for Wine
  std::unique_ptr<SettingsReader> reader = NewSettingsReader(path);
  std::vector<std::string> ours;
  for (const char* s : kSections) {
    for (const char* k : kKeys) {
      std::string v = reader->ReadText(s, k, "");
      ours.push_back(std::to_string(v.size()) + " " + Hex(v));
    }
    ours.push_back(reader->SectionTest(s) ? "listed" : "empty");
  }
  unsetenv("LC_ALL");

  std::vector<std::string> theirs;
  size_t pos = 0;
  int field = 0;
  while (pos < r.out.size()) {
    size_t nl = r.out.find('\n', pos);
    std::string line = r.out.substr(pos, nl - pos);
    pos = nl == std::string::npos ? r.out.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (++field % 7 == 0) {
      // The listing: what the section test sees is its first name.
      std::string hex = line.substr(line.find(' ') + 1);
      theirs.push_back(line != "0 " && hex.substr(0, 2) != "00" ? "listed" : "empty");
    } else {
      // Cut at the first zero, as the Windows reader does.
      std::string hex = line.substr(line.find(' ') + 1);
      size_t z = 0;
      while (z + 1 < hex.size() && hex.substr(z, 2) != "00") z += 2;
      theirs.push_back(std::to_string(z / 2) + " " + hex.substr(0, z));
    }
  }
  EXPECT_EQ(ours, theirs) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, SettingsDifferentialTest, testing::ValuesIn(kCorpus),
                         [](const testing::TestParamInfo<File>& info) { return info.param.name; });

}  // namespace
