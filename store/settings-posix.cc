// The settings reader on POSIX: the profile rules of store/profile.h on the
// file's bytes, with texts in the ANSI code page Wine would use.
#include <fstream>
#include <iterator>

#include "store/codepage.h"
#include "store/profile.h"
#include "store/settings.h"

namespace {

// The reads' result buffer holds 2047 bytes and the terminating zero.
constexpr size_t kMaxValue = 2047;

class PosixSettingsReader : public SettingsReader {
 public:
  explicit PosixSettingsReader(std::string path)
      : path_(std::move(path)), cp_(AnsiCodePage()) {}

  std::string ReadText(const std::string& section, const std::string& key,
                       const std::string& default_text) override {
    std::optional<std::u16string> value =
        Load().Value(ToUtf16(section, cp_), ToUtf16(key, cp_));
    if (!value) return default_text.substr(0, kMaxValue);
    std::u16string_view v(*value);
    v = v.substr(0, kMaxValue);
    std::string bytes = FromUtf16(v, cp_);
    // Cut whole characters only, as the system's conversion does.
    while (bytes.size() > kMaxValue) {
      v.remove_suffix(1);
      bytes = FromUtf16(v, cp_);
    }
    return bytes;
  }

  bool SectionTest(const std::string& section) override {
    std::vector<std::u16string> names = Load().KeyNames(ToUtf16(section, cp_));
    return !names.empty() && !names.front().empty();
  }

 private:
  // The file as it is now; a file that cannot be read reads as empty.
  Profile Load() const {
    std::ifstream in(path_, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)),
                      std::istreambuf_iterator<char>());
    return Profile(DecodeProfile(bytes, cp_));
  }

  std::string path_;
  unsigned cp_;
};

}  // namespace

std::unique_ptr<SettingsReader> NewSettingsReader(std::string settings_path) {
  return std::make_unique<PosixSettingsReader>(std::move(settings_path));
}

std::string LocateSettingsFile(std::string_view program_path) {
  return LocateSettingsFile(program_path, "/", PathLeadByteTest());
}
