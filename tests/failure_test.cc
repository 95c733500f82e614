// How runs end when something fails: the report on standard error, its
// location, the releases before it, and exit code 1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <regex>

#include "app/run_modes.h"
#include "frame/frame.h"
#include "tests/e2e_support.h"

namespace {

const char kCaption[] = "アプリケーション エラー\n";

// The source line that holds `needle` in `file` of the source tree.
int SourceLine(const std::string& file, const std::string& needle) {
  std::string text = ReadFile(std::string(AUTHREG_SOURCE_DIR) + "/" + file);
  size_t at = text.find(needle);
  if (at == std::string::npos) return -1;
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
}

TEST(FailureTest, NoSettingsFileEndsInTheReportOfTheFirstWrite) {
  Sandbox box;
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      r.err, m,
      std::regex("アプリケーション エラー\nException ERegistryException in module authreg at "
                 "([0-9A-F]{8})\\.\n'Author' の設定に失敗しました\\.\n")))
      << r.err;
  EXPECT_FALSE(FileExists(box.HivePath())) << "nothing was written";

  // The figure is the address after the raising call, relative to the
  // program's load address: one byte back is the call, in the store.
  unsigned long offset = std::stoul(m[1].str(), nullptr, 16);
  char addr[32];
  snprintf(addr, sizeof addr, "0x%lx", offset - 1);
  RunResult where = RunCommand({"/usr/bin/addr2line", "-e", AUTHREG_BINARY, addr}, {}, box.dir);
  int line = SourceLine("store/registry-posix.cc", "RaiseWriteFailed(name);");
  EXPECT_NE(where.out.find("store/registry-posix.cc:" + std::to_string(line)), std::string::npos)
      << where.out << " expected line " << line;

  // The same figure on every run: the program is position-independent.
  EXPECT_EQ(box.Run({}).err, r.err);
}

// A store that refuses one value name, wrapped around the real one.
class RefusingStore : public RegistryStore {
 public:
  RefusingStore(RegistryStore& real, std::string refused) : real_(real), refused_(std::move(refused)) {}
  bool OpenKey(const std::string& p, bool c) override { return real_.OpenKey(p, c); }
  void WriteText(const std::string& n, const std::string& t) override {
    if (n == refused_) RaiseWriteFailed(n);
    real_.WriteText(n, t);
  }
  void WriteInteger(const std::string& n, int32_t v) override {
    if (n == refused_) RaiseWriteFailed(n);
    real_.WriteInteger(n, v);
  }
  bool DeleteKey(const std::string& p) override { return real_.DeleteKey(p); }
  void Release() override { real_.Release(); }

 private:
  RegistryStore& real_;
  std::string refused_;
};

TEST(FailureTest, ARefusedBuildWriteKeepsWhatWasWrittenBefore) {
  Sandbox box;
  box.WriteSettings(
      "[Author]\nMainAddress=alice\nAuthor=A\n[Soft]\nSoftKey=Tool\nDistinctName=d\nDisplayName=n\nBuild=5\n");
  setenv("WINEPREFIX", box.prefix.c_str(), 1);
  setlocale(LC_ALL, "C.UTF-8");
  std::unique_ptr<RegistryStore> real = NewRegistryStore();
  RefusingStore registry(*real, "Build");
  std::unique_ptr<SettingsReader> settings = NewSettingsReader(box.dir + "/authreg.dat");
  Arguments args(box.program, {});
  RunContext run{registry, *settings, args, frame::ShowBox};
  bool released = false;
  try {
    frame::Guarded([&] { Dispatch(run); },
                   [&] {
                     settings.reset();
                     registry.Release();
                     released = true;
                   });
    ADD_FAILURE() << "the refused write did not escape";
  } catch (const ERegistryException& e) {
    EXPECT_TRUE(released);
    EXPECT_EQ(e.Message(), "'Build' の設定に失敗しました");
  }
  unsetenv("WINEPREFIX");
  std::map<std::string, std::string> keys = HiveKeys(box.Hive());
  EXPECT_EQ(keys["Software\\\\Norvane\\\\alice"], "\"Author\"=\"A\"\n\"DisplayHost\"=\"\"\n\"InfoURL\"=\"\"\n");
  EXPECT_EQ(keys["Software\\\\Norvane\\\\alice\\\\Tool"], "\"DisplayName\"=\"n\"\n\"DistinctName\"=\"d\"\n");
}

