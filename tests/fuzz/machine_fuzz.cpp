// Machine descriptions: any text gives a machine or an error message, never a
// crash; a machine that was described can run a small script.
#include <string>

#include "sim/sim_run.h"
#include "sim/machine_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tv::sim::SimMachine machine;
  // No folder: a description that names host files is refused, so nothing
  // of this machine's own file system is read.
  if (tv::sim::ApplyMachineDescription(text, machine, {})) return 0;
  tv::sim::PlaceTool(machine, L"C:\\Tarnvale\\netsetup.exe",
                     "[INIT]\nCMD1=CHECK_VENDOR\nCMD2=CHECK_MODEM\nCMD3=CHECK_WIFI\nCMD4=MODEM_HOMOL\n");
  (void)tv::sim::RunTool(machine);
  return 0;
}
