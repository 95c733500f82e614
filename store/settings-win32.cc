// The settings reader on Windows: GetPrivateProfileStringA on every read.
#include <windows.h>

#include <cstring>
#include <vector>

#include "store/settings.h"

namespace {

class Win32SettingsReader : public SettingsReader {
 public:
  explicit Win32SettingsReader(std::string path) : path_(std::move(path)) {}

  std::string ReadText(const std::string& section, const std::string& key,
                       const std::string& default_text) override {
    // Zeroed, and cut at the first zero: what the call reports as copied
    // can run past what it wrote when a cut value ends in a double byte.
    char buf[2048] = {};
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(),
                                       default_text.c_str(), buf, sizeof buf,
                                       path_.c_str());
    return std::string(buf, strnlen(buf, n));
  }

  bool SectionTest(const std::string& section) override {
    std::vector<char> buf(16384);
    DWORD n = GetPrivateProfileStringA(section.c_str(), nullptr, nullptr,
                                       buf.data(), static_cast<DWORD>(buf.size()),
                                       path_.c_str());
    if (n == 0) return false;
    // The key names, each ended by a zero, up to the first empty one.
    std::vector<std::string> names;
    for (const char* p = buf.data(); p < buf.data() + n && *p; p += strlen(p) + 1)
      names.emplace_back(p);
    return !names.empty();
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<SettingsReader> NewSettingsReader(std::string settings_path) {
  return std::make_unique<Win32SettingsReader>(std::move(settings_path));
}

std::string LocateSettingsFile(std::string_view program_path) {
  return LocateSettingsFile(program_path, "\\:", PathLeadByteTest());
}
