#include <windows.h>

#include "frame/texts-win32.h"
#include "frame/texts.h"

std::string LoadText(TextId id) {
  UINT entry = 0;
  switch (id) {
    case TextId::kReportTemplate: entry = IDS_REPORT_TEMPLATE; break;
    case TextId::kReportCaption: entry = IDS_REPORT_CAPTION; break;
    case TextId::kWriteFailed: entry = IDS_WRITE_FAILED; break;
    case TextId::kOutOfMemory: entry = IDS_OUT_OF_MEMORY; break;
    case TextId::kInfoIncInvalid: entry = IDS_INFOINC_INVALID; break;
    case TextId::kInfoIncCaption: entry = IDS_INFOINC_CAPTION; break;
    case TextId::kWineRunning: entry = IDS_WINE_RUNNING; break;
  }
  char buf[1024];
  int n = LoadStringA(GetModuleHandleA(nullptr), entry, buf, sizeof buf);
  return std::string(buf, n > 0 ? n : 0);
}
