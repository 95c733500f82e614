#include "store/registry.h"

#include "frame/exception.h"
#include "frame/texts.h"

bool SplitKeyPath(std::string_view path, bool* absolute,
                  std::vector<std::string>* names) {
  *absolute = !path.empty() && path[0] == '\\';
  if (*absolute) path.remove_prefix(1);
  names->clear();
  for (;;) {
    size_t end = path.find('\\');
    if (end == 0 || path.empty()) return false;
    names->emplace_back(path.substr(0, end));
    if (end == std::string_view::npos) return true;
    path.remove_prefix(end + 1);
  }
}

AUTHREG_NOINLINE void RaiseWriteFailed(const std::string& name) {
  throw ERegistryException(FormatText(LoadText(TextId::kWriteFailed), name),
                           AUTHREG_RETURN_ADDRESS());
}
