// The run modes against an in-memory settings file and a store that
// records its calls: which reads and writes happen, in which order, on
// which paths.
#include "app/run_modes.h"

#include <gtest/gtest.h>

#include <map>

#include "frame/exception.h"

namespace {

class FakeSettings : public SettingsReader {
 public:
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::vector<std::string>* log = nullptr;

  std::string ReadText(const std::string& section, const std::string& key,
                       const std::string& default_text) override {
    log->push_back("read " + section + "/" + key);
    auto s = sections.find(section);
    if (s == sections.end()) return default_text;
    auto k = s->second.find(key);
    return k == s->second.end() ? default_text : k->second;
  }
  bool SectionTest(const std::string& section) override {
    log->push_back("test " + section);
    auto s = sections.find(section);
    return s != sections.end() && !s->second.empty();
  }
};

class FakeStore : public RegistryStore {
 public:
  std::vector<std::string>* log = nullptr;
  std::string refuse;  // a value name whose write is refused

  bool OpenKey(const std::string& path, bool create) override {
    log->push_back(std::string(create ? "create " : "open ") + path);
    return true;
  }
  void WriteText(const std::string& name, const std::string& text) override {
    if (name == refuse) throw ERegistryException(name, nullptr);
    log->push_back("sz " + name + "=" + text);
  }
  void WriteInteger(const std::string& name, int32_t value) override {
    if (name == refuse) throw ERegistryException(name, nullptr);
    log->push_back("dword " + name + "=" + std::to_string(value));
  }
  bool DeleteKey(const std::string& path) override {
    log->push_back("delete " + path);
    return true;
  }
  void Release() override {}
};

class RunModesTest : public testing::Test {
 protected:
  RunModesTest() {
    settings_.log = &log_;
    store_.log = &log_;
  }

  std::vector<std::string> Run(std::vector<std::string> args) {
    log_.clear();
    Arguments a("/x/authreg", std::move(args));
    RunContext run{store_, settings_, a, &RunModesTest::Box};
    boxes_ = &log_;
    Dispatch(run);
    return log_;
  }

  // Only the registry's side of the log.
  std::vector<std::string> Writes(std::vector<std::string> args) {
    std::vector<std::string> out;
    for (std::string& l : Run(std::move(args)))
      if (l.rfind("read ", 0) != 0 && l.rfind("test ", 0) != 0) out.push_back(l);
    return out;
  }

  static void Box(std::string_view text, std::string_view caption, unsigned style) {
    boxes_->push_back("box " + std::string(caption) + " " +
                      std::to_string(style) + " " + std::string(text).substr(0, 7));
  }

