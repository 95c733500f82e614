#include "tests/e2e_support.h"

#include "store/codepage.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)),
                     std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

RunResult RunCommand(const std::vector<std::string>& argv,
                     const std::vector<std::string>& env, const std::string& dir) {
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string v = *e;
    std::string name = v.substr(0, v.find('='));
    if (name == "WINEPREFIX" || name == "LANG" || name.rfind("LC_", 0) == 0) continue;
    vars.push_back(v);
  }
  vars.insert(vars.end(), env.begin(), env.end());
  std::vector<char*> cargv, cenv;
  for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  for (const std::string& v : vars) cenv.push_back(const_cast<char*>(v.c_str()));
  cenv.push_back(nullptr);

  // Files of their own: runs in the same directory may overlap.
  std::string out_path = dir + "/.stdout-XXXXXX", err_path = dir + "/.stderr-XXXXXX";
  int out = mkstemp(out_path.data()), err = mkstemp(err_path.data());
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out, 1);
    dup2(err, 2);
    execve(cargv[0], cargv.data(), cenv.data());
    _exit(127);
  }
  close(out);
  close(err);
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return r;
}

Sandbox::Sandbox() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/authreg-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  dir = pattern;
  program = dir + "/authreg";
  prefix = dir + "/prefix";
  WriteFile(program, ReadFile(AUTHREG_BINARY));
  chmod(program.c_str(), 0755);
}

Sandbox::~Sandbox() {
  RunCommand({"/bin/rm", "-rf", dir}, {}, "/tmp");
}

RunResult Sandbox::Run(const std::vector<std::string>& args,
                       std::vector<std::string> env) const {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  bool has_prefix = false, has_locale = false;
  for (const std::string& v : env) {
    has_prefix |= v.rfind("WINEPREFIX=", 0) == 0;
    has_locale |= v.rfind("LC_ALL=", 0) == 0;
  }
  if (!has_prefix) env.push_back("WINEPREFIX=" + prefix);
  if (!has_locale) env.push_back("LC_ALL=C.UTF-8");
  return RunCommand(argv, env, dir);
}

void Sandbox::WriteSettings(const std::string& bytes) const {
  WriteFile(dir + "/authreg.dat", bytes);
}

void Sandbox::WriteHive(const std::string& text) const {
  mkdir(prefix.c_str(), 0755);
  WriteFile(HivePath(), text);
}

namespace {

// The lines of a text, without their line feeds.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < text.size();) {
    size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return lines;
}

}  // namespace

std::map<std::string, std::string> HiveKeys(const std::string& text) {
  std::map<std::string, std::string> keys;
  std::string* current = nullptr;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("[", 0) == 0) {
      current = &keys[line.substr(1, line.rfind(']') - 1)];
    } else if (current && !line.empty() && line.rfind("#time=", 0) != 0) {
      *current += line + "\n";
    }
  }
  return keys;
}

std::string WithoutTimes(const std::string& text) {
  std::string out;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("#time=", 0) == 0) continue;
    out += (line.rfind("[", 0) == 0 ? line.substr(0, line.rfind(']') + 1) : line) + "\n";
  }
  return out;
}

bool HaveWine() {
  static const bool have = RunCommand({"/bin/sh", "-c", "command -v wine && command -v wineserver"}, {}, "/tmp").exit_code == 0;
  return have;
}

void CopyPrefix(const std::string& from, const std::string& to) {
  RunCommand({"/bin/cp", "-a", from, to}, {}, "/tmp");
  // The copy is a prefix of its own: no server of the template's applies.
  unlink((to + "/wineserver").c_str());
}

namespace {

// `bytes` in `charset`, as UTF-8.
std::string FromCodePage(const std::string& bytes, const char* charset) {
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == (iconv_t)-1) return bytes;
  std::string in = bytes, out(bytes.size() * 4 + 4, '\0');
  char* ip = in.data();
  size_t il = in.size();
  char* op = out.data();
  size_t ol = out.size();
  iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}


