#include "app/run_modes.h"

#include "frame/frame.h"
#include "frame/texts.h"

namespace {

// Every key path is this prefix followed directly by the author path.
const std::string kVendorRoot = "\\Software\\Norvane\\";

}  // namespace

void Dispatch(RunContext& run) {
  const std::string mode = run.args.Get(1);
  if (mode == "/delauthor") {
    RunAuthorRemoval(run);
  } else if (mode == "/delsoft") {
    RunSoftwareRemoval(run);
  } else {
    RunRegistration(run);
  }
}

// Each read happens right before the write that uses it; a refused write
// ends the run with what was written before it kept.
void RunRegistration(RunContext& run) {
  SettingsReader& ini = run.settings;
  RegistryStore& reg = run.registry;

  std::string author_path = ini.ReadText("Author", "MainAddress", "");
  reg.OpenKey(kVendorRoot + author_path, true);
  reg.WriteText("Author", ini.ReadText("Author", "Author", ""));
  reg.WriteText("DisplayHost", ini.ReadText("Author", "DisplayHost", ""));

  const int32_t info_inc = ini.ReadInteger("Author", "InfoInc", 0);
  if (info_inc >= 2) {
    reg.WriteText("InfoURL" + std::to_string(info_inc),
                  ini.ReadText("Author", "InfoURL", ""));
  } else if (info_inc == 1) {
    run.show_box(LoadText(TextId::kInfoIncInvalid),
                 LoadText(TextId::kInfoIncCaption),
                 frame::kMbOk | frame::kMbIconError);
  } else {
    reg.WriteText("InfoURL", ini.ReadText("Author", "InfoURL", ""));
  }

  if (!ini.SectionTest("Soft")) return;
  author_path.append("\\").append(ini.ReadText("Soft", "SoftKey", ""));
  reg.OpenKey(kVendorRoot + author_path, true);
  reg.WriteText("DistinctName", ini.ReadText("Soft", "DistinctName", ""));
  reg.WriteText("DisplayName", ini.ReadText("Soft", "DisplayName", ""));
  reg.WriteInteger("Build", ini.ReadInteger("Soft", "Build", 0));
}

// Argument 2 replaces MainAddress; an empty author path deletes nothing,
// so the vendor root itself is never the key deleted.
void RunAuthorRemoval(RunContext& run) {
  std::string author_path = run.settings.ReadText("Author", "MainAddress", "");
  const std::string name = run.args.Get(2);
  if (!name.empty()) author_path = name;
  if (author_path.empty()) return;
  run.registry.DeleteKey(kVendorRoot + author_path);
}

// Arguments 2 and 3 name a key two levels below the author key; argument 3
// is joined even when empty. Without argument 2 it is the software key of
// the settings file, read with no section test.
void RunSoftwareRemoval(RunContext& run) {
  std::string author_path = run.settings.ReadText("Author", "MainAddress", "");
  const std::string name = run.args.Get(2);
  if (!name.empty()) {
    author_path.append("\\").append(name).append("\\").append(run.args.Get(3));
  } else {
    author_path.append("\\").append(run.settings.ReadText("Soft", "SoftKey", ""));
  }
  run.registry.DeleteKey(kVendorRoot + author_path);
}
