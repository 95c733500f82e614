// The entry point: creates the registry store, then the settings object,
// runs one mode, releases them in the reverse order, and ends the run.
#include <exception>

#include "app/arguments.h"
#include "app/run_modes.h"
#include "frame/frame.h"

int main(int argc, char** argv) {
  frame::Start();
  try {
    std::unique_ptr<RegistryStore> registry = NewRegistryStore();
    const Arguments args = ProcessArguments(argc, argv);
    std::unique_ptr<SettingsReader> settings =
        NewSettingsReader(LocateSettingsFile(args.Get(0)));
    RunContext run{*registry, *settings, args, frame::ShowBox};
    frame::Guarded([&] { Dispatch(run); },
                   [&] {
                     settings.reset();
                     registry->Release();
                   });
  } catch (const Exception& error) {
    frame::Report(error);
  } catch (const std::exception& error) {
    frame::Report(Exception(error.what(), nullptr));
  }
  frame::EndRun(0);
}
