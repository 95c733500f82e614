#include "store/hive.h"

#include <cstdio>
#include <cstring>
#include <optional>

#include "store/codepage.h"

namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";
// A longer line is no hive this store will rewrite.
constexpr size_t kMaxLine = 16u << 20;
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view SkipSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Lines of `text` from `pos`, each without its "\n".
struct LineReader {
  std::string_view text;
  size_t pos = 0;
  size_t line_begin = 0;
  bool Next(std::string_view* line, bool* terminated) {
    if (pos >= text.size()) return false;
    line_begin = pos;
    size_t nl = text.find('\n', pos);
    *terminated = nl != std::string_view::npos;
    size_t end = *terminated ? nl : text.size();
    *line = text.substr(pos, end - pos);
    pos = *terminated ? nl + 1 : end;
    return true;
  }
};

// "dword:" digits, "hex:"/"hex(N):" byte lists (which go on after a
// trailing backslash), or a quoted string. `more` is set when the value
// continues on the next line.
bool CheckData(std::string_view d, bool* more) {
  *more = false;
  auto string_at = [&](size_t skip) {
    std::u16string scratch;
    size_t n = UnescapeString(d.substr(skip), '"', &scratch);
    return n != std::string_view::npos && SkipSpace(d.substr(skip + n)).empty();
  };
  for (std::string_view p : {"\"", "str:\"", "str(2):\"", "str(7):\""})
    if (d.substr(0, p.size()) == p) return string_at(p.size());
  if (d.substr(0, 6) == "dword:") {
    d.remove_prefix(6);
    size_t n = 0;
    while (n < d.size() && HexDigit(d[n]) >= 0) ++n;
    return n >= 1 && n <= 8 && SkipSpace(d.substr(n)).empty();
  }
  if (d.substr(0, 4) == "hex(") {
    size_t n = 4;
    while (n < d.size() && HexDigit(d[n]) >= 0) ++n;
    if (n == 4 || d.substr(n, 2) != "):") return false;
    d.remove_prefix(n + 2);
  } else if (d.substr(0, 4) == "hex:") {
    d.remove_prefix(4);
  } else {
    return false;
  }
  return [&](std::string_view list) {
    for (;;) {
      list = SkipSpace(list);
      if (list.empty()) return true;
      if (list == "\\") return *more = true;
      if (list.size() < 2 || HexDigit(list[0]) < 0 || HexDigit(list[1]) < 0)
        return false;
      list = SkipSpace(list.substr(2));
      if (list.empty()) return true;
      if (list == "\\") return *more = true;
      if (list[0] != ',') return false;
      list.remove_prefix(1);
    }
  }(d);
}

// A value line's name: "@" or a quoted name, then "=". Returns the length
// up to and including the "=", or npos.
size_t ParseValueName(std::string_view line, std::u16string* name) {
  size_t n;
  name->clear();
  if (!line.empty() && line[0] == '@') {
    n = 1;
  } else if (!line.empty() && line[0] == '"') {
    n = UnescapeString(line.substr(1), '"', name);
    if (n == std::string_view::npos) return n;
    ++n;
  } else {
    return std::string_view::npos;
  }
  while (n < line.size() && IsSpace(line[n])) ++n;
  if (n >= line.size() || line[n] != '=') return std::string_view::npos;
  return n + 1;
}

KeyPath Parent(const KeyPath& path) {
  size_t slash = path.rfind(u'\\');
  return slash == KeyPath::npos ? KeyPath() : path.substr(0, slash);
}

// True when `path` is `base` or lies below it.
bool IsWithin(std::u16string_view path, std::u16string_view base) {
  if (base.empty()) return true;
  if (path.size() < base.size()) return false;
  if (path.size() > base.size() && path[base.size()] != u'\\') return false;
  return CompareNoCase(path.substr(0, base.size()), base) == 0;
}

std::string TimeHead(uint64_t now) {
  char buf[64];
  snprintf(buf, sizeof buf, "] %u\n",
           static_cast<unsigned>((now - kTicks1601To1970) / kTicksPerSecond));
  return buf;
}

