// The registry store on POSIX: HKEY_CURRENT_USER of a Wine prefix, kept in
// its text hive $WINEPREFIX/user.reg. The hive is read at the first
// operation and written back once, at release, when something changed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "frame/exception.h"
#include "frame/texts.h"
#include "store/codepage.h"
#include "store/hive.h"
#include "store/registry.h"

namespace {

// What Wine's registry accepts: 255 characters a key name, 16,383 a value
// name, and a sub-key path of 260 characters from its base key in all.
constexpr size_t kMaxKeyName = 255;
constexpr size_t kMaxValueName = 16383;
constexpr size_t kMaxSubkeyPath = 260;

// Names of new hives while they are written, beside the old one.
constexpr char kTempStem[] = "user.reg.authreg-";

[[noreturn]] AUTHREG_NOINLINE void RaiseHiveError(const std::string& file,
                                                  const std::string& reason) {
  throw EHiveError(file + ": " + reason, AUTHREG_RETURN_ADDRESS());
}

std::string SystemReason(const char* what) {
  return std::string(what) + ": " + strerror(errno);
}

uint64_t Now() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return 116444736000000000ULL + static_cast<uint64_t>(ts.tv_sec) * 10000000 +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

std::string Utf16Bytes(std::u16string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string PrefixDirectory() {
  if (const char* p = getenv("WINEPREFIX"); p && *p) return p;
  const char* home = getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

// True when a wineserver holds the lock of its server directory for
// `prefix`: below /tmp/.wine-<uid>/ upstream, below the directory named in
// $WINEPREFIX/wineserver on Debian.
bool WineServerRunning(const std::string& prefix) {
  struct stat st;
  if (stat(prefix.c_str(), &st) != 0) return false;
  char server[64];
  snprintf(server, sizeof server, "server-%llx-%llx",
           static_cast<unsigned long long>(st.st_dev),
           static_cast<unsigned long long>(st.st_ino));
  std::vector<std::string> dirs = {"/tmp/.wine-" + std::to_string(getuid())};
  if (FILE* f = fopen((prefix + "/wineserver").c_str(), "r")) {
    char name[256] = {};
    if (fgets(name, sizeof name, f)) {
      name[strcspn(name, "\r\n")] = '\0';
      if (name[0] == '/') dirs.push_back(name);
      dirs.push_back(std::string("/tmp/") + name);
      if (const char* tmp = getenv("TMPDIR"); tmp && *tmp)
        dirs.push_back(std::string(tmp) + "/" + name);
    }
    fclose(f);
  }
  for (const std::string& dir : dirs) {
    int fd = open((dir + "/" + server + "/lock").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    struct flock fl = {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    bool held = fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    close(fd);
    if (held) return true;
  }
  return false;
}

class HiveStore : public RegistryStore {
 public:
  HiveStore() : prefix_(PrefixDirectory()), file_(prefix_ + "/user.reg") {}
  ~HiveStore() override {
    if (lock_fd_ >= 0) close(lock_fd_);
  }

  bool OpenKey(const std::string& path, bool create) override {
    std::optional<KeyPath> key = Resolve(path);
    if (!key) return false;
    if (!hive_.KeyExists(*key)) {
      if (!create) return false;
      hive_.CreateKey(*key, Now());
    }
    current_ = std::move(key);
    return true;
  }

  void WriteText(const std::string& name, const std::string& text) override {
    // The text and its zero go through the code page as one buffer, as in
    // RegSetValueExA: a lead byte at the end takes the zero with it.
    Write(name, kRegSz, Utf16Bytes(ToUtf16(std::string_view(text.c_str(), text.size() + 1), cp_)));
  }

  void WriteInteger(const std::string& name, int32_t value) override {
    uint32_t v = static_cast<uint32_t>(value);
    char data[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                    static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    Write(name, kRegDword, std::string(data, 4));
  }

  bool DeleteKey(const std::string& path) override {
    std::optional<KeyPath> key = Resolve(path);
    return key && hive_.DeleteKey(*key, Now());
  }

  void Release() override {
    current_.reset();
    if (loaded_ && hive_.changed()) Save();
    if (lock_fd_ >= 0) close(lock_fd_);
    lock_fd_ = -1;
  }

 private:
  void Write(const std::string& name, uint32_t type, const std::string& data) {
    std::u16string wname = ToUtf16(name, cp_);
    if (!current_ || wname.size() > kMaxValueName) RaiseWriteFailed(name);
    hive_.SetValue(*current_, wname, type, data, Now());
  }

  // The hive path of a store path, or none when the registry would refuse
  // it. Loads the hive first.
  std::optional<KeyPath> Resolve(const std::string& path) {
    Load();
    // Names are split after the conversion, as the registry does, so that a
    // double-byte character ending in 0x5C stays one name.
    const std::u16string wide = ToUtf16(path, cp_);
    bool absolute;
    std::vector<std::u16string> names;
    if (!SplitKeyPath<char16_t>(wide, &absolute, &names)) return std::nullopt;
    KeyPath sub;
    for (const std::u16string& n : names) {
      if (n.size() > kMaxKeyName) return std::nullopt;
      if (!sub.empty()) sub += u'\\';
      sub += n;
    }
    if (sub.size() > kMaxSubkeyPath) return std::nullopt;
    if (absolute || !current_) return sub;
    return *current_ + u'\\' + sub;
  }

  // Takes the prefix's lock (held until release, so that runs on one
  // prefix follow each other) and reads the hive.
  void Load() {
    if (loaded_) return;
    if (mkdir(prefix_.c_str(), 0777) != 0 && errno != EEXIST)
      RaiseHiveError(prefix_, SystemReason("cannot create the prefix"));
    lock_fd_ = open(prefix_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_fd_ < 0 || flock(lock_fd_, LOCK_EX) != 0)
      RaiseHiveError(prefix_, SystemReason("cannot lock the prefix"));
    if (WineServerRunning(prefix_))
      throw EHiveError(FormatText(LoadText(TextId::kWineRunning), prefix_),
                       AUTHREG_RETURN_ADDRESS());
    RemoveStaleFiles();
    std::string text;
    int fd = open(file_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) RaiseHiveError(file_, SystemReason("cannot open"));
    if (fd < 0) {
      text = Hive::EmptyUserHive();
    } else {
      // Read into one buffer of the file's size: no copy on the way.
      struct stat st;
      size_t size = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? static_cast<size_t>(st.st_size) : 0;
      text.resize(size);
      size_t got = 0;
      char more[1 << 16];
      for (;;) {
        // Into the buffer while it has room; past its end (a file that grew
        // since fstat) through a small one, so the buffer is never copied
        // just to learn that the file ended.
        const bool room = got < text.size();
        ssize_t n = room ? read(fd, text.data() + got, text.size() - got)
                         : read(fd, more, sizeof more);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          int e = errno;
          close(fd);
          errno = e;
          RaiseHiveError(file_, SystemReason("cannot read"));
        }
        if (n == 0) break;
        if (!room) text.append(more, static_cast<size_t>(n));
        got += static_cast<size_t>(n);
      }
      text.resize(got);
      close(fd);
    }
    std::string reason;
    if (!hive_.Parse(std::move(text), &reason))
      RaiseHiveError(file_, "not changed, since it cannot be parsed: " + reason);
    loaded_ = true;
  }

  // New hives that a killed run left beside the old one. The prefix lock
  // is held, so no other run is writing one.
  void RemoveStaleFiles() {
    DIR* dir = opendir(prefix_.c_str());
    if (!dir) return;
    while (dirent* e = readdir(dir)) {
      if (strncmp(e->d_name, kTempStem, strlen(kTempStem)) == 0)
        unlinkat(dirfd(dir), e->d_name, 0);
    }
    closedir(dir);
  }

  // Writes the new hive beside the old one and renames it over, so that the
  // file is at every moment either the old hive or the new one. A hive that
  // is a symbolic link keeps the link; its target is replaced.
  void Save() {
    std::string target = file_;
    char resolved[PATH_MAX];
    struct stat st;
    bool exists = lstat(file_.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
      if (!realpath(file_.c_str(), resolved))
        RaiseHiveError(file_, SystemReason("cannot follow the link"));
      target = resolved;
      exists = stat(target.c_str(), &st) == 0;
    }
    std::string dir = target.substr(0, target.rfind('/'));
    std::string tmp = dir + "/" + kTempStem + "XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) RaiseHiveError(target, SystemReason("cannot create a file beside it"));
    mode_t mode = 0666;
    if (exists) {
      mode = st.st_mode & 07777;
      // Best effort: a user who may not give the file away keeps it.
      if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
    } else {
      mode_t mask = umask(0);
      umask(mask);
      mode &= ~mask;
    }
    bool ok = fchmod(fd, mode) == 0 && hive_.Write([fd](std::string_view piece) {
      while (!piece.empty()) {
        ssize_t n = write(fd, piece.data(), piece.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        piece.remove_prefix(static_cast<size_t>(n));
      }
      return true;
    });
    ok = ok && fsync(fd) == 0;
    int e = errno;
    ok = close(fd) == 0 && ok;
    if (ok && rename(tmp.c_str(), target.c_str()) != 0) ok = false, e = errno;
    if (!ok) {
      unlink(tmp.c_str());
      errno = e;
      RaiseHiveError(target, SystemReason("not changed, since the new hive could not be written"));
    }
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
      fsync(dfd);
      close(dfd);
    }
  }

  std::string prefix_;
  std::string file_;
  unsigned cp_ = AnsiCodePage();
  bool loaded_ = false;
  int lock_fd_ = -1;
  Hive hive_;
  std::optional<KeyPath> current_;
};

}  // namespace

std::unique_ptr<RegistryStore> NewRegistryStore() {
  return std::make_unique<HiveStore>();
}
