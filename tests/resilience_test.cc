// The hive under concurrent runs, a running Wine, kills, file-system faults
// and malformed input: nothing lost, nothing let in, never a damaged hive.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "store/hive.h"
#include "tests/e2e_support.h"

namespace {

const char kSettings[] = "[Author]\nMainAddress=alice\nAuthor=A\n[Soft]\nSoftKey=Tool\nBuild=1\n";

bool Parses(const std::string& text) {
  Hive h;
  std::string error;
  return h.Parse(text, &error);
}

// A hive of about `mib` MiB: many keys with typical values.
std::string BigHive(int mib) {
  std::string text = Hive::EmptyUserHive();
  for (int i = 0; text.size() < static_cast<size_t>(mib) << 20; ++i) {
    char block[512];
    snprintf(block, sizeof block,
             "\n[Software\\\\Vendor%03d\\\\Product%05d] 1797000000\n#time=1dd8980000000000\n"
             "\"Path\"=\"C:\\\\Program Files\\\\Vendor\\\\%05d\"\n\"Version\"=dword:%08x\n"
             "\"Name\"=\"Product number %d of the test\"\n",
             i % 500, i, i, i, i);
    text += block;
  }
  return text;
}

pid_t Start(const Sandbox& box, const std::vector<std::string>& args, const std::string& prefix) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    std::vector<char*> argv = {const_cast<char*>(box.program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ResilienceTest, ConcurrentRunsLoseNothing) {
  Sandbox shared;
  const int kRuns = 32;
  std::vector<std::unique_ptr<Sandbox>> boxes;
  for (int i = 0; i < kRuns; ++i) {
    boxes.push_back(std::make_unique<Sandbox>());
    boxes.back()->WriteSettings("[Author]\nMainAddress=author" + std::to_string(i) +
                                "\nAuthor=x\n[Soft]\nSoftKey=Tool\nBuild=" + std::to_string(i) + "\n");
  }
  std::vector<pid_t> pids;
  for (auto& b : boxes) pids.push_back(Start(*b, {}, shared.prefix));
  for (pid_t p : pids) EXPECT_EQ(Wait(p), 0);
  pids.clear();
  for (int i = 0; i < kRuns; i += 2)
    pids.push_back(Start(*boxes[0], {"/delauthor", "author" + std::to_string(i)}, shared.prefix));
  for (pid_t p : pids) EXPECT_EQ(Wait(p), 0);

  std::string hive = shared.Hive();
  ASSERT_TRUE(Parses(hive));
  std::map<std::string, std::string> keys = HiveKeys(hive);
  std::map<std::string, std::string> expected;
  for (int i = 1; i < kRuns; i += 2) {
    std::string a = "Software\\\\Norvane\\\\author" + std::to_string(i);
    expected[a] = "\"Author\"=\"x\"\n\"DisplayHost\"=\"\"\n\"InfoURL\"=\"\"\n";
    char build[16];
    snprintf(build, sizeof build, "%08x", i);
    expected[a + "\\\\Tool"] =
        std::string("\"Build\"=dword:") + build + "\n\"DisplayName\"=\"\"\n\"DistinctName\"=\"\"\n";
  }
  EXPECT_EQ(keys, expected);
  if (HaveWine()) {
    std::string exported = WineExport(shared.prefix, "Software\\Norvane");
    for (int i = 0; i < kRuns; ++i) {
      bool present = exported.find("\\author" + std::to_string(i) + "]") != std::string::npos;
      EXPECT_EQ(present, i % 2 == 1) << i;
    }
  }
}

TEST(ResilienceTest, ARunningWineServerIsNotOverruled) {
  SKIP_WITHOUT_WINE();
  Sandbox box;
  CopyPrefix(WineTemplatePrefix(), box.prefix);
  box.WriteSettings(kSettings);
  const std::string before = box.Hive();
  RunCommand({"/bin/sh", "-c", "wineserver -p 60"}, {"WINEPREFIX=" + box.prefix}, box.dir);
  RunResult r = box.Run({});
  RunCommand({"/bin/sh", "-c", "wineserver -k; wineserver -w"}, {"WINEPREFIX=" + box.prefix}, box.dir);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Wine is running on the prefix " + box.prefix), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("wineserver -k"), std::string::npos);
  EXPECT_NE(r.err.find("wineserver -w"), std::string::npos);
  EXPECT_EQ(HiveKeys(box.Hive()), HiveKeys(before)) << "Wine's own save aside, nothing changed";
  EXPECT_EQ(HiveKeys(box.Hive()).count("Software\\\\Norvane\\\\alice"), 0u);
  // Once it stopped, the run goes through.
  EXPECT_EQ(box.Run({}).exit_code, 0);
}

TEST(ResilienceTest, KilledRunsLeaveTheOldOrTheNewHive) {
  Sandbox box;
  box.WriteSettings(kSettings);
  const std::string old_hive = BigHive(4);
  box.WriteHive(old_hive);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  const std::string new_state = WithoutTimes(box.Hive());
  const std::string old_state = WithoutTimes(old_hive);
  auto t0 = std::chrono::steady_clock::now();
  box.WriteHive(old_hive);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  const auto run_us = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - t0).count();

  std::mt19937 rng(20261211);
  int old_count = 0, new_count = 0;
  for (int i = 0; i < 200; ++i) {
    box.WriteHive(old_hive);
    pid_t pid = Start(box, {}, box.prefix);
    std::this_thread::sleep_for(std::chrono::microseconds(rng() % (run_us + 1)));
    kill(pid, SIGKILL);
    Wait(pid);
    std::string hive = box.Hive();
    ASSERT_TRUE(Parses(hive)) << "run " << i;
    std::string state = WithoutTimes(hive);
    ASSERT_TRUE(state == old_state || state == new_state) << "run " << i;
    (state == old_state ? old_count : new_count)++;
  }
  printf("200 killed runs (a run takes %lld us): %d left the old hive, %d the new one\n",
         static_cast<long long>(run_us), old_count, new_count);
  // A stale new hive of a killed run does not stand in the way, and goes.
  WriteFile(box.prefix + "/user.reg.authreg-STALE1", "WINE REG");
  ASSERT_EQ(box.Run({}).exit_code, 0);
  EXPECT_FALSE(FileExists(box.prefix + "/user.reg.authreg-STALE1"));
}

// A directory of its own, with a small tmpfs mounted on it where the
// machine lets this process mount.
class Mount {
 public:
  Mount(const std::string& dir, const char* options) : dir_(dir) {
    mkdir(dir.c_str(), 0755);
    ok_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options) == 0;
  }
  ~Mount() {
    if (ok_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool ok() const { return ok_; }
  void ReadOnly() { mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr); }

 private:
  std::string dir_;
  bool ok_;
};

TEST(ResilienceTest, AFullDiskChangesNothing) {
  Sandbox box;
  Mount m(box.prefix, "size=256k");
  if (!m.ok()) GTEST_SKIP() << "*** cannot mount a tmpfs here: full-disk case not run ***";
  const std::string hive = BigHive(0) + "\n[Software\\\\Big] 1\n\"v\"=\"" + std::string(150000, 'x') + "\"\n";
  box.WriteHive(hive);
  box.WriteSettings(kSettings);
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find(box.HivePath() + ": not changed, since the new hive could not be written"),
            std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(box.Hive(), hive);
  std::string listing = RunCommand({"/bin/ls", "-A", box.prefix}, {}, box.dir).out;
  EXPECT_EQ(listing, "user.reg\n") << "no new hive left behind";
}

TEST(ResilienceTest, AReadOnlyPrefixChangesNothing) {
  Sandbox box;
  Mount m(box.prefix, "size=1m");
  if (!m.ok()) GTEST_SKIP() << "*** cannot mount a tmpfs here: read-only case not run ***";
  box.WriteHive(Hive::EmptyUserHive());
  m.ReadOnly();
  box.WriteSettings(kSettings);
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << r.err;
  EXPECT_EQ(box.Hive(), Hive::EmptyUserHive());
}

TEST(ResilienceTest, AHiveThatCannotBeReadChangesNothing) {
  Sandbox box;
  mkdir(box.prefix.c_str(), 0755);
  mkdir(box.HivePath().c_str(), 0755);  // a directory where the file should be
  box.WriteSettings(kSettings);
  RunResult r = box.Run({});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find(box.HivePath() + ": cannot read: Is a directory"), std::string::npos) << r.err;
}

