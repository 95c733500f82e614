#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "store/hive.h"

// A hive that parses is written back byte for byte; after changes it still
// parses, holds what was set, and what was deleted is gone.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  Hive h;
  std::string error;
  if (!h.Parse(text, &error)) return 0;
  if (h.Text() != text) abort();

  // A key name and value from the input's tail.
  std::u16string name;
  for (size_t i = size > 8 ? size - 8 : 0; i < size; ++i)
    if (data[i] != '\\') name += static_cast<char16_t>(data[i] | (data[i] & 1) << 12);
  if (name.empty()) name = u"k";
  const KeyPath key = u"Software\\Norvane\\" + name;
  const uint64_t now = 0x1dd898c67482809ULL;
  h.CreateKey(key, now);
  std::string sz;
  for (char16_t c : name) sz += static_cast<char>(c), sz += static_cast<char>(c >> 8);
  sz += std::string(2, '\0');
  h.SetValue(key, name, kRegSz, sz, now);
  h.DeleteKey(u"Software\\Norvane\\" + name + u"\\x", now);

  Hive again;
  if (!again.Parse(h.Text(), &error)) abort();
  if (!again.KeyExists(key)) abort();
  if (!again.DeleteKey(key, now) || again.KeyExists(key)) abort();
  Hive third;
  if (!third.Parse(again.Text(), &error)) abort();
  return 0;
}