  static inline std::vector<std::string>* boxes_;
  std::vector<std::string> log_;
  FakeSettings settings_;
  FakeStore store_;
};

TEST_F(RunModesTest, RegistrationReadsRightBeforeEachWrite) {
  settings_.sections = {
      {"Author", {{"MainAddress", "alice"}, {"Author", "Alice"}, {"DisplayHost", "h"},
                  {"InfoURL", "u"}}},
      {"Soft", {{"SoftKey", "tool"}, {"DistinctName", "d"}, {"DisplayName", "n"},
                {"Build", "7"}}}};
  EXPECT_EQ(Run({}), (std::vector<std::string>{
                         "read Author/MainAddress",
                         "create \\Software\\Norvane\\alice",
                         "read Author/Author", "sz Author=Alice",
                         "read Author/DisplayHost", "sz DisplayHost=h",
                         "read Author/InfoInc",
                         "read Author/InfoURL", "sz InfoURL=u",
                         "test Soft",
                         "read Soft/SoftKey",
                         "create \\Software\\Norvane\\alice\\tool",
                         "read Soft/DistinctName", "sz DistinctName=d",
                         "read Soft/DisplayName", "sz DisplayName=n",
                         "read Soft/Build", "dword Build=7"}));
}

TEST_F(RunModesTest, InfoIncChoosesTheValueName) {
  struct Case {
    const char* info_inc;  // null: missing
    std::vector<std::string> writes;
  } cases[] = {
      {nullptr, {"sz InfoURL=u"}},
      {"0", {"sz InfoURL=u"}},
      {"-5", {"sz InfoURL=u"}},
      {"abc", {"sz InfoURL=u"}},
      {"2", {"sz InfoURL2=u"}},
      {"3", {"sz InfoURL3=u"}},
      {"0x10", {"sz InfoURL16=u"}},
      {"2147483647", {"sz InfoURL2147483647=u"}},
      {"1", {"box ERROR 16 InfoInc"}},
  };
  for (const Case& c : cases) {
    settings_.sections = {{"Author", {{"MainAddress", "a"}, {"InfoURL", "u"}}}};
    if (c.info_inc) settings_.sections["Author"]["InfoInc"] = c.info_inc;
    std::vector<std::string> log = Run({});
    std::vector<std::string> info;
    for (const std::string& l : log)
      if (l.find("InfoURL") != std::string::npos || l.rfind("box", 0) == 0) info.push_back(l);
    if (std::string(c.info_inc ? c.info_inc : "") == "1") {
      EXPECT_EQ(info, c.writes) << "InfoURL is not even read";
    } else {
      std::vector<std::string> expected = c.writes;
      expected.insert(expected.begin(), "read Author/InfoURL");
      EXPECT_EQ(info, expected) << (c.info_inc ? c.info_inc : "missing");
    }
  }
}

TEST_F(RunModesTest, SoftwareStepNeedsASectionWithKeys) {
  settings_.sections = {{"Author", {{"MainAddress", "a"}}}, {"Soft", {}}};
  EXPECT_EQ(Writes({}), (std::vector<std::string>{
                            "create \\Software\\Norvane\\a", "sz Author=",
                            "sz DisplayHost=", "sz InfoURL="}));
  settings_.sections["Soft"] = {{"DisplayName", "n"}};
  EXPECT_EQ(Writes({"A", "B"}), (std::vector<std::string>{
                            "create \\Software\\Norvane\\a", "sz Author=",
                            "sz DisplayHost=", "sz InfoURL=",
                            "create \\Software\\Norvane\\a\\",
                            "sz DistinctName=", "sz DisplayName=n", "dword Build=0"}));
}

TEST_F(RunModesTest, ARefusedWriteEndsTheMode) {
  settings_.sections = {{"Author", {{"MainAddress", "a"}}}, {"Soft", {{"SoftKey", "s"}}}};
  store_.refuse = "DisplayName";
  EXPECT_THROW(Run({}), ERegistryException);
  EXPECT_EQ(log_.back(), "read Soft/DisplayName");
}

TEST_F(RunModesTest, RemovalPaths) {
  struct Case {
    std::map<std::string, std::string> author, soft;
    std::vector<std::string> args;
    std::vector<std::string> writes;
  } cases[] = {
      {{{"MainAddress", "m"}}, {{"SoftKey", "s"}}, {"/delauthor"}, {"delete \\Software\\Norvane\\m"}},
      {{{"MainAddress", "m"}}, {}, {"/delauthor", "A", "B"}, {"delete \\Software\\Norvane\\A"}},
      {{{"MainAddress", "m"}}, {}, {"/delauthor", "A\\B"}, {"delete \\Software\\Norvane\\A\\B"}},
      {{}, {}, {"/delauthor"}, {}},
      {{{"MainAddress", ""}}, {}, {"/delauthor"}, {}},
      {{{"MainAddress", "m"}}, {{"SoftKey", "s"}}, {"/delsoft"}, {"delete \\Software\\Norvane\\m\\s"}},
      {{{"MainAddress", "m"}}, {{"SoftKey", "s"}}, {"/delsoft", "A", "B"}, {"delete \\Software\\Norvane\\m\\A\\B"}},
      {{{"MainAddress", "m"}}, {}, {"/delsoft", "A"}, {"delete \\Software\\Norvane\\m\\A\\"}},
      {{{"MainAddress", "m"}}, {}, {"/delsoft"}, {"delete \\Software\\Norvane\\m\\"}},
      {{}, {}, {"/delsoft"}, {"delete \\Software\\Norvane\\\\"}},
  };
  for (const Case& c : cases) {
    settings_.sections.clear();
    if (!c.author.empty()) settings_.sections["Author"] = c.author;
    if (!c.soft.empty()) settings_.sections["Soft"] = c.soft;
    std::vector<std::string> log = Run(c.args);
    std::vector<std::string> writes;
    for (const std::string& l : log) {
      EXPECT_NE(l, "test Soft") << "removal makes no section test";
      if (l.rfind("read ", 0) != 0) writes.push_back(l);
    }
    EXPECT_EQ(writes, c.writes) << c.args[0] << " " << c.args.size();
  }
}

TEST_F(RunModesTest, SwitchesCompareExactly) {
  settings_.sections = {{"Author", {{"MainAddress", "m"}}}};
  for (const char* s : {"/DELAUTHOR", "/delauthor:", "-delsoft", "/delsoft ", "delsoft", "/del"}) {
    std::vector<std::string> w = Writes({s});
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.front(), "create \\Software\\Norvane\\m") << s;
  }
}

}  // namespace