TEST(ResilienceTest, PermissionsOfAnotherUser) {
  if (geteuid() != 0) GTEST_SKIP() << "*** needs root to act as another user ***";
  Sandbox box;
  box.WriteSettings(kSettings);
  box.WriteHive(Hive::EmptyUserHive());
  chmod(box.HivePath().c_str(), 0600);
  chmod(box.dir.c_str(), 0755);
  // Run as nobody: the prefix and the hive belong to root.
  RunResult r = RunCommand({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", box.program},
                           {"WINEPREFIX=" + box.prefix, "LC_ALL=C.UTF-8"}, "/tmp");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find(box.HivePath() + ": cannot open: Permission denied"), std::string::npos) << r.err;
  EXPECT_EQ(box.Hive(), Hive::EmptyUserHive());

  // Root changing a hive that belongs to someone else keeps owner and mode.
  chown(box.HivePath().c_str(), 65534, 65534);
  chmod(box.HivePath().c_str(), 0640);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  struct stat st;
  ASSERT_EQ(stat(box.HivePath().c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(box.Hive().find("alice"), std::string::npos);
}

TEST(ResilienceTest, AHiveThatIsALinkKeepsTheLink) {
  Sandbox box;
  mkdir(box.prefix.c_str(), 0755);
  const std::string target = box.dir + "/real.reg";
  WriteFile(target, Hive::EmptyUserHive());
  ASSERT_EQ(symlink(target.c_str(), box.HivePath().c_str()), 0);
  box.WriteSettings(kSettings);
  ASSERT_EQ(box.Run({}).exit_code, 0);
  struct stat st;
  ASSERT_EQ(lstat(box.HivePath().c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(ReadFile(target).find("[Software\\\\Norvane\\\\alice]"), std::string::npos);
}

TEST(ResilienceTest, MalformedHivesAreRefused) {
  struct Case {
    const char* what;
    std::string hive;
  } cases[] = {
      {"not Wine's format", "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\x]\n"},
      {"truncated in a line", Hive::EmptyUserHive() + "\n[a] 1\n\"v\"=\"abc"},
      {"unterminated string", Hive::EmptyUserHive() + "\n[a] 1\n\"v\"=\"abc\n"},
      {"unknown version", "WINE REGISTRY Version 3\n"},
      {"binary garbage", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10)},
      {"100 MB single line", Hive::EmptyUserHive() + "\n[a] 1\n\"v\"=\"" + std::string(100 << 20, 'x') + "\"\n"},
  };
  for (const Case& c : cases) {
    Sandbox box;
    box.WriteHive(c.hive);
    box.WriteSettings(kSettings);
    RunResult r = box.Run({});
    EXPECT_EQ(r.exit_code, 1) << c.what;
    EXPECT_NE(r.err.find(box.HivePath() + ": not changed, since it cannot be parsed"), std::string::npos)
        << c.what << ": " << r.err.substr(0, 300);
    EXPECT_TRUE(box.Hive() == c.hive) << c.what;
  }
}

TEST(ResilienceTest, NothingOutsideTheVendorBranch) {
  // Removal arguments that look like ways out: a ".." is a name like any
  // other, and empty names are refused.
  Sandbox box;
  const std::string hive = Hive::EmptyUserHive() +
                           "\n[Software\\\\Norvane\\\\a] 1\n\"v\"=\"1\"\n"
                           "\n[Software\\\\Wine] 1\n\"v\"=\"1\"\n";
  box.WriteHive(hive);
  box.WriteSettings("[Author]\nMainAddress=a\n");
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"/delauthor", "..\\..\\Wine"}, {"/delauthor", "\\"}, {"/delauthor", "\\Software\\Wine"},
           {"/delauthor", "a\\"}, {"/delsoft", "..", ".."}, {"/delauthor", "..\\Norvane"}}) {
    EXPECT_EQ(box.Run(args).exit_code, 0) << args[1];
    EXPECT_EQ(box.Hive(), hive) << args[1];
  }
}

}  // namespace
