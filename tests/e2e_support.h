// Running the built program in a sandbox: a temporary directory with a copy
// of the program, its settings file beside it and a Wine prefix.
#pragma once

#include <map>
#include <string>
#include <vector>

struct RunResult {
  int exit_code = -1;  // 128 + signal when killed
  std::string out, err;
};

// Runs `argv` with the environment of this process, minus the variables
// that choose a prefix or a locale, plus `env` ("NAME=value" each).
RunResult RunCommand(const std::vector<std::string>& argv,
                     const std::vector<std::string>& env, const std::string& dir);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Runs the program with WINEPREFIX set to the sandbox's prefix and
  // LC_ALL=C.UTF-8 unless `env` sets them.
  RunResult Run(const std::vector<std::string>& args,
                std::vector<std::string> env = {}) const;

  void WriteSettings(const std::string& bytes) const;
  std::string HivePath() const { return prefix + "/user.reg"; }
  std::string Hive() const { return ReadFile(HivePath()); }
  void WriteHive(const std::string& text) const;

  std::string dir;      // holds the program and its settings file
  std::string program;  // dir + "/authreg"
  std::string prefix;   // dir + "/prefix"
};

// The keys of a hive text: the path as written between "[" and "]", to the
// lines after its "[" line with the "#time=" line left out.
std::map<std::string, std::string> HiveKeys(const std::string& text);

// The same hive with every key's modification time blanked, to compare
// the states of two runs.
std::string WithoutTimes(const std::string& text);

// Wine, when installed: a prefix Wine made itself, once per test run, and
// Wine's own reading of a prefix's registry.
bool HaveWine();
std::string WineTemplatePrefix();
void CopyPrefix(const std::string& from, const std::string& to);
// `wine regedit /e` of HKEY_CURRENT_USER\<key> on `prefix`, as UTF-8.
std::string WineExport(const std::string& prefix, const std::string& key);

#define SKIP_WITHOUT_WINE()                                                    \
  do {                                                                         \
    if (!HaveWine())                                                           \
      GTEST_SKIP() << "*** Wine is not installed: this check of the hive by " \
                      "Wine itself did not run ***";                           \
  } while (0)
