#include <cwchar>
#include <cstdlib>

#include "store/dbcs.h"

namespace {

// A lead byte is one that the locale's character set sees as an incomplete
// character on its own.
bool LocaleLeadByte(unsigned char b) {
  std::mbstate_t state{};
  wchar_t wc;
  char c = static_cast<char>(b);
  return std::mbrtowc(&wc, &c, 1, &state) == static_cast<size_t>(-2);
}

}  // namespace

// Only a double-byte set such as Shift_JIS has second bytes that can look
// like delimiters; in UTF-8 every byte below 0x80 is a character.
LeadByteTest PathLeadByteTest() {
  return MB_CUR_MAX == 2 ? LocaleLeadByte : nullptr;
}
