#include "sim/sim_run.h"

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
  const CProcessPlatform process(machine.platform());
  CTool tool(process.get());
  return tool.Run();
}

}  // namespace tv::sim