std::string TimeLine(uint64_t now) {
  char buf[64];
  snprintf(buf, sizeof buf, "#time=%x%08x\n", static_cast<unsigned>(now >> 32),
           static_cast<unsigned>(now));
  return buf;
}

}  // namespace

// One "[path]" section of the file. While untouched it is the byte range
// [begin, end) of the text read, from its "[" line up to the next one.
// Once a run changes it, `edit` holds its lines.
struct Hive::Block {
  struct Line {
    std::string text;                     // with its "\n"
    std::optional<std::u16string> value;  // the name, on a value's line(s)
  };
  struct Edit {
    std::string path_text;  // the path as escaped in the file
    std::vector<Line> lines;  // after the "[" line
    bool is_new = false;
    uint64_t time = 0;
  };
  size_t begin = 0, end = 0;
  KeyPath path;
  std::unique_ptr<Edit> edit;
};

Hive::Hive() = default;
Hive::~Hive() = default;
Hive::Hive(Hive&&) noexcept = default;
Hive& Hive::operator=(Hive&&) noexcept = default;

size_t UnescapeString(std::string_view text, char end, std::u16string* out) {
  out->clear();
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = text[i];
    if (end && c == static_cast<unsigned char>(end)) return i + 1;
    if (c == '\\') {
      if (++i >= text.size()) return std::string_view::npos;
      char e = text[i++];
      switch (e) {
        case 'a': *out += u'\a'; break;
        case 'b': *out += u'\b'; break;
        case 'e': *out += u'\x1b'; break;
        case 'f': *out += u'\f'; break;
        case 'n': *out += u'\n'; break;
        case 'r': *out += u'\r'; break;
        case 't': *out += u'\t'; break;
        case 'v': *out += u'\v'; break;
        case 'x': {
          unsigned v = 0;
          int n = 0;
          while (n < 4 && i < text.size() && HexDigit(text[i]) >= 0)
            v = v * 16 + HexDigit(text[i++]), ++n;
          if (n == 0) *out += u'x';
          else *out += static_cast<char16_t>(v);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned v = e - '0';
            for (int n = 1; n < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++n)
              v = v * 8 + (text[i++] - '0');
            *out += static_cast<char16_t>(v);
          } else {
            *out += static_cast<char16_t>(static_cast<unsigned char>(e));
          }
      }
      continue;
    }
    if (c < 0x80) {
      *out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    // UTF-8, as Wine reads bytes above 127; a byte that is no part of a
    // sequence stands for itself.
    int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    uint32_t cp = len == 4 ? c & 7 : len == 3 ? c & 15 : c & 31;
    bool ok = len > 1 && i + len <= text.size();
    for (int k = 1; ok && k < len; ++k) {
      unsigned char t = text[i + k];
      ok = (t & 0xC0) == 0x80;
      cp = cp << 6 | (t & 63);
    }
    if (!ok) {
      *out += static_cast<char16_t>(c);
      ++i;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      *out += static_cast<char16_t>(0xD800 + (cp >> 10));
      *out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      i += len;
    } else {
      *out += static_cast<char16_t>(cp);
      i += len;
    }
  }
  return end ? std::string_view::npos : i;
}

