#include <cstring>
#include <new>

#include "frame/frame.h"
#include "frame/platform.h"
#include "frame/texts.h"
#include "store/dbcs.h"

namespace frame {
namespace {

struct Out {
  char* buf;
  size_t len = 0;
  void Put(std::string_view s) {
    for (char c : s) {
      if (len == kMaxReportBody) return;
      buf[len++] = c;
    }
  }
};

}  // namespace

size_t FormatReportBody(std::string_view pattern, std::string_view class_name,
                        std::string_view module, uint32_t location,
                        std::string_view message,
                        char (&out)[kMaxReportBody + 1]) {
  char hex[8];
  for (int i = 7; i >= 0; --i, location >>= 4)
    hex[i] = "0123456789ABCDEF"[location & 0xF];
  const bool needs_stop = !message.empty() && message.back() != '.';
  const std::string_view strings[] = {class_name, module, message,
                                      needs_stop ? "." : ""};
  size_t next = 0;
  Out o{out};
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      char conversion = pattern[++i];
      if (conversion == 's') {
        if (next < 4) o.Put(strings[next++]);
        continue;
      }
      if (conversion == 'p') {
        o.Put(std::string_view(hex, 8));
        continue;
      }
      o.Put("%");
    }
    o.Put(std::string_view(&pattern[i], 1));
  }
  out[o.len] = '\0';
  return o.len;
}

std::string_view ModuleFileName(std::string_view path, char separator,
                                bool (*is_lead_byte)(unsigned char)) {
  for (size_t i = path.size(); i-- > 0;) {
    if (path[i] == separator && !IsSecondByte(path, i, is_lead_byte))
      return path.substr(i + 1);
  }
  return path;
}

namespace {

// Loaded once at start-up: reporting, also of an exhausted heap, allocates
// nothing.
char g_pattern[256];
char g_caption[128];
char g_out_of_memory[128];

void Keep(TextId id, char* buf, size_t size) {
  std::string text = LoadText(id);
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

void OnOutOfMemory() { throw EOutOfMemory(AUTHREG_RETURN_ADDRESS()); }

}  // namespace

void StartReporting() {
  Keep(TextId::kReportTemplate, g_pattern, sizeof g_pattern);
  Keep(TextId::kReportCaption, g_caption, sizeof g_caption);
  Keep(TextId::kOutOfMemory, g_out_of_memory, sizeof g_out_of_memory);
  std::set_new_handler(OnOutOfMemory);
}

void ShowReport(const char* class_name, std::string_view message,
                const void* location,
                bool (*find_module)(const void*, char*, size_t, uintptr_t*)) {
  char path[4096];
  uintptr_t base = 0;
  uintptr_t address = reinterpret_cast<uintptr_t>(location);
  uintptr_t relative = 0;
  if (find_module(location, path, sizeof path, &base)) {
    relative = address - base;
  } else {
    // Outside every module: reported against the program file, as the
    // location minus the customary 4096 bytes of headers.
    if (!platform::ProgramPath(path, sizeof path)) path[0] = '\0';
    relative = address ? address - 0x1000 : 0;
  }
  char body[kMaxReportBody + 1];
  FormatReportBody(g_pattern, class_name,
                   ModuleFileName(path, platform::kPathSeparator,
                                  PathLeadByteTest()),
                   static_cast<uint32_t>(relative), message, body);
  ShowBox(body, g_caption, kMbIconError | kMbTaskModal);
}

void Report(const Exception& error) {
  ShowReport(error.ClassName(), error.Message(), error.Location(),
             platform::FindModule);
  EndRun(1);
}

}  // namespace frame

std::string_view EOutOfMemory::Message() const {
  return frame::g_out_of_memory;
}
