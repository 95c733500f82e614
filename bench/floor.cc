// The floors the tool is measured against:
//   floor copy <hive>     copies the hive to a new file beside it, fsyncs it,
//                         renames it over a second name, fsyncs the directory;
//   floor write <n> <dir> writes n bytes to a new file in dir, fsyncs, renames.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Replace(const std::string& dir, const char* data, size_t size) {
  std::string tmp = dir + "/floor.tmp", dst = dir + "/floor.out";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return 1;
  for (size_t off = 0; off < size;) {
    ssize_t n = write(fd, data + off, size - off);
    if (n <= 0) return 1;
    off += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0 || rename(tmp.c_str(), dst.c_str()) != 0) return 1;
  int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  fsync(d);
  close(d);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "copy") == 0) {
    std::string src = argv[2];
    int fd = open(src.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return 1;
    std::vector<char> buf(static_cast<size_t>(st.st_size));
    for (size_t off = 0; off < buf.size();) {
      ssize_t n = read(fd, buf.data() + off, buf.size() - off);
      if (n <= 0) return 1;
      off += static_cast<size_t>(n);
    }
    close(fd);
    return Replace(src.substr(0, src.rfind('/')), buf.data(), buf.size());
  }
  if (argc == 4 && strcmp(argv[1], "write") == 0) {
    std::vector<char> buf(strtoul(argv[2], nullptr, 10), 'x');
    return Replace(argv[3], buf.data(), buf.size());
  }
  return 2;
}
