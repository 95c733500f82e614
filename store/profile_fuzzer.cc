#include <cstddef>
#include <cstdint>

#include "store/profile.h"

// Any file: decoding and reading never fail, and a value has no line end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Profile p(DecodeProfile(bytes, 932));
  for (const char16_t* section : {u"Author", u"Soft", u""}) {
    for (const char16_t* key : {u"MainAddress", u"SoftKey", u"a"}) {
      std::optional<std::u16string> v = p.Value(section, key);
      if (v && v->find(u'\n') != std::u16string::npos) __builtin_trap();
    }
    p.KeyNames(section);
  }
  return 0;
}
