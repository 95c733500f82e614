// ini_probe.exe <file> (<section-hex> <key-hex or ->)...: prints, for each
// pair, what GetPrivateProfileStringA returns into a 2048-byte buffer (for
// "-", the null key's listing into 16,384 bytes) as "<count> <hex>".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Unhex(const char* s) {
  std::string out;
  for (; s[0] && s[1]; s += 2) {
    unsigned v;
    sscanf(s, "%2x", &v);
    out += static_cast<char>(v);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string section = Unhex(argv[i]);
    bool listing = strcmp(argv[i + 1], "-") == 0;
    std::string key = listing ? "" : Unhex(argv[i + 1]);
    std::vector<char> buf(listing ? 16384 : 2048, '\0');
    DWORD n = GetPrivateProfileStringA(section.c_str(), listing ? nullptr : key.c_str(),
                                       listing ? nullptr : "", buf.data(),
                                       static_cast<DWORD>(buf.size()), argv[1]);
    printf("%lu ", n);
    for (DWORD k = 0; k < n; ++k) printf("%02x", static_cast<unsigned char>(buf[k]));
    printf("\n");
  }
  return 0;
}
