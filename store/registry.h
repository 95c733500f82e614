// The registry store: the tool's one way into HKEY_CURRENT_USER.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/dbcs.h"

// Holds at most one open key, the current key; none after creation.
// Paths are key names joined by "\"; an absolute path begins with "\" and
// is taken from the root key, any other from the current key (or the root
// when none is current). Names compare without regard to case. A store
// that keeps the registry in a file (a Wine hive) raises EHiveError from any
// operation when that file cannot be read, parsed or saved; nothing else
// but a refused write raises.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Opens the key at `path`, creating missing keys when `create` is set. On
  // success it becomes the current key and the one before it is closed. On
  // failure nothing changes and the result is false. A path with an empty
  // name (a trailing "\", "\\" inside, or no name at all) is refused.
  virtual bool OpenKey(const std::string& path, bool create) = 0;

  // Writes a REG_SZ (the text and its terminating zero) or a REG_DWORD value
  // into the current key, replacing one of the same name. Raises
  // ERegistryException naming `name` when the registry refuses the write,
  // as it does with no current key.
  virtual void WriteText(const std::string& name, const std::string& text) = 0;
  virtual void WriteInteger(const std::string& name, int32_t value) = 0;

  // Deletes the key at `path` with every key below it: its subkeys from the
  // last to the first, each with its own subtree first, the key itself
  // last. False when the key does not exist or could not be deleted in
  // full; what was deleted stays deleted. A missing key raises nothing; the
  // current key afterwards is the one from before.
  virtual bool DeleteKey(const std::string& path) = 0;

  // Closes the current key. A store that keeps the registry in a file saves
  // it here; it raises EHiveError when that fails.
  virtual void Release() = 0;
};

// The platform's store on HKEY_CURRENT_USER.
std::unique_ptr<RegistryStore> NewRegistryStore();

// A path split into its names, with whether it was absolute. False when a
// name is empty: such paths are refused before the registry sees them. In
// a byte path a "\" that is the second byte of a double-byte character
// (by `is_lead_byte`) belongs to that character.
template <class Char>
bool SplitKeyPath(std::basic_string_view<Char> path, bool* absolute,
                  std::vector<std::basic_string<Char>>* names,
                  LeadByteTest is_lead_byte = nullptr) {
  *absolute = !path.empty() && path[0] == Char('\\');
  if (*absolute) path.remove_prefix(1);
  names->clear();
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size()) {
      if (path[i] != Char('\\')) continue;
      if constexpr (sizeof(Char) == 1) {
        if (IsSecondByte(path, i, is_lead_byte)) continue;
      }
    }
    if (i == start) return false;
    names->emplace_back(path.substr(start, i - start));
    start = i + 1;
  }
  return true;
}

// Raises the error of a refused write of the value `name`, located just
// after the call to it.
[[noreturn]] void RaiseWriteFailed(const std::string& name);
