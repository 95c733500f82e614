#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "frame/texts.h"
#include "frame/texts_utf8.h"

namespace {

const char* Utf8Text(TextId id) {
  switch (id) {
    case TextId::kReportTemplate: return AUTHREG_TEXT_REPORT_TEMPLATE;
    case TextId::kReportCaption: return AUTHREG_TEXT_REPORT_CAPTION;
    case TextId::kWriteFailed: return AUTHREG_TEXT_WRITE_FAILED;
    case TextId::kOutOfMemory: return AUTHREG_TEXT_OUT_OF_MEMORY;
    case TextId::kInfoIncInvalid: return AUTHREG_TEXT_INFOINC_INVALID;
    case TextId::kInfoIncCaption: return AUTHREG_TEXT_INFOINC_CAPTION;
    case TextId::kWineRunning: return AUTHREG_TEXT_WINE_RUNNING;
  }
  return "";
}

// The locale's character set. A locale the system does not have leaves the
// C locale in place, but its name still tells the terminal's set.
const char* TerminalCharset() {
  const char* codeset = nl_langinfo(CODESET);
  const char* current = setlocale(LC_CTYPE, nullptr);
  if (current && (strcmp(current, "C") == 0 || strcmp(current, "POSIX") == 0)) {
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
      const char* name = getenv(var);
      if (!name || !*name) continue;
      if (strcasestr(name, ".utf-8") || strcasestr(name, ".utf8")) return "UTF-8";
      break;
    }
  }
  return codeset;
}

}  // namespace

// Converted to the locale's character set (setlocale has run); a character
// the set cannot hold becomes "?" so the text is never lost as a whole.
std::string LoadText(TextId id) {
  const char* utf8 = Utf8Text(id);
  const char* codeset = TerminalCharset();
  if (strcmp(codeset, "UTF-8") == 0) return utf8;
  iconv_t cd = iconv_open(codeset, "UTF-8");
  if (cd == (iconv_t)-1) return utf8;
  std::string out;
  char* in = const_cast<char*>(utf8);
  size_t in_left = strlen(utf8);
  char buf[256];
  while (in_left > 0) {
    char* o = buf;
    size_t o_left = sizeof buf;
    size_t r = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buf, o - buf);
    if (r == (size_t)-1 && errno == EILSEQ) {
      out += '?';
      do { ++in; --in_left; } while (in_left > 0 && (*in & 0xC0) == 0x80);
    } else if (r == (size_t)-1 && errno != E2BIG) {
      break;
    }
  }
  iconv_close(cd);
  return out;
}
