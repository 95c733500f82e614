// make_hive <MiB> <file> [<software keys>]: writes a Wine-format user.reg of
// about that size: many vendors' keys with typical values, sorted as Wine
// sorts them, with Software\Norvane in the middle. With a third argument,
// Software\Norvane\bench holds that many software keys.
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: make_hive <MiB> <file> [<software keys>]\n");
    return 2;
  }
  const size_t target = static_cast<size_t>(atof(argv[1]) * (1 << 20));
  const int soft_keys = argc > 3 ? atoi(argv[3]) : 0;
  FILE* f = fopen(argv[2], "w");
  if (!f) return 1;
  size_t written = fprintf(f,
                           "WINE REGISTRY Version 2\n"
                           ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                           "#arch=win64\n");
  // Vendors A... before Norvane, then P... after it.
  auto vendor_keys = [&](char initial, size_t budget) {
    for (int i = 0; written < budget; ++i) {
      written += fprintf(f,
                         "\n[Software\\\\%cVendor%03d\\\\Product%05d\\\\Settings] 1797000000\n"
                         "#time=1dd8980000000000\n"
                         "\"Build\"=dword:%08x\n"
                         "\"InstallPath\"=\"C:\\\\Program Files\\\\Vendor %d\\\\Product %d\"\n"
                         "\"Language\"=\"ja-JP\"\n"
                         "\"Name\"=\"Product %d \\x88ee\\x7406\"\n"
                         "\"Window\"=hex:2c,00,00,00,00,00,00,00,01,00,00,00,ff,ff,ff,ff,ff,ff,ff,ff,\\\n"
                         "  ff,ff,ff,ff,ff,ff,ff,ff,4e,00,00,00,4e,00,00,00,ce,03,00,00,b2,02,00,00\n",
                         initial, i / 40, i, i, i / 40, i, i);
    }
  };
  vendor_keys('A', target / 2);
  written += fprintf(f, "\n[Software\\\\Norvane\\\\bench] 1797000000\n#time=1dd8980000000000\n"
                        "\"Author\"=\"Bench\"\n\"DisplayHost\"=\"bench.example\"\n");
  for (int i = 0; i < soft_keys; ++i)
    written += fprintf(f, "\n[Software\\\\Norvane\\\\bench\\\\Soft%05d] 1797000000\n#time=1dd8980000000000\n"
                          "\"Build\"=dword:%08x\n\"DisplayName\"=\"Soft %d\"\n\"DistinctName\"=\"soft-%d\"\n",
                       i, i, i, i);
  vendor_keys('P', target);
  return fclose(f) == 0 ? 0 : 1;
}
