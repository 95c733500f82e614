#include <windows.h>

#include "store/dbcs.h"

namespace {

bool AnsiLeadByte(unsigned char b) { return IsDBCSLeadByte(b) != 0; }

}  // namespace

// Double-byte support is on when the ANSI code page has two-byte characters.
LeadByteTest PathLeadByteTest() {
  CPINFO info;
  return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 2 ? AnsiLeadByte : nullptr;
}
