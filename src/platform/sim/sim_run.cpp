#include "platform/sim/sim_run.h"

#include "app/tool.h"
#include "platform/product_cache.h"
#include "platform/shell_path.h"

namespace tv::sim {

void PlaceTool(SimMachine& machine, std::wstring_view exePath, std::string_view setupScript) {
  machine.modulePath = std::wstring(exePath);
  machine.files.WriteFile(exePath, std::string_view("MZ"));
  machine.files.WriteFile(shell::RenameExtension(exePath, L".ini").value_or(std::wstring(exePath)), setupScript);
}

int RunTool(SimMachine& machine) {
  const Platform raw = machine.platform();
  CProductValueCache product(raw.product, {L"Version", L"Vendor"});
  const Platform platform{raw.profile, raw.registry, product, raw.system, raw.debug};
  CTool tool(platform);
  return tool.Run();
}

}  // namespace tv::sim
