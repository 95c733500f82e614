// Double-byte character sets: telling a second byte from a character.
#pragma once

#include <cstddef>
#include <string_view>

// True when `text[pos]` is the second byte of a double-byte character: the
// bytes directly before it that are lead-byte values form a run of odd
// length. `is_lead_byte` null means the character set has no double bytes.
inline bool IsSecondByte(std::string_view text, size_t pos,
                         bool (*is_lead_byte)(unsigned char)) {
  if (!is_lead_byte) return false;
  size_t run = 0;
  while (run < pos && is_lead_byte(static_cast<unsigned char>(text[pos - run - 1])))
    ++run;
  return run % 2 == 1;
}

// The lead-byte test of the text encoding the platform uses for paths: the
// ANSI code page on Windows, the locale's character set on POSIX. Null when
// that encoding has no double-byte characters.
using LeadByteTest = bool (*)(unsigned char);
LeadByteTest PathLeadByteTest();
