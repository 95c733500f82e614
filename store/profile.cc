#include "store/profile.h"

#include "store/codepage.h"

namespace {

bool IsSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x1A;
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

std::u16string DecodeProfile(std::string_view bytes, unsigned cp) {
  auto u16 = [&](bool big_endian) {
    std::u16string out;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      unsigned char a = bytes[i], b = bytes[i + 1];
      out += static_cast<char16_t>(big_endian ? a << 8 | b : b << 8 | a);
    }
    return out;
  };
  if (bytes.substr(0, 2) == "\xFF\xFE") return u16(false);
  if (bytes.substr(0, 2) == "\xFE\xFF") return u16(true);
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return ToUtf16(bytes.substr(3), 65001);
  return ToUtf16(bytes, cp);
}

Profile::Profile(std::u16string_view text) {
  sections_.push_back({});  // the keys before the first section line
  while (!text.empty()) {
    size_t end = text.find(u'\n');
    if (end == std::u16string_view::npos) end = text.find(u'\r');
    std::u16string_view line =
        Trim(text.substr(0, end == std::u16string_view::npos ? end : end + 1));
    text.remove_prefix(end == std::u16string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;

    if (line.front() == u'[') {
      size_t close = line.rfind(u']');
      if (close != std::u16string_view::npos) {
        sections_.push_back({std::u16string(Trim(line.substr(1, close - 1))), {}});
        continue;
      }
    }
    Key key;
    size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos) {
      key.name = line;
    } else {
      key.name = Trim(line.substr(0, eq));
      key.value = std::u16string(Trim(line.substr(eq + 1)));
    }
    sections_.back().keys.push_back(std::move(key));
  }
}

const Profile::Section* Profile::Find(std::u16string_view name) const {
  for (const Section& s : sections_)
    if (EqualNoCase(s.name, name)) return &s;
  return nullptr;
}

std::optional<std::u16string> Profile::Value(std::u16string_view section,
                                             std::u16string_view key) const {
  const Section* s = Find(Trim(section));
  if (!s) return std::nullopt;
  key = Trim(key);
  for (const Key& k : s->keys) {
    if (!EqualNoCase(k.name, key)) continue;
    if (!k.value) return std::nullopt;
    std::u16string v = k.value->substr(0, k.value->find(u'\0'));
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') &&
        v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    return v;
  }
  return std::nullopt;
}

std::vector<std::u16string> Profile::KeyNames(std::u16string_view section) const {
  std::vector<std::u16string> names;
  const Section* s = Find(section);
  if (!s) return names;
  for (const Key& k : s->keys) {
    if (!k.value || (!k.name.empty() && k.name.front() == u';')) continue;
    names.push_back(k.name);
  }
  return names;
}
