#include "tools/render/render.h"

#include <sys/stat.h>
#include <unistd.h>

#include "common/allgemein.h"
#include "common/random.h"
#include "errors/trap.h"
#include "gfx/png.h"
#include "platform/headless/headless_host.h"
#include "platform/system.h"
#include "scene/frm_main.h"
#include "startup/settings.h"
#include "tools/render/render_options.h"

namespace wh {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Refuses outputs that cannot be written before any work is done.
void CheckOutputs(const RenderOptions& o) {
  if (!o.output.empty()) {
    const auto slash = o.output.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : o.output.substr(0, slash + 1);
    if (IsFolder(o.output)) throw UsageError("-o: '" + o.output + "' is a folder");
    if (!IsFolder(dir) || access(dir.c_str(), W_OK) != 0)
      throw UsageError("-o: cannot write into the folder of '" + o.output + "'");
    if (access(o.output.c_str(), F_OK) == 0 && access(o.output.c_str(), W_OK) != 0)
      throw UsageError("-o: '" + o.output + "' is not writable");
  }
  if (!o.stages.empty()) {
    if (!IsFolder(o.stages)) mkdir(o.stages.c_str(), 0777);
    if (!IsFolder(o.stages) || access(o.stages.c_str(), W_OK) != 0)
      throw UsageError("--stages: cannot write into the folder '" + o.stages + "'");
  }
}

}  // namespace

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  RenderOptions o;
  try {
    o = ParseRenderOptions(args);
    if (o.help) {
      out << RenderHelp();
      return 0;
    }
    CheckOutputs(o);
  } catch (const UsageError& e) {
    err << "winterhollow-render: " << e.what() << "\n";
    return 2;
  }

  MemorySettingsStore store;
  for (const auto& [key, value] : o.settings) store.Save(kAppName, kSettingsSection, key, value);
  SetSettingsStore(&store);
  LoadConfig();
  if (o.seed)
    SeedRandom(*o.seed);
  else
    SeedRandomFromTimeOfDay(platform::Sys().SecondsSinceMidnight());

  HeadlessHost host;
  host.keep_images = !o.stages.empty();
  FrmMain frm(&host);
  frm.form.SetSize(o.width, o.height);
  {
    // The window's load step draws the flake count before the first scene.
    Trap trap("frmMain", "Form_Load");
    trap([&] { AnzFl = Zz(minFl, SaverSettings.maxFl); });
  }
  {
    Trap trap("frmMain", "Form_Resize");
    frm.ShowNewScene(trap);
  }
  SetSettingsStore(nullptr);

  try {
    if (!o.stages.empty()) host.WriteStages(o.stages);
    if (!o.output.empty()) SavePng(o.output, frm.picBG.image());
  } catch (const RuntimeError& e) {
    err << "winterhollow-render: cannot write the output: " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace wh
