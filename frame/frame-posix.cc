// The frame on POSIX: boxes go to standard error; processor faults arrive as
// signals and are reported from the signal handler.
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"
#include "frame/platform.h"

namespace frame {
namespace {

const void* g_program_base;

// Module ranges taken at start-up, for the signal handler, where dladdr (it
// takes the loader's lock) must not be called.
struct ModuleRange {
  uintptr_t begin, end, base;
  char path[512];
};
ModuleRange g_modules[64];
int g_module_count;
uintptr_t g_stack_top;
rlim_t g_stack_limit;

int AddModule(dl_phdr_info* info, size_t, void*) {
  if (g_module_count == 64) return 1;
  ModuleRange& m = g_modules[g_module_count];
  m.begin = UINTPTR_MAX;
  m.end = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& ph = info->dlpi_phdr[i];
    if (ph.p_type != PT_LOAD) continue;
    uintptr_t b = info->dlpi_addr + ph.p_vaddr;
    if (b < m.begin) m.begin = b;
    if (b + ph.p_memsz > m.end) m.end = b + ph.p_memsz;
  }
  if (m.begin >= m.end) return 0;
  m.base = info->dlpi_addr;
  if (info->dlpi_name && info->dlpi_name[0]) {
    strncpy(m.path, info->dlpi_name, sizeof m.path - 1);
  } else if (!platform::ProgramPath(m.path, sizeof m.path)) {
    m.path[0] = '\0';
  }
  ++g_module_count;
  return 0;
}

bool FindModuleInRanges(const void* address, char* path, size_t size,
                        uintptr_t* base) {
  uintptr_t a = reinterpret_cast<uintptr_t>(address);
  for (int i = 0; i < g_module_count; ++i) {
    const ModuleRange& m = g_modules[i];
    if (a < m.begin || a >= m.end) continue;
    size_t n = strlen(m.path);
    if (n >= size) n = size - 1;
    memcpy(path, m.path, n);
    path[n] = '\0';
    *base = m.base;
    return true;
  }
  return false;
}

struct Fault {
  const char* class_name;
  const char* message;
};

Fault FaultOf(int sig, const siginfo_t* info) {
  if (sig == SIGFPE) return {"EDivByZero", "Division by zero"};
  if (sig == SIGSEGV) {
    uintptr_t a = reinterpret_cast<uintptr_t>(info->si_addr);
    // A fault just below the stack's reach is the stack running out.
    if (a < g_stack_top && g_stack_top - a <= g_stack_limit + (1u << 20))
      return {"EStackOverflow", "Stack overflow"};
  }
  return {"EAccessViolation", "Access violation"};
}

// Async-signal-safe: fixed buffers, write(2) and _exit(2) only. The hive
// is not saved on this road; the file on disk stays as it was.
void OnFault(int sig, siginfo_t* info, void* context) {
  const void* pc = info->si_addr;
#if defined(__x86_64__)
  pc = reinterpret_cast<const void*>(
      static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#endif
  const Fault fault = FaultOf(sig, info);
  ShowReport(fault.class_name, fault.message, pc, FindModuleInRanges);
  _exit(1);
}

}  // namespace

namespace platform {

const char kPathSeparator = '/';

bool FindModule(const void* address, char* path, size_t size,
                uintptr_t* base) {
  Dl_info info;
  if (!address || !dladdr(address, &info) || !info.dli_fbase) return false;
  *base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  // dladdr names the program as it was started; its real path is wanted.
  if (info.dli_fbase == g_program_base) return ProgramPath(path, size);
  if (!info.dli_fname) return false;
  strncpy(path, info.dli_fname, size - 1);
  path[size - 1] = '\0';
  return true;
}

bool ProgramPath(char* path, size_t size) {
  ssize_t n = readlink("/proc/self/exe", path, size - 1);
  if (n < 0) return false;
  path[n] = '\0';
  return true;
}

}  // namespace platform

void Start() {
  setlocale(LC_ALL, "");
  StartReporting();

  Dl_info self;
  if (dladdr(reinterpret_cast<const void*>(&Start), &self))
    g_program_base = self.dli_fbase;
  dl_iterate_phdr(AddModule, nullptr);

  int top;
  g_stack_top = reinterpret_cast<uintptr_t>(&top);
  rlimit limit;
  g_stack_limit = getrlimit(RLIMIT_STACK, &limit) == 0 &&
                          limit.rlim_cur != RLIM_INFINITY
                      ? limit.rlim_cur
                      : (8u << 20);

  static char alt_stack[64 * 1024];
  stack_t ss = {};
  ss.ss_sp = alt_stack;
  ss.ss_size = sizeof alt_stack;
  sigaltstack(&ss, nullptr);
  struct sigaction sa = {};
  sa.sa_sigaction = OnFault;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) sigaction(sig, &sa, nullptr);
}

void ShowBox(std::string_view text, std::string_view caption, unsigned) {
  // write(2) only: the fault handler shows its report through here.
  auto put = [](std::string_view s) {
    while (!s.empty()) {
      ssize_t n = write(STDERR_FILENO, s.data(), s.size());
      if (n <= 0) return;
      s.remove_prefix(static_cast<size_t>(n));
    }
  };
  put(caption);
  put("\n");
  put(text);
  put("\n");
}

void EndRun(unsigned code) { std::exit(static_cast<int>(code)); }

}  // namespace frame
