// INI text read the way the Windows profile functions (as Wine implements
// GetPrivateProfileString) read it. Works on UTF-16; the POSIX settings
// reader decodes the file and encodes the results.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file's bytes as text: UTF-8 or UTF-16 (LE or BE) when it starts with
// that byte-order mark, otherwise code page `cp`.
std::u16string DecodeProfile(std::string_view bytes, unsigned cp);

class Profile {
 public:
  explicit Profile(std::u16string_view text);

  // The value of `key` in the first section named `section`, both names
  // without regard to case and surrounding white space; one pair of
  // matching quotes around it dropped. None when the section has no such
  // key or the key's line has no "=".
  std::optional<std::u16string> Value(std::u16string_view section,
                                      std::u16string_view key) const;

  // The key names of the first section named exactly `section` (case
  // aside), as listed for a null key: no comment (";") lines and no lines
  // without "=".
  std::vector<std::u16string> KeyNames(std::u16string_view section) const;

 private:
  struct Key {
    std::u16string name;
    std::optional<std::u16string> value;
  };
  struct Section {
    std::u16string name;
    std::vector<Key> keys;
  };
  const Section* Find(std::u16string_view name) const;
  std::vector<Section> sections_;
};
