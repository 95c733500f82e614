#include "store/registry.h"

#include "frame/exception.h"
#include "frame/texts.h"

AUTHREG_NOINLINE void RaiseWriteFailed(const std::string& name) {
  throw ERegistryException(FormatText(LoadText(TextId::kWriteFailed), name),
                           AUTHREG_RETURN_ADDRESS());
}