TEST(FailureTest, HiveFailuresAreReportedWithTheFile) {
  Sandbox box;
  box.WriteHive("WINE REGISTRY Version 2\n\n[a] 1\n\"v\"=\"ab");
  box.WriteSettings("[Author]\nMainAddress=a\n");
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      r.err, std::regex(std::string(kCaption) + "Exception EHiveError in module authreg at [0-9A-F]{8}\\.\n" +
                        box.HivePath() + ": not changed, since it cannot be parsed: the file ends in the middle "
                                         "of a line at line 4\\.\n")))
      << r.err;
}

#if defined(__SANITIZE_ADDRESS__)
#define AUTHREG_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define AUTHREG_ASAN 1
#endif
#endif

TEST(FailureTest, RunningOutOfMemoryEndsInTheOutOfMemoryReport) {
#if defined(AUTHREG_ASAN)
  GTEST_SKIP() << "AddressSanitizer needs more address space than this test allows; "
                  "the plain build runs it";
#endif
  Sandbox box;
  box.WriteSettings("[Author]\nMainAddress=a\n");
  // A hive larger than the memory the run may use.
  std::string hive = "WINE REGISTRY Version 2\n";
  std::string big(8 << 20, 'x');
  for (int i = 0; i < 12; ++i)
    hive += "\n[k" + std::to_string(i) + "] 1\n\"v\"=\"" + big + "\"\n";
  box.WriteHive(hive);
  RunResult r = RunCommand({"/bin/sh", "-c", "ulimit -v 60000; exec \"$0\"", box.program},
                           {"WINEPREFIX=" + box.prefix, "LC_ALL=C.UTF-8"}, box.dir);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      r.err, std::regex(std::string(kCaption) +
                        "Exception EOutOfMemory in module [^ ]+ at [0-9A-F]{8}\\.\nメモリが足りません\\.\n")))
      << r.err;
  EXPECT_EQ(box.Hive().size(), hive.size());
}

// Test-only faults, each in a child process with the frame in place.
volatile bool g_forever = true;

int Recurse(int n) {
  volatile char pad[512];
  pad[0] = static_cast<char>(n);
  return g_forever ? Recurse(n + 1) + pad[0] : 0;
}

// Left to the processor: under UBSan a division by zero would be caught
// by the sanitizer first.
#if defined(__clang__)
__attribute__((no_sanitize("undefined")))
#endif
void Fault(const std::string& kind) {
  if (kind == "access") {
    volatile int* p = nullptr;
    *p = 1;
  } else if (kind == "divide") {
    volatile int zero = 0, seven = 7;
    volatile int x = seven / zero;
    (void)x;
  } else {
    Recurse(0);
  }
}

TEST(FailureTest, ProcessorFaultsAreReported) {
  struct Case {
    const char* kind;
    const char* class_name;
  } cases[] = {{"access", "EAccessViolation"}, {"divide", "EDivByZero"}, {"stack", "EStackOverflow"}};
  for (const Case& c : cases) {
    int pipe_fd[2];
    ASSERT_EQ(pipe(pipe_fd), 0);
    pid_t pid = fork();
    if (pid == 0) {
      dup2(pipe_fd[1], 2);
      setenv("LC_ALL", "C.UTF-8", 1);
      frame::Start();
      Fault(c.kind);
      _exit(99);
    }
    close(pipe_fd[1]);
    std::string err;
    char buf[4096];
    for (ssize_t n; (n = read(pipe_fd[0], buf, sizeof buf)) > 0;) err.append(buf, n);
    close(pipe_fd[0]);
    int status;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << c.kind << " died by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1) << c.kind;
    EXPECT_TRUE(std::regex_match(
        err, std::regex(std::string(kCaption) + "Exception " + c.class_name +
                        " in module authreg_e2e_tests at [0-9A-F]{8}\\.\n[A-Za-z ]+\\.\n")))
        << err;
  }
}

}  // namespace
