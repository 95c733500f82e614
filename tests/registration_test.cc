// Registration runs of the built program on temporary prefixes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e_support.h"

namespace {

const char kSettings[] =
    "[Author]\n"
    "MainAddress=alice\n"
    "Author=Alice Example\n"
    "DisplayHost=example.org\n"
    "InfoURL=https://example.org/info\n"
    "[Soft]\n"
    "SoftKey=Tool\n"
    "DistinctName=tool-1\n"
    "DisplayName=The Tool\n"
    "Build=42\n";

TEST(RegistrationTest, WritesTheAuthorAndSoftwareKeys) {
  Sandbox box;
  box.WriteSettings(kSettings);
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  std::map<std::string, std::string> keys = HiveKeys(box.Hive());
  EXPECT_EQ(keys, (std::map<std::string, std::string>{
                      {"Software\\\\Norvane\\\\alice",
                       "\"Author\"=\"Alice Example\"\n"
                       "\"DisplayHost\"=\"example.org\"\n"
                       "\"InfoURL\"=\"https://example.org/info\"\n"},
                      {"Software\\\\Norvane\\\\alice\\\\Tool",
                       "\"Build\"=dword:0000002a\n"
                       "\"DisplayName\"=\"The Tool\"\n"
                       "\"DistinctName\"=\"tool-1\"\n"}}));
  EXPECT_TRUE(box.Hive().starts_with("WINE REGISTRY Version 2\n"));
}

TEST(RegistrationTest, InfoIncAndSoftSection) {
  struct Case {
    const char* settings;
    std::map<std::string, std::string> keys;
    const char* err;
  } cases[] = {
      {"[Author]\nMainAddress=a\nInfoInc=1\nInfoURL=u\n[Soft]\nSoftKey=s\n",
       {{"Software\\\\Norvane\\\\a", "\"Author\"=\"\"\n\"DisplayHost\"=\"\"\n"},
        {"Software\\\\Norvane\\\\a\\\\s",
         "\"Build\"=dword:00000000\n\"DisplayName\"=\"\"\n\"DistinctName\"=\"\"\n"}},
       "ERROR\nInfoInc パラメータの値が不正\n"},
      {"[Author]\nMainAddress=a\nInfoInc=3\nInfoURL=u\n",
       {{"Software\\\\Norvane\\\\a", "\"Author\"=\"\"\n\"DisplayHost\"=\"\"\n\"InfoURL3\"=\"u\"\n"}}, ""},
      {"[Author]\nMainAddress=a\nInfoInc=0x10\nInfoURL=u\n",
       {{"Software\\\\Norvane\\\\a", "\"Author\"=\"\"\n\"DisplayHost\"=\"\"\n\"InfoURL16\"=\"u\"\n"}}, ""},
      {"[Author]\nMainAddress=a\nInfoInc=abc\nInfoURL=u\n[Soft]\n",
       {{"Software\\\\Norvane\\\\a", "\"Author\"=\"\"\n\"DisplayHost\"=\"\"\n\"InfoURL\"=\"u\"\n"}}, ""},
      // A Soft section whose one key is an empty SoftKey holds keys: the
      // software key's path ends in a backslash, which the store refuses,
      // so the software values go to the author key.
      {"[Author]\nMainAddress=a\nInfoInc=-5\n[Soft]\nSoftKey=\nBuild=-1\n",
       {{"Software\\\\Norvane\\\\a",
         "\"Author\"=\"\"\n\"Build\"=dword:ffffffff\n\"DisplayHost\"=\"\"\n"
         "\"DisplayName\"=\"\"\n\"DistinctName\"=\"\"\n\"InfoURL\"=\"\"\n"}}, ""},
  };
  for (const Case& c : cases) {
    Sandbox box;
    box.WriteSettings(c.settings);
    RunResult r = box.Run({"ignored", "args"});
    EXPECT_EQ(r.exit_code, 0) << c.settings;
    EXPECT_EQ(r.err, c.err) << c.settings;
    EXPECT_EQ(HiveKeys(box.Hive()), c.keys) << c.settings;
  }
}

TEST(RegistrationTest, TextsGoThroughTheAnsiCodePageOfTheLocale) {
  Sandbox box;
  // Code page 932: あい, a lone lead byte before a space, and 0x5C.
  box.WriteSettings("[Author]\nMainAddress=\x82\xa0\nAuthor=\x82\xa0\x82\xa2\nDisplayHost=A\x81 B\\\n");
  RunResult r = box.Run({}, {"LC_ALL=ja_JP.UTF-8"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(HiveKeys(box.Hive())["Software\\\\Norvane\\\\\\x3042"],
            "\"Author\"=\"\\x3042\\x3044\"\n\"DisplayHost\"=\"A\\x30fbB\\\\\"\n\"InfoURL\"=\"\"\n");
  // Under a Western locale the same bytes are code page 1252.
  Sandbox west;
  west.WriteSettings("[Author]\nMainAddress=\x82\xa0\n");
  west.Run({});
  EXPECT_EQ(HiveKeys(west.Hive()).count("Software\\\\Norvane\\\\\\x201a\\xa0"), 1u) << west.Hive();
}

TEST(RegistrationTest, HostileValuesStayOneValueEach) {
  Sandbox box;
  box.WriteSettings(
      "[Author]\nMainAddress=a]\"[b\nAuthor=\"x\"=\"y\"\n"
      "DisplayHost=\\\"\n[x]\n\x01\x7f\nInfoURL=[Software\\\\Wine]\n");
  // The settings file ends the Author section at "[x]": InfoURL is in [x].
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::map<std::string, std::string> keys = HiveKeys(box.Hive());
  ASSERT_EQ(keys.size(), 1u) << box.Hive();
  EXPECT_EQ(keys.begin()->first, "Software\\\\Norvane\\\\a\\]\"\\[b");
  // One pair of quotes is dropped by the settings reader.
  EXPECT_EQ(keys.begin()->second,
            "\"Author\"=\"x\\\"=\\\"y\"\n\"DisplayHost\"=\"\\\\\\\"\"\n\"InfoURL\"=\"\"\n");
}

TEST(RegistrationTest, NoSettingsFileWritesNothing) {
  Sandbox box;
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_FALSE(FileExists(box.HivePath()));
}

TEST(RegistrationTest, KeepsAWineHiveByteForByte) {
  Sandbox box;
  const std::string before =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n"
      "[Control Panel\\\\Desktop] 1797005748\n#time=1dd898ae24a3f46\n\"Wallpaper\"=\"\"\n\n"
      "[SOFTWARE\\\\norvane\\\\ALICE] 1797000000\n#time=1dd8980000000000\n\"author\"=\"old\"\n\"Other\"=\"kept\"\n\n"
      "[Software\\\\Wine\\\\Fonts] 1797005769\n#time=1dd898aee822ea4\n\"Codepages\"=\"932,932\"\n";
  box.WriteHive(before);
  chmod(box.HivePath().c_str(), 0640);
  box.WriteSettings(kSettings);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  std::string after = box.Hive();
  for (const char* kept : {
           "\n\n[Control Panel\\\\Desktop] 1797005748\n#time=1dd898ae24a3f46\n\"Wallpaper\"=\"\"\n\n",
           "\n[Software\\\\Wine\\\\Fonts] 1797005769\n#time=1dd898aee822ea4\n\"Codepages\"=\"932,932\"\n"})
    EXPECT_NE(after.find(kept), std::string::npos) << after;
  EXPECT_TRUE(after.starts_with(before.substr(0, before.find("[Control"))));
  std::map<std::string, std::string> keys = HiveKeys(after);
  // The key is found whatever its case; a replaced value keeps its spelling.
  EXPECT_EQ(keys["SOFTWARE\\\\norvane\\\\ALICE"],
            "\"author\"=\"Alice Example\"\n\"DisplayHost\"=\"example.org\"\n"
            "\"InfoURL\"=\"https://example.org/info\"\n\"Other\"=\"kept\"\n");
  EXPECT_EQ(keys.count("SOFTWARE\\\\norvane\\\\ALICE\\\\Tool"), 1u) << after;
  struct stat st;
  ASSERT_EQ(stat(box.HivePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(RegistrationTest, RunningTwiceGivesTheSameKeys) {
  Sandbox box;
  box.WriteSettings(kSettings);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  std::string once = WithoutTimes(box.Hive());
  ASSERT_EQ(box.Run({}).exit_code, 0);
  EXPECT_EQ(WithoutTimes(box.Hive()), once);
}

TEST(RegistrationTest, WineStartsOnAPrefixThisToolMade) {
  SKIP_WITHOUT_WINE();
  Sandbox box;
  box.WriteSettings(kSettings);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  ASSERT_FALSE(FileExists(box.prefix + "/system.reg"));
  // Wine sets the new prefix up around the hive and keeps its keys.
  std::string exported = WineExport(box.prefix, "Software\\Norvane");
  EXPECT_NE(exported.find("[HKEY_CURRENT_USER\\Software\\Norvane\\alice\\Tool]\n\"Build\"=dword:0000002a"),
            std::string::npos) << exported;
  EXPECT_TRUE(FileExists(box.prefix + "/system.reg"));
}

TEST(RegistrationTest, WineReadsWhatWasWritten) {
  SKIP_WITHOUT_WINE();
  Sandbox box;
  CopyPrefix(WineTemplatePrefix(), box.prefix);
  const std::string before = box.Hive();
  box.WriteSettings(
      "[Author]\nMainAddress=alice\nAuthor=A \"q\" \\ [x] \x82\xa0\nInfoInc=2\nInfoURL=u\n"
      "[Soft]\nSoftKey=Tool\\v2\nBuild=0xFFFFFFFE\n");
  RunResult r = box.Run({}, {"LC_ALL=ja_JP.UTF-8"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Every key Wine wrote is still there as it was.
  std::map<std::string, std::string> old_keys = HiveKeys(before), new_keys = HiveKeys(box.Hive());
  for (const auto& [path, body] : old_keys) EXPECT_EQ(new_keys[path], body) << path;
  std::string exported = WineExport(box.prefix, "Software\\Norvane");
  EXPECT_NE(exported.find("[HKEY_CURRENT_USER\\Software\\Norvane\\alice]\n"
                          "\"Author\"=\"A \\\"q\\\" \\\\ [x] あ\"\n"
                          "\"DisplayHost\"=\"\"\n"
                          "\"InfoURL2\"=\"u\"\n"), std::string::npos) << exported;
  EXPECT_NE(exported.find("[HKEY_CURRENT_USER\\Software\\Norvane\\alice\\Tool\\v2]\n"
                          "\"Build\"=dword:fffffffe\n"
                          "\"DisplayName\"=\"\"\n"
                          "\"DistinctName\"=\"\"\n"), std::string::npos) << exported;
}

}  // namespace
