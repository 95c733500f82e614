// The settings file: an INI file beside the program, read, never written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/dbcs.h"

// Reads the settings file. Holds only its path; every read consults the
// file as it is at that moment. No read fails: a missing file, section or
// key gives the default.
class SettingsReader {
 public:
  virtual ~SettingsReader() = default;

  // The key's value, at most 2047 bytes, or `default_text` when absent.
  virtual std::string ReadText(const std::string& section,
                               const std::string& key,
                               const std::string& default_text) = 0;

  // The key's value by ConvertInteger, or `default_value` when the key is
  // absent or does not convert.
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t default_value);

  // True when the section holds at least one key.
  virtual bool SectionTest(const std::string& section) = 0;
};

// The platform's reader on `settings_path`. Opens no file.
std::unique_ptr<SettingsReader> NewSettingsReader(std::string settings_path);

// The settings path for a program path: its extension replaced by, or
// without one extended by, ".dat". Delimiters are "." and the platform's
// directory separators (`separators`); a delimiter byte that is the second
// byte of a double-byte character is none.
std::string LocateSettingsFile(std::string_view program_path,
                               std::string_view separators,
                               LeadByteTest is_lead_byte);

// The platform's form of LocateSettingsFile: "\" and ":" on Windows, "/" on
// POSIX, with the lead bytes of the path encoding.
std::string LocateSettingsFile(std::string_view program_path);

// Text to signed 32-bit integer: leading spaces (0x20 only), then decimal
// with an optional sign, or hexadecimal after "$", "x", "X", "0x" or "0X"
// (a 32-bit pattern, so $FFFFFFFF is -1). Anything else, or a value out of
// range, fails.
bool ConvertInteger(std::string_view text, int32_t* value);
