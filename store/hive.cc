#include "store/hive.h"

#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include "store/codepage.h"

namespace {

constexpr std::string_view kSignature = "WINE REGISTRY Version 2";
// A longer line is no hive this store will rewrite.
constexpr size_t kMaxLine = 16u << 20;
constexpr uint64_t kTicksPerSecond = 10000000;
// Above this a hive is parsed on two threads.
constexpr size_t kParallelParse = 4u << 20;
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view SkipSpace(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return s;
}

int HexDigit(char c) {
  static const auto kTable = [] {
    std::array<signed char, 256> t{};
    t.fill(-1);
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) t['a' + i] = t['A' + i] = static_cast<signed char>(10 + i);
    return t;
  }();
  return kTable[static_cast<unsigned char>(c)];
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

// A list of hex bytes, "01,ff,..." with white space around, which goes on
// on the next line after a trailing backslash.
bool CheckHexList(std::string_view list, bool* more) {
  *more = false;
  size_t i = 0, n = list.size();
  const char* p = list.data();
  auto space = [&] {
    while (i < n && IsSpace(p[i])) ++i;
  };
  for (;;) {
    space();
    if (i == n) return true;
    if (p[i] == '\\') return i + 1 == n && (*more = true);
    if (i + 1 >= n || HexDigit(p[i]) < 0 || HexDigit(p[i + 1]) < 0) return false;
    i += 2;
    space();
    if (i == n) return true;
    if (p[i] == '\\') return i + 1 == n && (*more = true);
    if (p[i++] != ',') return false;
  }
}

// "dword:" digits, "hex:"/"hex(N):" byte lists (which go on after a
// trailing backslash), or a quoted string. `more` is set when the value
// continues on the next line.
bool CheckData(std::string_view d, bool* more) {
  *more = false;
  auto string_at = [&](size_t skip) {
    size_t n = UnescapeString(d.substr(skip), '"', nullptr);
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
  return CheckHexList(d, more);
}

// A value line's name: "@" or a quoted name, then "=". Returns the length
// up to and including the "=", or npos.
size_t ParseValueName(std::string_view line, std::u16string* name) {
  size_t n;
  if (name) name->clear();
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

// Hashes of a path's first name and of its first two names, without case.
// Keys at or below a path share its hashes, so lookups skip the rest of
// the hive without decoding it.
struct Heads {
  uint32_t one = 0, two = 0;
};

Heads HeadsOf(std::u16string_view path) {
  uint32_t h = 2166136261u;
  Heads heads;
  int separators = 0;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (++separators == 1) heads.one = h;
      if (separators == 2) break;
    }
    h = (h ^ UpperCase(c)) * 16777619u;
  }
  if (separators == 0) heads.one = h;
  heads.two = h;
  return heads;
}

// HeadsOf straight from a path as the file escapes it, when its first two
// names are plain ASCII (as nearly all are); otherwise none.
std::optional<Heads> HeadsOfEscaped(std::string_view raw) {
  uint32_t h = 2166136261u;
  Heads heads;
  int separators = 0;
  for (size_t i = 0; i < raw.size(); ++i) {
    unsigned char c = raw[i];
    if (c == '\\') {
      if (i + 1 >= raw.size() || raw[i + 1] != '\\') return std::nullopt;
      if (++separators == 1) heads.one = h;
      if (separators == 2) break;
      h = (h ^ u'\\') * 16777619u;
      ++i;
      continue;
    }
    if (c >= 0x80) return std::nullopt;
    h = (h ^ (c >= 'a' && c <= 'z' ? c - 32 : c)) * 16777619u;
  }
  if (separators == 0) heads.one = h;
  heads.two = h;
  return heads;
}

bool HasTwoNames(std::u16string_view path) {
  return path.find(u'\\') != std::u16string_view::npos;
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

// A key's section once a run changes it: its path and its lines.
struct Hive::BlockEdit {
  struct Line {
    std::string text;                     // with its "\n"
    std::optional<std::u16string> value;  // the name, on a value's line(s)
  };
  KeyPath path;
  std::string path_text;  // the path as escaped in the file
  std::vector<Line> lines;  // after the "[" line
  bool is_new = false;
  uint64_t time = 0;
};

// One "[path]" section of the file. While untouched it is the byte range
// [begin, end) of the text read, from its "[" line up to the next one, and
// its path is decoded only when a lookup needs it. 28 bytes a key.
struct Hive::Block {
  uint32_t begin = 0, end = 0;
  uint32_t path_at = 0, path_len = 0;  // the escaped path in the text
  uint32_t first = 0, head = 0;        // HeadsOf the path
  uint32_t edit = 0;  // 1 + its index in edits_; 0 while untouched
};

Hive::BlockEdit* Hive::EditOf(const Block& b) const {
  return b.edit ? edits_[b.edit - 1].get() : nullptr;
}

void Hive::StartEdit(Block* b) {
  edits_.push_back(std::make_unique<BlockEdit>());
  b->edit = static_cast<uint32_t>(edits_.size());
}

Hive::Hive() = default;
Hive::~Hive() = default;
Hive::Hive(Hive&&) noexcept = default;
Hive& Hive::operator=(Hive&&) noexcept = default;

size_t UnescapeString(std::string_view text, char end, std::u16string* out) {
  if (!out && end) {
    // Only where it ends: the first `end` after an even run of backslashes.
    for (size_t i = 0;;) {
      const char* p = static_cast<const char*>(memchr(text.data() + i, end, text.size() - i));
      if (!p) return std::string_view::npos;
      size_t at = static_cast<size_t>(p - text.data()), slashes = 0;
      while (at - slashes > i && text[at - slashes - 1] == '\\') ++slashes;
      if (slashes % 2 == 0) return at + 1;
      i = at + 1;
    }
  }
  if (out) out->clear();
  auto put = [out](char16_t c) {
    if (out) *out += c;
  };
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = text[i];
    if (end && c == static_cast<unsigned char>(end)) return i + 1;
    if (c == '\\') {
      if (++i >= text.size()) return std::string_view::npos;
      char e = text[i++];
      switch (e) {
        case 'a': put(u'\a'); break;
        case 'b': put(u'\b'); break;
        case 'e': put(u'\x1b'); break;
        case 'f': put(u'\f'); break;
        case 'n': put(u'\n'); break;
        case 'r': put(u'\r'); break;
        case 't': put(u'\t'); break;
        case 'v': put(u'\v'); break;
        case 'x': {
          unsigned v = 0;
          int n = 0;
          while (n < 4 && i < text.size() && HexDigit(text[i]) >= 0)
            v = v * 16 + HexDigit(text[i++]), ++n;
          if (n == 0) put(u'x');
          else put(static_cast<char16_t>(v));
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned v = e - '0';
            for (int n = 1; n < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++n)
              v = v * 8 + (text[i++] - '0');
            put(static_cast<char16_t>(v));
          } else {
            put(static_cast<char16_t>(static_cast<unsigned char>(e)));
          }
      }
      continue;
    }
    if (c < 0x80) {
      put(static_cast<char16_t>(c));
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
      put(static_cast<char16_t>(c));
      ++i;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (cp >> 10)));
      put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      i += len;
    } else {
      put(static_cast<char16_t>(cp));
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

// Checks the lines of text_ in [from, to), all of which lie after the
// signature line, and lists their keys. `lines` counts what it read; on a
// failure `error` says why, with the line's number counted from `from`.
bool Hive::ParseRange(size_t from, size_t to, ParsedRange* out) const {
  std::string_view t = std::string_view(text_).substr(0, to);
  LineReader r{t, from};
  std::string_view line;
  bool terminated;
  auto fail = [&](const char* why) {
    out->error = why;
    return false;
  };
  std::u16string path;  // reused: no allocation per key
  while (r.Next(&line, &terminated)) {
    ++out->lines;
    if (!terminated && to == text_.size()) return fail("the file ends in the middle of a line");
    if (line.size() > kMaxLine) return fail("a line longer than 16 MiB");
    std::string_view s = SkipSpace(line);
    if (out->continued) {
      if (!CheckHexList(s, &out->continued)) return fail("bad hex data");
      continue;
    }
    if (s.empty() || s[0] == ';' || s[0] == '#') continue;
    if (s[0] == '[') {
      size_t n = UnescapeString(s.substr(1), ']', nullptr);
      if (n == std::string_view::npos) return fail("unterminated key name");
      Block b;
      b.begin = static_cast<uint32_t>(r.line_begin);
      b.path_at = static_cast<uint32_t>(s.data() + 1 - t.data());
      b.path_len = static_cast<uint32_t>(n - 1);
      std::optional<Heads> heads = HeadsOfEscaped(s.substr(1, n - 1));
      if (!heads) UnescapeString(s.substr(1, n - 1), 0, &path);
      Heads h = heads ? *heads : HeadsOf(path);
      b.first = h.one;
      b.head = h.two;
      if (!out->blocks.empty()) out->blocks.back().end = b.begin;
      out->blocks.push_back(std::move(b));
      continue;
    }
    if (s[0] != '"' && s[0] != '@') return fail("unrecognised line");
    if (out->blocks.empty()) return fail("a value outside any key");
    size_t n = ParseValueName(s, nullptr);
    if (n == std::string_view::npos) return fail("bad value name");
    if (!CheckData(SkipSpace(s.substr(n)), &out->continued)) return fail("bad value data");
  }
  if (!out->blocks.empty()) out->blocks.back().end = static_cast<uint32_t>(to);
  return true;
}

bool Hive::Parse(std::string text, std::string* error) {
  text_ = std::move(text);
  blocks_.clear();
  edits_.clear();
  changed_ = false;
  std::string_view t = text_;
  if (t.size() >= UINT32_MAX) {
    *error = "larger than 4 GiB";
    return false;
  }
  if (t.find('\0') != std::string_view::npos) {
    *error = "it holds NUL bytes: not a text hive";
    return false;
  }
  size_t first_end = t.find('\n');
  std::string_view first = t.substr(0, first_end);
  if (first.ends_with('\r')) first.remove_suffix(1);
  if (!first.starts_with("WINE REGISTRY Version ")) {
    *error = "not a Wine registry file";
    return false;
  }
  if (first != kSignature) {
    *error = "unknown hive version at line 1";
    return false;
  }
  const size_t body = first_end == std::string_view::npos ? t.size() : first_end + 1;

  // A large hive is checked in two halves at once, split before a key line.
  size_t split = t.size();
  if (t.size() - body > kParallelParse) {
    size_t at = t.find("\n[", body + (t.size() - body) / 2);
    if (at != std::string_view::npos) split = at + 1;
  }
  ParsedRange head, tail;
  bool tail_ok = true;
  std::thread second;
  if (split < t.size()) second = std::thread([&] { tail_ok = ParseRange(split, t.size(), &tail); });
  bool head_ok = ParseRange(body, split, &head);
  if (second.joinable()) second.join();
  // The first failure in the file is the one reported.
  if (!head_ok || (head.continued && split < t.size())) {
    *error = (head_ok ? std::string("bad hex data") : head.error) + " at line " +
             std::to_string(1 + head.lines + (head_ok ? 1 : 0));
    return false;
  }
  if (!tail_ok) {
    *error = tail.error + " at line " + std::to_string(1 + head.lines + tail.lines);
    return false;
  }
  ParsedRange& last = split < t.size() ? tail : head;
  if (last.continued) {
    *error = "the file ends inside a value at line " + std::to_string(1 + head.lines + tail.lines);
    return false;
  }
  blocks_ = std::move(head.blocks);
  if (!blocks_.empty() && !tail.blocks.empty()) blocks_.back().end = tail.blocks.front().begin;
  for (Block& b : tail.blocks) blocks_.push_back(std::move(b));
  header_end_ = blocks_.empty() ? t.size() : blocks_.front().begin;
  return true;
}

std::string Hive::EmptyUserHive() {
  return "WINE REGISTRY Version 2\n"
         ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
         "\n"
         "#arch=win64\n";
}

std::u16string_view Hive::PathOf(const Block& b, std::u16string* scratch, int names) const {
  std::string_view raw = b.edit ? std::string_view(EditOf(b)->path_text)
                                : std::string_view(text_).substr(b.path_at, b.path_len);
  // A name holds no backslash, so every escaped one is a separator.
  for (size_t at = 0; names < INT_MAX; at += 2) {
    at = raw.find("\\\\", at);
    if (at == std::string_view::npos) break;
    if (--names == 0) {
      raw = raw.substr(0, at);
      break;
    }
  }
  if (b.edit && raw.size() == EditOf(b)->path_text.size()) return EditOf(b)->path;
  UnescapeString(raw, 0, scratch);
  return *scratch;
}

// Whether a block can be a path or lie below it, by its hashes alone.
struct Hive::Within {
  explicit Within(const KeyPath& path) : heads(HeadsOf(path)), two(HasTwoNames(path)) {}
  bool Admits(const Block& b) const { return two ? b.head == heads.two : b.first == heads.one; }
  Heads heads;
  bool two;
};

// IsWithin on a block's path: from its escaped text itself where that and
// `path` are plain ASCII (names of letters and the like, the common case),
// else from the decoded path.
bool Hive::BlockWithin(const Block& b, std::u16string_view path, std::u16string* scratch) const {
  if (!b.edit) {
    std::string_view raw = std::string_view(text_).substr(b.path_at, b.path_len);
    auto upper = [](char16_t c) { return c >= 'a' && c <= 'z' ? char16_t(c - 32) : c; };
    size_t i = 0, j = 0;
    bool plain = true;
    while (plain && i < raw.size() && j < path.size()) {
      const unsigned char c = raw[i];
      if (c >= 0x80 || path[j] >= 0x80) {
        plain = false;
      } else if (c == '\\') {
        if (i + 1 >= raw.size() || raw[i + 1] != '\\') {
          plain = false;
        } else {
          if (path[j] != u'\\') return false;
          i += 2;
          ++j;
        }
      } else {
        if (path[j] == u'\\' || upper(c) != upper(path[j])) return false;
        ++i;
        ++j;
      }
    }
    if (plain) return j == path.size() && (i == raw.size() || raw.substr(i, 2) == "\\\\");
  }
  return IsWithin(PathOf(b, scratch), path);
}

int Hive::FindBlock(const KeyPath& path) const {
  const uint32_t head = HeadsOf(path).two;
  std::u16string scratch;
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (blocks_[i].head == head && EqualNoCase(PathOf(blocks_[i], &scratch), path))
      return static_cast<int>(i);
  return -1;
}

bool Hive::KeyExists(const KeyPath& path) const {
  if (path.empty()) return true;
  const Within within(path);
  std::u16string scratch;
  for (const Block& b : blocks_)
    if (within.Admits(b) && BlockWithin(b, path, &scratch)) return true;
  return false;
}

// `path` with the names of keys the hive holds spelt as the hive spells
// them, the rest as given: from the keys below its first two names, or
// when none is there, the first name as any key below it has it.
KeyPath Hive::Spelling(const KeyPath& path) const {
  const Heads heads = HeadsOf(path);
  KeyPath best;
  std::u16string scratch;
  if (HasTwoNames(path)) {
    for (const Block& b : blocks_) {
      if (b.head != heads.two) continue;
      std::u16string_view p = PathOf(b, &scratch);
      size_t common = 0;  // length of the names p shares with path
      for (size_t i = 0;; ++i) {
        bool path_end = i == path.size(), block_end = i == p.size();
        bool path_sep = path_end || path[i] == u'\\';
        bool block_sep = block_end || p[i] == u'\\';
        if (path_sep && block_sep) {
          common = i;
          if (path_end || block_end) break;
          continue;
        }
        if (path_sep || block_sep || UpperCase(path[i]) != UpperCase(p[i])) break;
      }
      if (common > best.size()) best = p.substr(0, common);
    }
  }
  if (best.empty()) {
    const std::u16string_view first = std::u16string_view(path).substr(0, path.find(u'\\'));
    for (const Block& b : blocks_) {
      if (b.first != heads.one) continue;
      std::u16string_view p = PathOf(b, &scratch, 1);
      if (EqualNoCase(p, first)) {
        best = p;
        break;
      }
    }
  }
  return best + path.substr(best.size());
}

// Where Wine would list a new key: before the first key that sorts after
// it among the keys that share its first two names, else after them. With
// none of those, among all keys, which then differ from it within their
// first two names and are compared on those alone.
size_t Hive::InsertPosition(const KeyPath& path) const {
  const uint32_t head = HeadsOf(path).two;
  std::u16string scratch;
  size_t after_bucket = 0;
  for (size_t i = 0; i < blocks_.size(); ++i) {
    if (blocks_[i].head != head) continue;
    if (CompareKeyPaths(PathOf(blocks_[i], &scratch), path) > 0) return i;
    after_bucket = i + 1;
  }
  if (after_bucket) return after_bucket;
  for (size_t i = 0; i < blocks_.size(); ++i)
    if (CompareKeyPaths(PathOf(blocks_[i], &scratch, 2), path) > 0) return i;
  return blocks_.size();
}

// The block of `path`, made editable; created (at Wine's place for it) when
// the key has none because it exists only through the keys below it.
Hive::Block& Hive::EditBlock(const KeyPath& path) {
  int i = FindBlock(path);
  if (i < 0) {
    Block b;
    StartEdit(&b);
    EditOf(b)->path = Spelling(path);
    EditOf(b)->is_new = true;
    const Heads h = HeadsOf(path);
    b.first = h.one;
    b.head = h.two;
    const KeyPath& p = EditOf(b)->path;
    for (size_t start = 0; start <= p.size();) {
      size_t end = p.find(u'\\', start);
      if (end == KeyPath::npos) end = p.size();
      if (start) EditOf(b)->path_text += "\\\\";
      EditOf(b)->path_text += EscapeString(p.substr(start, end - start), '[', ']');
      start = end + 1;
    }
    i = static_cast<int>(InsertPosition(path));
    blocks_.insert(blocks_.begin() + i, std::move(b));
    return blocks_[i];
  }
  Block& b = blocks_[i];
  if (b.edit) return b;
  std::u16string scratch;
  KeyPath decoded(PathOf(b, &scratch));
  StartEdit(&b);
  EditOf(b)->path = std::move(decoded);
  EditOf(b)->path_text = text_.substr(b.path_at, b.path_len);
  std::string_view raw = std::string_view(text_).substr(b.begin, b.end - b.begin);
  LineReader r{raw, raw.find('\n') + 1};
  std::string_view line;
  bool terminated;
  while (r.Next(&line, &terminated)) {
    BlockEdit::Line l{std::string(line) + "\n", std::nullopt};
    std::string_view s = SkipSpace(line);
    if (!s.empty() && (s[0] == '"' || s[0] == '@')) {
      std::u16string name;
      ParseValueName(s, &name);
      l.value = std::move(name);
    } else if (!EditOf(b)->lines.empty() && EditOf(b)->lines.back().value &&
               EditOf(b)->lines.back().text.ends_with("\\\n")) {
      EditOf(b)->lines.back().text += l.text;  // a hex value going on
      continue;
    }
    EditOf(b)->lines.push_back(std::move(l));
  }
  return b;
}

void Hive::Touch(const KeyPath& path, uint64_t now) {
  if (FindBlock(path) < 0) return;  // listed only through its subkeys
  EditOf(EditBlock(path))->time = now;
  changed_ = true;
}

// Wine lists a key with no values only while it has no subkeys: a key that
// gains its first subkey and holds no value, class or link drops its block.
void Hive::NoteNewSubkey(const KeyPath& parent, uint64_t now) {
  int i = FindBlock(parent);
  if (i < 0 || parent.empty()) return;
  Block& b = EditBlock(parent);
  for (const BlockEdit::Line& l : EditOf(b)->lines) {
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
  EditOf(EditBlock(path))->time = now;
  changed_ = true;
}

void Hive::SetValue(const KeyPath& key, std::u16string_view name, uint32_t type,
                    std::string_view data, uint64_t now) {
  Block& b = EditBlock(key);
  EditOf(b)->time = now;
  changed_ = true;
  std::vector<BlockEdit::Line>& lines = EditOf(b)->lines;
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
  if (path.empty()) return false;
  // One pass: the subtree goes, and the first key of it tells how the hive
  // spells the parent.
  KeyPath parent;
  bool found = false;
  std::u16string scratch;
  const Within within(path);
  std::erase_if(blocks_, [&](const Block& b) {
    if (!within.Admits(b) || !BlockWithin(b, path, &scratch)) return false;
    if (!found) parent = Parent(KeyPath(PathOf(b, &scratch).substr(0, path.size())));
    found = true;
    return true;
  });
  if (!found) return false;
  changed_ = true;
  if (parent.empty()) return true;
  if (KeyExists(parent)) {
    Touch(parent, now);
  } else {
    // The parent existed only through what was deleted; it stays a key.
    EditOf(EditBlock(parent))->time = now;
  }
  return true;
}

bool Hive::Write(const Sink& sink) const {
  // Untouched neighbours go out as one range of the text read.
  size_t run_begin = 0, run_end = header_end_;
  char tail[2] = {'\n', '\n'};  // the last two bytes written
  auto flush = [&] {
    if (run_end > run_begin) {
      if (!sink(std::string_view(text_).substr(run_begin, run_end - run_begin))) return false;
      tail[0] = run_end - run_begin >= 2 ? text_[run_end - 2] : tail[1];
      tail[1] = text_[run_end - 1];
    }
    run_begin = run_end;
    return true;
  };
  auto put = [&](const std::string& s) {
    if (!flush()) return false;
    if (s.empty()) return true;
    tail[0] = s.size() >= 2 ? s[s.size() - 2] : tail[1];
    tail[1] = s.back();
    return sink(s);
  };
  bool after_new = false;
  for (const Block& b : blocks_) {
    const bool is_new = b.edit && EditOf(b)->is_new;
    if (!b.edit) {
      if (after_new) {
        if (!flush()) return false;
        if ((tail[0] != '\n' || tail[1] != '\n') && !put("\n")) return false;
        after_new = false;
      }
      if (b.begin != run_end && !flush()) return false;
      if (run_begin == run_end) run_begin = b.begin;
      run_end = b.end;
      continue;
    }
    if (!flush()) return false;
    // Keys are set apart by a blank line, as Wine writes them.
    if ((is_new || after_new) && (tail[0] != '\n' || tail[1] != '\n') && !put("\n")) return false;
    after_new = is_new;
    std::string out = "[" + EditOf(b)->path_text;
    if (EditOf(b)->time) {
      out += TimeHead(EditOf(b)->time);
    } else {
      std::string_view raw = std::string_view(text_).substr(b.begin, b.end - b.begin);
      out += raw.substr(b.path_at - b.begin + b.path_len, raw.find('\n') + 1 - (b.path_at - b.begin + b.path_len));
    }
    bool time_written = false;
    for (const BlockEdit::Line& l : EditOf(b)->lines) {
      const bool is_time = SkipSpace(l.text).starts_with("#time=");
      if (EditOf(b)->time && !time_written) {
        out += TimeLine(EditOf(b)->time);
        time_written = true;
      }
      if (!(EditOf(b)->time && is_time)) out += l.text;
    }
    if (EditOf(b)->time && !time_written) out += TimeLine(EditOf(b)->time);
    if (!put(out)) return false;
  }
  return flush();
}

std::string Hive::Text() const {
  std::string out;
  out.reserve(text_.size() + 4096);
  Write([&](std::string_view piece) {
    out += piece;
    return true;
  });
  return out;
}
