// The registry store on Windows, on the advapi32 registry functions.
#include <windows.h>

#include <vector>

#include "frame/frame.h"
#include "store/registry.h"

namespace {

class Win32Store : public RegistryStore {
 public:
  ~Win32Store() override { Release(); }

  bool OpenKey(const std::string& path, bool create) override {
    bool absolute;
    std::vector<std::string> names;
    if (!SplitKeyPath<char>(path, &absolute, &names, PathLeadByteTest())) return false;
    const std::string sub = absolute ? path.substr(1) : path;
    HKEY key;
    LONG r = create && !sub.empty()
                 ? RegCreateKeyExA(BaseKey(absolute), sub.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                   nullptr, &key, nullptr)
                 : RegOpenKeyExA(BaseKey(absolute), sub.c_str(), 0,
                                 KEY_ALL_ACCESS, &key);
    if (r != ERROR_SUCCESS) return false;
    if (current_) RegCloseKey(current_);
    current_ = key;
    return true;
  }

  void WriteText(const std::string& name, const std::string& text) override {
    if (RegSetValueExA(current_, name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
      RaiseWriteFailed(name);
  }

  void WriteInteger(const std::string& name, int32_t value) override {
    DWORD data = static_cast<DWORD>(value);
    if (RegSetValueExA(current_, name.c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), 4) != ERROR_SUCCESS)
      RaiseWriteFailed(name);
  }

  bool DeleteKey(const std::string& path) override {
    bool absolute;
    std::vector<std::string> names;
    return SplitKeyPath<char>(path, &absolute, &names, PathLeadByteTest()) &&
           DeleteTree(path);
  }

  void Release() override {
    if (current_) RegCloseKey(current_);
    current_ = nullptr;
  }

 private:
  HKEY BaseKey(bool absolute) const {
    return absolute || !current_ ? HKEY_CURRENT_USER : current_;
  }

  // Subkeys from the last index to the first, each with its own subtree,
  // then the key itself, from the key that was current when it was called.
  bool DeleteTree(const std::string& path) {
    const bool absolute = !path.empty() && path[0] == '\\';
    const std::string sub = absolute ? path.substr(1) : path;
    const HKEY base = BaseKey(absolute);
    const HKEY saved = current_;
    HKEY key;
    if (RegOpenKeyExA(base, sub.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      current_ = key;
      frame::Guarded(
          [&] {
            DWORD count, longest;
            if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest,
                                 nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr) != ERROR_SUCCESS)
              return;
            // The length is in characters; a double-byte name needs twice
            // as many bytes.
            CPINFO cp;
            if (GetCPInfo(CP_ACP, &cp) && cp.MaxCharSize == 2) longest *= 2;
            std::vector<char> name(longest + 1);
            for (DWORD i = count; i-- > 0;) {
              DWORD size = longest + 1;
              if (RegEnumKeyExA(key, i, name.data(), &size, nullptr, nullptr,
                                nullptr, nullptr) == ERROR_SUCCESS)
                DeleteTree(std::string(name.data(), size));
            }
          },
          [&] {
            current_ = saved;
            RegCloseKey(key);
          });
    }
    return RegDeleteKeyA(base, sub.c_str()) == ERROR_SUCCESS;
  }

  HKEY current_ = nullptr;
};

}  // namespace

std::unique_ptr<RegistryStore> NewRegistryStore() {
  return std::make_unique<Win32Store>();
}