std::string Hive::EscapeString(std::u16string_view s, char quote_a,
                               char quote_b) {
  static const char kEscapes[33] = ".......abtnvfr.............e....";
  std::string out;
  char buf[16];
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    bool has_next = i + 1 < s.size();
    if (c > 127) {
      char16_t n = has_next ? s[i + 1] : 0;
      bool hex_next = has_next && n < 128 && HexDigit(static_cast<char>(n)) >= 0;
      snprintf(buf, sizeof buf, hex_next ? "\\x%04x" : "\\x%x", c);
      out += buf;
    } else if (c < 32) {
      if (c == 0 && !has_next) continue;  // the terminating zero
      if (kEscapes[c] != '.') {
        out += '\\';
        out += kEscapes[c];
      } else {
        bool octal_next = has_next && s[i + 1] >= u'0' && s[i + 1] <= u'7';
        snprintf(buf, sizeof buf, octal_next ? "\\%03o" : "\\%o", c);
        out += buf;
      }
    } else {
      if (c == '\\' || c == quote_a || c == quote_b) out += '\\';
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Hive::ValueLine(std::u16string_view name, uint32_t type,
                            std::string_view data) {
  std::string out = "@=";
  if (!name.empty()) out.assign("\"").append(EscapeString(name, '"', '"')).append("\"=");
  size_t count = out.size();
  if (type == kRegDword && data.size() == 4) {
    char buf[16];
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(data[i]);
    snprintf(buf, sizeof buf, "dword:%08x\n", v);
    return out + buf;
  }
  if (type == kRegSz && data.size() >= 2 && data.size() % 2 == 0 &&
      data[data.size() - 1] == 0 && data[data.size() - 2] == 0) {
    std::u16string s(data.size() / 2, u'\0');
    for (size_t i = 0; i < s.size(); ++i)
      s[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                   static_cast<unsigned char>(data[2 * i + 1]) << 8);
    return out + "\"" + EscapeString(s, '"', '"') + "\"\n";
  }
  // Anything else in Wine's hex form, wrapped as Wine wraps it.
  char buf[32];
  snprintf(buf, sizeof buf, type == 3 ? "hex:" : "hex(%x):", type);
  out += buf;
  count += strlen(buf);
  for (size_t i = 0; i < data.size(); ++i) {
    snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(data[i]));
    out += buf;
    count += 2;
    if (i + 1 < data.size()) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  return out + "\n";
}

int CompareKeyPaths(std::u16string_view a, std::u16string_view b) {
  for (;;) {
    size_t ea = a.find(u'\\'), eb = b.find(u'\\');
    int d = CompareNoCase(a.substr(0, ea), b.substr(0, eb));
    if (d) return d;
    bool more_a = ea != std::u16string_view::npos, more_b = eb != std::u16string_view::npos;
    if (!more_a || !more_b) return more_a - more_b;
    a.remove_prefix(ea + 1);
    b.remove_prefix(eb + 1);
  }
}

bool Hive::Parse(std::string text, std::string* error) {
  text_ = std::move(text);
  blocks_.clear();
  changed_ = false;
  std::string_view t = text_;
  if (t.find('\0') != std::string_view::npos) {
    *error = "it holds NUL bytes: not a text hive";
    return false;
  }
  LineReader r{t};
  std::string_view line;
  bool terminated;
  int number = 0;
  auto fail = [&](const char* why) {
    *error = std::string(why) + " at line " + std::to_string(number);
    return false;
  };
  if (!r.Next(&line, &terminated) || !line.starts_with("WINE REGISTRY Version ")) {
    *error = "not a Wine registry file";
    return false;
  }
  number = 1;
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line != kSignature) return fail("unknown hive version");
  header_end_ = t.size();
  bool continued = false;
  while (r.Next(&line, &terminated)) {
    ++number;
    if (!terminated) return fail("the file ends in the middle of a line");
    if (line.size() > kMaxLine) return fail("a line longer than 16 MiB");
    std::string_view s = SkipSpace(line);
    if (continued) {
      if (!CheckData("hex:" + std::string(s), &continued)) return fail("bad hex data");
      continue;
    }
    if (s.empty() || s[0] == ';' || s[0] == '#') continue;
    if (s[0] == '[') {
      Block b;
      std::u16string path;
      size_t n = UnescapeString(s.substr(1), ']', &path);
      if (n == std::string_view::npos) return fail("unterminated key name");
      b.begin = r.line_begin;
      b.path = std::move(path);
      if (blocks_.empty()) header_end_ = b.begin;
      else blocks_.back().end = b.begin;
      blocks_.push_back(std::move(b));
      continue;
    }
    if (s[0] != '"' && s[0] != '@') return fail("unrecognised line");
    if (blocks_.empty()) return fail("a value outside any key");
    std::u16string name;
    size_t n = ParseValueName(s, &name);
    if (n == std::string_view::npos) return fail("bad value name");
    if (!CheckData(SkipSpace(s.substr(n)), &continued)) return fail("bad value data");
  }
  if (continued) return fail("the file ends inside a value");
  if (!blocks_.empty()) blocks_.back().end = t.size();
  return true;
}

std::string Hive::EmptyUserHive() {
  return "WINE REGISTRY Version 2\n"
         ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
         "\n"
         "#arch=win64\n";
}

int Hive::FindBlock(const KeyPath& path) const {
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (EqualNoCase(blocks_[i].path, path)) return static_cast<int>(i);
  return -1;
}

bool Hive::KeyExists(const KeyPath& path) const {
  if (path.empty()) return true;
  for (const Block& b : blocks_)
    if (IsWithin(b.path, path)) return true;
  return false;
}

// `path` with the names of keys the hive holds spelt as the hive spells
// them, the rest as given.
KeyPath Hive::Spelling(const KeyPath& path) const {
  KeyPath best;
  for (const Block& b : blocks_) {
    size_t common = 0;  // length of the names b shares with path
    for (size_t i = 0;; ++i) {
      bool path_end = i == path.size(), block_end = i == b.path.size();
      bool path_sep = path_end || path[i] == u'\\';
      bool block_sep = block_end || b.path[i] == u'\\';
      if (path_sep && block_sep) {
        common = i;
        if (path_end || block_end) break;
        continue;
      }
      if (path_sep || block_sep || UpperCase(path[i]) != UpperCase(b.path[i])) break;
    }
    if (common > best.size()) best = b.path.substr(0, common);
  }
  return best + path.substr(best.size());
}

size_t Hive::InsertPosition(const KeyPath& path) const {
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (CompareKeyPaths(blocks_[i].path, path) > 0) return i;
  return blocks_.size();
}

// The block of `path`, made editable; created (at Wine's place for it) when
// the key has none because it exists only through the keys below it.
Hive::Block& Hive::EditBlock(const KeyPath& path) {
  int i = FindBlock(path);
  if (i < 0) {
    Block b;
    b.path = Spelling(path);
    b.edit = std::make_unique<Block::Edit>();
    b.edit->is_new = true;
    for (size_t start = 0; start <= b.path.size();) {
      size_t end = b.path.find(u'\\', start);
      if (end == KeyPath::npos) end = b.path.size();
      if (start) b.edit->path_text += "\\\\";
      b.edit->path_text += EscapeString(b.path.substr(start, end - start), '[', ']');
      start = end + 1;
    }
    i = static_cast<int>(InsertPosition(path));
    blocks_.insert(blocks_.begin() + i, std::move(b));
    return blocks_[i];
  }
  Block& b = blocks_[i];
  if (b.edit) return b;
  b.edit = std::make_unique<Block::Edit>();
  std::string_view raw = std::string_view(text_).substr(b.begin, b.end - b.begin);
  size_t head_end = raw.find('\n');
  std::string_view head = SkipSpace(raw.substr(0, head_end));
  std::u16string scratch;
  size_t n = UnescapeString(head.substr(1), ']', &scratch);
  b.edit->path_text = std::string(head.substr(1, n - 1));
  LineReader r{raw, head_end + 1};
  std::string_view line;
  bool terminated;
  while (r.Next(&line, &terminated)) {
    Block::Line l{std::string(line) + "\n", std::nullopt};
    std::string_view s = SkipSpace(line);
    if (!s.empty() && (s[0] == '"' || s[0] == '@')) {
      std::u16string name;
      ParseValueName(s, &name);
      l.value = std::move(name);
    } else if (!b.edit->lines.empty() && b.edit->lines.back().value &&
               b.edit->lines.back().text.ends_with("\\\n")) {
      b.edit->lines.back().text += l.text;  // a hex value going on
      continue;
    }
    b.edit->lines.push_back(std::move(l));
  }
  return b;
}

void Hive::Touch(const KeyPath& path, uint64_t now) {
  if (FindBlock(path) < 0) return;  // listed only through its subkeys
  EditBlock(path).edit->time = now;
  changed_ = true;
}

// Wine lists a key with no values only while it has no subkeys: a key that
// gains its first subkey and holds no value, class or link drops its block.
void Hive::NoteNewSubkey(const KeyPath& parent, uint64_t now) {
  int i = FindBlock(parent);
  if (i < 0 || parent.empty()) return;
  Block& b = EditBlock(parent);
  for (const Block::Line& l : b.edit->lines) {
    std::string_view s = SkipSpace(l.text);
    if (l.value || (s.starts_with("#") && !s.starts_with("#time="))) {
      Touch(parent, now);
      return;
    }
  }
  blocks_.erase(blocks_.begin() + i);
}

void Hive::CreateKey(const KeyPath& path, uint64_t now) {
  if (KeyExists(path)) return;
  KeyPath existing = Parent(path);
  while (!KeyExists(existing)) existing = Parent(existing);
  NoteNewSubkey(existing, now);
  EditBlock(path).edit->time = now;
  changed_ = true;
}

void Hive::SetValue(const KeyPath& key, std::u16string_view name, uint32_t type,
                    std::string_view data, uint64_t now) {
  Block& b = EditBlock(key);
  b.edit->time = now;
  changed_ = true;
  std::vector<Block::Line>& lines = b.edit->lines;
  // Values stay in Wine's order, by name without case; a new one goes
  // before the first greater name, else after the last value, else after
  // the key's own "#" lines.
  size_t insert = 0;
  while (insert < lines.size() && SkipSpace(lines[insert].text).starts_with("#")) ++insert;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].value) continue;
    int d = CompareNoCase(*lines[i].value, name);
    if (d == 0) {
      lines[i].text = ValueLine(*lines[i].value, type, data);
      return;
    }
    if (d > 0) {
      insert = i;
      break;
    }
    insert = i + 1;
  }
  lines.insert(lines.begin() + insert, {ValueLine(name, type, data), std::u16string(name)});
}

