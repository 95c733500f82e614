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
// that choose a prefix or a locale, plus `env` ("NAME=value" each). Its
// output goes through files in `dir`.
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

// Wine, when installed: a prefix Wine made itself with its null graphics
// driver (message boxes exist without a display), made once in the build
// tree and shared by the test processes, and Wine's own reading of a
// prefix's registry.
bool HaveWine();
std::string WineTemplatePrefix();
void CopyPrefix(const std::string& from, const std::string& to);
// `wine regedit /e` of HKEY_CURRENT_USER\<key> on `prefix`, as UTF-8.
std::string WineExport(const std::string& prefix, const std::string& key);

// A message box: caption and text, in UTF-8.
struct Box {
  std::string caption, text;
  bool operator==(const Box&) const = default;
};

// The boxes the POSIX build wrote to standard error.
std::vector<Box> BoxesOnStderr(const std::string& err);

// The Windows build, built beside this one; empty when it is not.
std::string WindowsBuildDir();

struct WindowsRun {
  int exit_code = -1;
  std::vector<Box> boxes;
};

// Runs `command_line` (the program first) in `dir` under Wine on `prefix`
// through the watcher, which closes each box; waits for the server to
// write the registry.
WindowsRun RunUnderWine(const std::string& dir, const std::string& command_line,
                        const std::string& prefix, const std::string& locale);

#define SKIP_WITHOUT_WINE()                                                    \
  do {                                                                         \
    if (!HaveWine())                                                           \
      GTEST_SKIP() << "*** Wine is not installed: this check of the hive by " \
                      "Wine itself did not run ***";                           \
  } while (0)
