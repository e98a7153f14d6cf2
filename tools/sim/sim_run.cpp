#include "sim/sim_run.h"

#include "app/companion.h"
#include "app/tool.h"
#include "devices/companion_protocol.h"
#include "platform/product_cache.h"
#include "platform/shell_path.h"

namespace tv::sim {

void PlaceTool(SimMachine& machine, std::wstring_view exePath, std::string_view setupScript) {
  machine.modulePath = std::wstring(exePath);
  machine.files.WriteFile(exePath, std::string_view("MZ"));
  machine.files.WriteFile(shell::RenameExtension(exePath, L".ini").value_or(std::wstring(exePath)), setupScript);
}

void PlaceCompanion(SimMachine& machine) {
  const std::wstring path = CompanionPath(machine.modulePath);
  // A package's own companion stays as it is; otherwise a stand-in is laid.
  if (!machine.files.Exists(path)) machine.files.WriteFile(path, std::string_view("MZ"));
  machine.programs[path] = [&machine](std::wstring_view commandLine) {
    return RunCompanionProcess(machine, commandLine);
  };
}

std::uint32_t RunCompanionProcess(SimMachine& machine, std::wstring_view commandLine) {
  const bool was64 = machine.process64;
  machine.process64 = true;
  const std::uint32_t exit = RunCompanionOperation(machine.platform(), commandLine).exitCode;
  machine.process64 = was64;
  return exit;
}

int RunTool(SimMachine& machine) {
  const bool process64 = machine.process64;
  try {
    const CProcessPlatform process(machine.platform());
    CTool tool(process.get());
    return tool.Run();
  } catch (const ProcessEnded&) {
    // The handles went with the process as the stack unwound; so does its
    // thread's redirection setting, and a companion it was waiting for
    // ended with it (a power cut ends both).
    machine.redirectionOff = false;
    machine.process64 = process64;
    return kToolProcessEnded;
  }
}

}  // namespace tv::sim