bool Hive::DeleteKey(const KeyPath& path, uint64_t now) {
  if (path.empty() || !KeyExists(path)) return false;
  KeyPath parent = Spelling(Parent(path));
  std::erase_if(blocks_, [&](const Block& b) { return IsWithin(b.path, path); });
  changed_ = true;
  if (parent.empty()) return true;
  if (KeyExists(parent)) {
    Touch(parent, now);
  } else {
    // The parent existed only through what was deleted; it stays a key.
    EditBlock(parent).edit->time = now;
  }
  return true;
}

std::string Hive::Text() const {
  std::string out;
  out.reserve(text_.size() + 4096);
  out.append(text_, 0, header_end_);
  bool after_new = false;
  for (const Block& b : blocks_) {
    const bool is_new = b.edit && b.edit->is_new;
    // Keys are set apart by a blank line, as Wine writes them.
    if ((is_new || after_new) && !out.ends_with("\n\n")) out += "\n";
    after_new = is_new;
    if (!b.edit) {
      out.append(text_, b.begin, b.end - b.begin);
      continue;
    }
    out += "[" + b.edit->path_text;
    if (b.edit->time) {
      out += TimeHead(b.edit->time);
    } else {
      std::string_view raw = std::string_view(text_).substr(b.begin, b.end - b.begin);
      std::string_view head = raw.substr(0, raw.find('\n') + 1);
      out += head.substr(head.find(b.edit->path_text) + b.edit->path_text.size());
    }
    bool time_written = false;
    for (const Block::Line& l : b.edit->lines) {
      if (b.edit->time && SkipSpace(l.text).starts_with("#time=")) {
        if (!time_written) out += TimeLine(b.edit->time);
        time_written = true;
        continue;
      }
      if (b.edit->time && !time_written) {
        out += TimeLine(b.edit->time);
        time_written = true;
      }
      out += l.text;
    }
    if (b.edit->time && !time_written) out += TimeLine(b.edit->time);
  }
  return out;
}
