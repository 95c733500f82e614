// The ANSI code page of a Wine process and conversions through it, for
// the POSIX build, which has to store texts as Wine's A functions would.
#pragma once

#include <string>
#include <string_view>

// The ANSI code page Wine derives from a locale name such as "ja_JP.UTF-8":
// from the language (and, for Chinese, the territory); 1252 by default.
unsigned CodePageForLocale(std::string_view locale_name);

// The ANSI code page of Wine run with this process's environment: LC_ALL
// when set, else LC_CTYPE or LANG when the system has that locale (Wine
// does not see one that is not installed), else 1252.
unsigned AnsiCodePage();

// `bytes` in code page `cp` to UTF-16, as Wine's MultiByteToWideChar does
// without flags: a byte sequence that does not convert is not dropped but
// becomes what Wine makes of it (a lead byte always takes the byte after
// it, even a terminating zero).
std::u16string ToUtf16(std::string_view bytes, unsigned cp);

// UTF-16 to code page `cp`; a character the code page lacks becomes "?".
std::string FromUtf16(std::u16string_view text, unsigned cp);

// Unicode upper case of one UTF-16 unit, as the registry and the profile
// functions compare names.
char16_t UpperCase(char16_t c);

// Case-insensitive order of two names (negative, zero, positive).
int CompareNoCase(std::u16string_view a, std::u16string_view b);
inline bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}
