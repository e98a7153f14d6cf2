// A whole run of the tool on any setup script, on a 32-bit or a 64-bit
// notebook with devices, with one fault the input chooses.
//   byte 0: bit 0 set: 64-bit Windows (the tool under WOW64)
//   byte 1: the operation to fail (0: none), byte 2: which call of it
//   the rest: the setup script
#include <array>

#include "fuzz_input.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace {

constexpr std::array<const char*, 24> kOperations = {"RegOpenKeyEx",
                                                     "RegQueryValueEx",
                                                     "RegSetValueEx",
                                                     "RegEnumKeyEx",
                                                     "SetupDiGetClassDevs",
                                                     "SetupDiGetClassDevsEx",
                                                     "SetupDiEnumDeviceInfo",
                                                     "SetupDiGetDeviceRegistryProperty",
                                                     "CM_Get_DevNode_Status",
                                                     "DIF_PROPERTYCHANGE",
                                                     "SetupDiSetClassInstallParams",
                                                     "SetupDiGetDeviceInstanceId",
                                                     "DIF_REMOVE",
                                                     "UpdateDriverForPlugAndPlayDevices",
                                                     "SetupCopyOEMInf",
                                                     "CopyFile",
                                                     "DeleteFile",
                                                     "CreateDirectory",
                                                     "FindFirstFile",
                                                     "CreateProcess",
                                                     "CreateFile",
                                                     "Wow64DisableWow64FsRedirection",
                                                     "Wow64RevertWow64FsRedirection",
                                                     "GetFileAttributes"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  tv::sim::SimMachine m;
  tv::sim::ConfigureDefaultNotebook(m);
  if (data[0] & 1) {
    m.wow64 = true;
    m.os = tv::OsVersionRecord{2, 6, 1, 7601};
    m.kernel32HasDisableRedirection = true;
    m.kernel32HasRevertRedirection = true;
    m.InstallSystemPrograms();
  }
  m.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C", L"PCI\\VEN_11C1"});
  m.AddDevice(L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  const std::wstring listKey =
      m.registry.ViewPath(tv::RegRoot::kLocalMachine, L"Software\\Veltaro\\WirelessDeviceID", 0);
  m.registry.SetString(tv::RegRoot::kLocalMachine, listKey, L"DevID_SupportRL0", L"PCI\\VEN_8086");
  m.registry.SetString(tv::RegRoot::kLocalMachine, listKey, L"3GID_SupportRL0", L"PCI\\VEN_11C1");
  m.files.WriteFile(L"C:\\Tarnvale\\app.exe", std::string_view("MZ"));
  m.files.WriteFile(L"C:\\Tarnvale\\drv\\a.inf", std::string_view("[Version]"));
  if (data[1] != 0) {
    m.faults.FailNth(kOperations[data[1] % kOperations.size()], tv::err::kAccessDenied, L"", 1 + data[2] % 16);
  }
  tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", tv::fuzz::Bytes(data + 3, size - 3));
  const int exit = tv::sim::RunTool(m);
  if (exit != 1 || m.registry.OpenKeyCount() != 0 || m.openDeviceSets != 0) __builtin_trap();
  // No command leaves a device off: every restart enables what it disabled.
  for (const auto& d : m.devices) {
    if (d.disabled && !d.removed) __builtin_trap();
  }
  return 0;
}