std::string WineRun(const std::string& prefix, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"/bin/sh", "-c", "exec wine \"$@\"; ", "wine"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r = RunCommand(argv, {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", "LC_ALL=C.UTF-8"}, "/tmp");
  RunCommand({"/bin/sh", "-c", "wineserver -w"}, {"WINEPREFIX=" + prefix}, "/tmp");
  return r.out + r.err;
}

}  // namespace

std::string WineTemplatePrefix() {
  static std::string prefix = [] {
    if (!HaveWine()) return std::string();
    const std::string p = AUTHREG_WINE_TEMPLATE;
    // Test processes run side by side: one makes the template, the others
    // wait for it.
    int lock = open((p + ".lock").c_str(), O_RDWR | O_CREAT, 0644);
    flock(lock, LOCK_EX);
    if (!FileExists(p + "/.ready")) {
      RunCommand({"/bin/rm", "-rf", p}, {}, "/tmp");
      WineRun(p, {"reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"});
      WriteFile(p + "/.ready", "");
    }
    close(lock);
    return p;
  }();
  return prefix;
}

std::string WineExport(const std::string& prefix, const std::string& key) {
  const std::string file = prefix + "/export.reg";
  unlink(file.c_str());
  std::string dos = "Z:" + file;
  for (char& c : dos)
    if (c == '/') c = '\\';
  WineRun(prefix, {"regedit", "/e", dos, "HKEY_CURRENT_USER\\" + key});
  std::string out = FromCodePage(ReadFile(file), "UTF-16");
  unlink(file.c_str());
  std::string no_cr;
  for (char c : out)
    if (c != '\r') no_cr += c;
  return no_cr;
}

namespace {

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

std::vector<Box> BoxesOnStderr(const std::string& err) {
  // Each box is its caption line, its text, and a line feed; the texts of
  // this tool hold at most one line feed (the failure report's).
  std::vector<Box> boxes;
  size_t pos = 0;
  while (pos < err.size()) {
    size_t caption_end = err.find('\n', pos);
    if (caption_end == std::string::npos) break;
    Box b{err.substr(pos, caption_end - pos), ""};
    size_t text_end = err.find('\n', caption_end + 1);
    if (b.caption == "アプリケーション エラー" && text_end != std::string::npos)
      text_end = err.find('\n', text_end + 1);
    if (text_end == std::string::npos) text_end = err.size();
    b.text = err.substr(caption_end + 1, text_end - caption_end - 1);
    boxes.push_back(b);
    pos = text_end + 1;
  }
  return boxes;
}

std::string WindowsBuildDir() {
  std::string dir = AUTHREG_WINDOWS_BUILD_DIR;
  return FileExists(dir + "/authreg.exe") && FileExists(dir + "/watcher.exe") ? dir : "";
}

WindowsRun RunUnderWine(const std::string& dir, const std::string& command_line,
                        const std::string& prefix, const std::string& locale) {
  WriteFile(dir + "/watcher.exe", ReadFile(WindowsBuildDir() + "/watcher.exe"));
  WriteFile(dir + "/command.txt", command_line);
  RunResult r = RunCommand({"/bin/sh", "-c", "cd \"$0\" && exec wine watcher.exe @command.txt", dir},
                           {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", "LC_ALL=" + locale}, dir);
  RunCommand({"/bin/sh", "-c", "wineserver -w"}, {"WINEPREFIX=" + prefix}, dir);
  WindowsRun w;
  for (std::string line : Lines(r.out)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("box ", 0) == 0) {
      size_t sp = line.find(' ', 4);
      std::string caption = line.substr(4, sp - 4), text = line.substr(sp + 1);
      const std::string cp = "CP" + std::to_string(CodePageForLocale(locale));
      w.boxes.push_back({FromCodePage(caption == "-" ? "" : Unhex(caption), cp.c_str()),
                         FromCodePage(text == "-" ? "" : Unhex(text), cp.c_str())});
    } else if (line.rfind("exit ", 0) == 0) {
      w.exit_code = std::stoi(line.substr(5));
    }
  }
  return w;
}
