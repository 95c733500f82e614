#include <iconv.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "store/codepage.h"

unsigned CodePageForLocale(std::string_view name) {
  std::string_view lang = name.substr(0, name.find_first_of("_.@"));
  std::string_view territory;
  if (size_t u = name.find('_'); u != std::string_view::npos)
    territory = name.substr(u + 1, name.find_first_of(".@", u) - u - 1);
  const bool latin = name.find("@latin") != std::string_view::npos;
  struct Entry { const char* langs; unsigned cp; };
  static const Entry kTable[] = {
      {" ja ", 932}, {" ko ", 949}, {" th ", 874}, {" vi ", 1258},
      {" el ", 1253}, {" tr az ", 1254}, {" he iw yi ", 1255},
      {" ar fa ur ps ", 1256}, {" lt lv et ", 1257},
      {" cs sk pl hu hr sl ro sq bs ", 1250},
      {" ru uk be bg mk kk ky tt mn ba sr ", 1251},
  };
  if (lang == "zh")
    return territory == "TW" || territory == "HK" || territory == "MO" ? 950
                                                                       : 936;
  if (lang == "sr" && latin) return 1250;
  std::string key(" ");
  key.append(lang).append(" ");
  for (const Entry& e : kTable)
    if (strstr(e.langs, key.c_str())) return e.cp;
  return 1252;
}

unsigned AnsiCodePage() {
  if (const char* all = getenv("LC_ALL"); all && *all)
    return CodePageForLocale(all);
  for (const char* var : {"LC_CTYPE", "LANG"}) {
    const char* name = getenv(var);
    if (!name || !*name) continue;
    locale_t loc = newlocale(LC_CTYPE_MASK, name, nullptr);
    if (!loc) break;
    freelocale(loc);
    return CodePageForLocale(name);
  }
  return 1252;
}

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != (iconv_t)-1; }
  // Converts as much as it can; returns the errno that stopped it, 0 at end.
  int Run(const char*& in, size_t& in_left, std::string& out) {
    char buf[1024];
    while (in_left > 0) {
      char* o = buf;
      size_t o_left = sizeof buf;
      size_t r = iconv(cd_, const_cast<char**>(&in), &in_left, &o, &o_left);
      out.append(buf, o - buf);
      if (r == (size_t)-1 && errno != E2BIG) return errno;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

std::string CodePageName(unsigned cp) {
  return cp == 65001 ? "UTF-8" : "CP" + std::to_string(cp);
}

void PutUnit(std::string& utf16le, char16_t unit) {
  utf16le += static_cast<char>(unit & 0xFF);
  utf16le += static_cast<char>(unit >> 8);
}

// What Wine gives for a byte that is no character of `cp` on its own.
char16_t InvalidByte(unsigned char b, unsigned cp) {
  if (cp == 932) {
    if (b == 0xA0) return 0xF8F0;
    if (b >= 0xFD) return static_cast<char16_t>(0xF8F1 + (b - 0xFD));
  }
  return b;
}

// The way back: a character that stands for a byte iconv does not know
// turns into that byte again, as in Wine; anything else into "?".
char UnmappedByte(char16_t unit, unsigned cp) {
  const std::string name = CodePageName(cp);
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (InvalidByte(static_cast<unsigned char>(b), cp) != unit) continue;
    Iconv probe("UTF-16LE", name.c_str());
    char one = static_cast<char>(b);
    const char* p = &one;
    size_t left = 1;
    std::string scratch;
    if (probe.Run(p, left, scratch) != 0) return one;
  }
  return '?';
}

}  // namespace

std::u16string ToUtf16(std::string_view bytes, unsigned cp) {
  std::string out;
  const std::string name = CodePageName(cp);
  Iconv conv("UTF-16LE", name.c_str());
  const char* in = bytes.data();
  size_t left = bytes.size();
  if (!conv.ok()) {  // no such code page here: keep each byte as a character
    for (char c : bytes) PutUnit(out, static_cast<unsigned char>(c));
    left = 0;
  }
  while (left > 0) {
    int err = conv.Run(in, left, out);
    if (err == 0) break;
    unsigned char b = static_cast<unsigned char>(*in);
    // A lead byte is one iconv finds incomplete alone.
    Iconv probe("UTF-16LE", name.c_str());
    const char* one = in;
    size_t one_left = 1;
    std::string scratch;
    bool lead = probe.Run(one, one_left, scratch) == EINVAL;
    if (lead && left >= 2) {
      PutUnit(out, cp == 932 ? 0x30FB : u'?');
      in += 2;
      left -= 2;
    } else {
      PutUnit(out, InvalidByte(b, cp));
      in += 1;
      left -= 1;
    }
  }
  std::u16string result(out.size() / 2, u'\0');
  for (size_t i = 0; i < result.size(); ++i)
    result[i] = static_cast<char16_t>(
        static_cast<unsigned char>(out[2 * i]) |
        static_cast<unsigned char>(out[2 * i + 1]) << 8);
  return result;
}

std::string FromUtf16(std::u16string_view text, unsigned cp) {
  std::string in_bytes;
  for (char16_t u : text) PutUnit(in_bytes, u);
  std::string out;
  Iconv conv(CodePageName(cp).c_str(), "UTF-16LE");
  if (!conv.ok()) {
    for (char16_t u : text) out += u < 0x100 ? static_cast<char>(u) : '?';
    return out;
  }
  const char* in = in_bytes.data();
  size_t left = in_bytes.size();
  while (left >= 2) {
    if (conv.Run(in, left, out) == 0) break;
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                          static_cast<unsigned char>(in[1]) << 8);
    out += UnmappedByte(unit, cp);
    in += 2;
    left -= 2;
  }
  return out;
}

#include <cwctype>

char16_t UpperCase(char16_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  // The full Unicode table, whatever locale the user runs in.
  static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (!utf8) return c;
  wint_t u = towupper_l(c, utf8);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int d = int(UpperCase(a[i])) - int(UpperCase(b[i]));
    if (d) return d;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}
