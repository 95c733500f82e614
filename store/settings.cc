#include "store/settings.h"

int32_t SettingsReader::ReadInteger(const std::string& section,
                                    const std::string& key,
                                    int32_t default_value) {
  int32_t value;
  return ConvertInteger(ReadText(section, key, ""), &value) ? value
                                                            : default_value;
}

std::string LocateSettingsFile(std::string_view program_path,
                               std::string_view separators,
                               LeadByteTest is_lead_byte) {
  std::string path(program_path);
  for (size_t i = path.size(); i-- > 0;) {
    char c = path[i];
    if (c != '.' && separators.find(c) == std::string_view::npos) continue;
    if (IsSecondByte(path, i, is_lead_byte)) {
      --i;  // the lead byte before it belongs to the same character
      continue;
    }
    if (c == '.') path.resize(i);
    break;
  }
  return path + ".dat";
}

bool ConvertInteger(std::string_view text, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  text.remove_prefix(i);
  if (text.empty()) return false;

  auto digit = [](char c, int base) -> int {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : 99;
    return d < base ? d : -1;
  };

  size_t prefix = 0;
  if (text[0] == '$' || text[0] == 'x' || text[0] == 'X') {
    prefix = 1;
  } else if (text.size() >= 2 && text[0] == '0' &&
             (text[1] == 'x' || text[1] == 'X')) {
    prefix = 2;
  }
  if (prefix) {
    text.remove_prefix(prefix);
    if (text.empty()) return false;
    uint64_t bits = 0;
    for (char c : text) {
      int d = digit(c, 16);
      if (d < 0) return false;
      bits = bits * 16 + d;
      if (bits > 0xFFFFFFFFu) return false;
    }
    *value = static_cast<int32_t>(static_cast<uint32_t>(bits));
    return true;
  }

  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
    if (text.empty()) return false;
  }
  int64_t magnitude = 0;
  for (char c : text) {
    int d = digit(c, 10);
    if (d < 0) return false;
    magnitude = magnitude * 10 + d;
    if (magnitude > 2147483648LL) return false;
  }
  if (!negative && magnitude > 2147483647LL) return false;
  *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return true;
}
