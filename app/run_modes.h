// The run modes: registration, author removal and software removal.
#pragma once

#include <string_view>

#include "app/arguments.h"
#include "store/registry.h"
#include "store/settings.h"

// What a run mode works with. The entry point owns all of it.
struct RunContext {
  RegistryStore& registry;
  SettingsReader& settings;
  const Arguments& args;
  // Shows a message box and returns when it is closed.
  void (*show_box)(std::string_view text, std::string_view caption,
                   unsigned style);
};

// Runs the one mode that argument 1 selects: exactly "/delauthor" or
// "/delsoft" (same length, same bytes), registration for anything else.
void Dispatch(RunContext& run);

void RunRegistration(RunContext& run);
void RunAuthorRemoval(RunContext& run);
void RunSoftwareRemoval(RunContext& run);
