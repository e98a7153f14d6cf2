// A whole run of the tool on any setup script, on a notebook with devices.
#include "fuzz_input.h"
#include "sim/sim_run.h"
#include "sim/machine_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tv::sim::SimMachine m;
  tv::sim::ConfigureDefaultNotebook(m);
  m.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C", L"PCI\\VEN_11C1"});
  m.AddDevice(L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  m.registry.SetString(tv::RegRoot::kLocalMachine, L"Software\\Veltaro\\WirelessDeviceID", L"DevID_SupportRL0",
                       L"PCI\\VEN_8086");
  m.files.WriteFile(L"C:\\Tarnvale\\app.exe", std::string_view("MZ"));
  m.files.WriteFile(L"C:\\Tarnvale\\drv\\a.inf", std::string_view("[Version]"));
  tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", tv::fuzz::Bytes(data, size));
  const int exit = tv::sim::RunTool(m);
  if (exit != 1 || m.registry.OpenKeyCount() != 0) __builtin_trap();
  return 0;
}
