// watcher.exe <command line> or watcher.exe @<file holding it>: runs the
// command line, and while it runs
// reads every message box of its process, closes it with OK and prints
//   box <caption in hex> <text in hex>
// one line a box; at the end it prints "exit <code>".
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

DWORD g_child;
std::string g_seen;

std::string Hex(const char* s) {
  std::string out;
  char b[3];
  for (; *s; ++s) {
    snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(*s));
    out += b;
  }
  return out.empty() ? "-" : out;
}

BOOL CALLBACK OnWindow(HWND w, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64];
  if (pid != g_child || !GetClassNameA(w, cls, sizeof cls) || strcmp(cls, "#32770") != 0 ||
      !IsWindowVisible(w))
    return TRUE;
  char caption[1024] = {}, text[4096] = {};
  GetWindowTextA(w, caption, sizeof caption);
  GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
  printf("box %s %s\n", Hex(caption).c_str(), Hex(text).c_str());
  fflush(stdout);
  PostMessageA(w, WM_COMMAND, IDOK, 0);
  // One box is reported once, however long it takes to close.
  ShowWindow(w, SW_HIDE);
  return TRUE;
}

}  // namespace

int main() {
  // Everything after our own name is the child's command line.
  const char* line = GetCommandLineA();
  bool quoted = *line == '"';
  for (++line; *line && (quoted ? *line != '"' : *line != ' '); ++line) {}
  if (*line == '"') ++line;
  while (*line == ' ') ++line;
  std::string command = line;
  // "@file": the command line is the file's bytes, exactly.
  if (!command.empty() && command[0] == '@') {
    FILE* f = fopen(command.c_str() + 1, "rb");
    command.clear();
    for (int c; f && (c = fgetc(f)) != EOF;) command += static_cast<char>(c);
    if (f) fclose(f);
  }

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &si, &pi)) {
    printf("error %lu\n", GetLastError());
    return 2;
  }
  g_child = pi.dwProcessId;
  while (WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT) EnumWindows(OnWindow, 0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  printf("exit %lu\n", code);
  return 0;
}
