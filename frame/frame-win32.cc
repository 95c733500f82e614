// The frame on Windows: message boxes, and processor faults caught by the
// top-level exception filter and reported like every escaped error.
#include <windows.h>

#include <cstring>

#include "frame/frame.h"
#include "frame/platform.h"

namespace frame {
namespace {

struct Fault {
  const char* class_name;
  const char* message;
  const void* location;
};

DWORD WINAPI ReportFault(void* arg) {
  const Fault* f = static_cast<const Fault*>(arg);
  ShowReport(f->class_name, f->message, f->location, platform::FindModule);
  return 0;
}

// The report is shown from a thread of its own: the faulting thread may
// have no stack left.
LONG WINAPI OnFault(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  Fault f{"EExternal", "External exception", r->ExceptionAddress};
  switch (r->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: f = {"EAccessViolation", "Access violation", f.location}; break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO: f = {"EDivByZero", "Division by zero", f.location}; break;
    case EXCEPTION_STACK_OVERFLOW: f = {"EStackOverflow", "Stack overflow", f.location}; break;
    default: break;
  }
  HANDLE t = CreateThread(nullptr, 256 * 1024, ReportFault, &f, 0, nullptr);
  if (t) WaitForSingleObject(t, INFINITE);
  ExitProcess(1);
}

}  // namespace

namespace platform {

const char kPathSeparator = '\\';

bool FindModule(const void* address, char* path, size_t size, uintptr_t* base) {
  MEMORY_BASIC_INFORMATION mbi;
  if (!address || !VirtualQuery(address, &mbi, sizeof mbi) || mbi.State != MEM_COMMIT)
    return false;
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(mbi.AllocationBase), path,
                               static_cast<DWORD>(size));
  if (n == 0 || n >= size) return false;
  *base = reinterpret_cast<uintptr_t>(mbi.AllocationBase);
  return true;
}

bool ProgramPath(char* path, size_t size) {
  DWORD n = GetModuleFileNameA(nullptr, path, static_cast<DWORD>(size));
  return n > 0 && n < size;
}

}  // namespace platform

void Start() {
  StartReporting();
  ULONG guarantee = 64 * 1024;
  SetThreadStackGuarantee(&guarantee);
  SetUnhandledExceptionFilter(OnFault);
}

void ShowBox(std::string_view text, std::string_view caption, unsigned style) {
  // Fixed buffers: the failure report also comes here.
  char t[2048], c[256];
  size_t nt = text.size() < sizeof t - 1 ? text.size() : sizeof t - 1;
  size_t nc = caption.size() < sizeof c - 1 ? caption.size() : sizeof c - 1;
  memcpy(t, text.data(), nt);
  memcpy(c, caption.data(), nc);
  t[nt] = c[nc] = '\0';
  MessageBoxA(nullptr, t, c, style);
}

void EndRun(unsigned code) { ExitProcess(code); }

}  // namespace frame
