// fault_probe.exe access|divide|stack: puts the failure report in place as
// authreg does, then faults in the way asked. Test-only.
#include <cstring>

#include "frame/frame.h"

namespace {

volatile bool g_forever = true;

int Recurse(int n) {
  volatile char pad[512];
  pad[0] = static_cast<char>(n);
  return g_forever ? Recurse(n + 1) + pad[0] : 0;
}

}  // namespace

int main(int argc, char** argv) {
  frame::Start();
  const char* kind = argc > 1 ? argv[1] : "";
  if (strcmp(kind, "access") == 0) {
    volatile int* p = nullptr;
    *p = 1;
  } else if (strcmp(kind, "divide") == 0) {
    volatile int zero = 0, seven = 7;
    volatile int x = seven / zero;
    (void)x;
  } else if (strcmp(kind, "stack") == 0) {
    Recurse(0);
  }
  frame::EndRun(0);
}
