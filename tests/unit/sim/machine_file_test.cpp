#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace tv::sim {
namespace {

TEST(MachineDescription, ErrorsNameTheFieldAndWhatWasExpected) {
  const std::pair<const char*, const char*> cases[] = {
      {"[1]", "\"(top level)\": expected an object"},
      {"{\"windows\": {\"version\": \"six\"}}", "\"windows.version\": expected major.minor"},
      {"{\"uiLanguage\": 1041}", "\"uiLanguage\": expected a string"},
      {"{\"registry\": [{\"key\": \"HKXX\\\\A\"}]}", "\"registry[0].key\": expected a path that begins with a root"},
      {"{\"registry\": [{\"key\": \"HKLM\\\\A\", \"values\": {\"v\": {\"qword\": 1}}}]}",
       "\"registry[0].values.v\": expected one of dword"},
      {"{\"colour\": 1}", "\"colour\": expected no such field"},
      {"{", "not JSON"},
      {"{\"build\": 6E972}", "not JSON"},  // a number beyond a double
      {"{\"devices\": [{\"class\": \"Printer\", \"hardwareIds\": []}]}", "\"devices[0].class\": expected \"Modem\""},
      {"{\"devices\": [{\"class\": \"Modem\", \"hardwareIds\": \"PCI\"}]}",
       "\"devices[0].hardwareIds\": expected an array of strings, or null"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [1]}]}",
       "\"devices[0].hardwareIds[0]\": expected a string"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [], \"present\": \"yes\"}]}",
       "\"devices[0].present\": expected true or false"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [], \"colour\": 1}]}",
       "\"devices[0].colour\": expected no such field"},
      {"{\"devices\": [{\"hardwareIds\": []}]}",
       "\"devices[0]\": expected an object with \"class\" and \"hardwareIds\"; \"class\" is missing"},
      // A misspelt field is named, with the one it was probably meant to be.
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareID\": [\"PCI\\\\A\"]}]}",
       "\"devices[0].hardwareID\": expected no such field: \"hardwareIds\"?"},
      // Windows 8 and later tell the tool 6.2: a later version is no machine it can see.
      {"{\"windows\": {\"version\": \"10.0\"}}",
       "\"windows.version\": expected 6.2 or lower: the tool never sees 10.0"},
      {"{\"windows\": {\"version\": \"6.3\"}}", "\"windows.version\": expected 6.2 or lower"},
      {"{\"files\": {\"x.txt\": \"a\"}}", "\"files.x.txt\": expected a full Windows path"},
      {"{\"files\": {\"C:\\\\x.txt\": 5}}", "\"files.C:\\x.txt\": expected a string"},
      {"{\"registryFiles\": [\"no-such-file.reg\"]}", "\"registryFiles[0]\": expected no host files here"},
      {"{\"hostFolders\": {\"C:\\\\Old\": \"no-such-folder\"}}",
       "\"hostFolders.C:\\Old\": expected no host files here"},
      {"{\"windows\": {\"wow64\": 1}}", "\"windows.wow64\": expected true or false"},
      {"{\"registry\": [{\"key\": \"HKLM\\\\A\", \"values\": {\"v\": {\"binary\": \"0g\"}}}]}",
       "\"registry[0].values.v.binary\": expected hexadecimal bytes"},
      {"{\"debugMode\": \"1\"}", "\"debugMode\": expected an integer"},
      {"{\"keepRunning\": \"a.exe\"}", "\"keepRunning\": expected an array"},
      {"{\"runningProcesses\": [{\"name\": \"a.exe\", \"bits\": 16}]}",
       "\"runningProcesses[0].bits\": expected 32 or 64"},
      {"{\"filesInUse\": [\"open.log\"]}", "\"filesInUse[0]\": expected a full Windows path"},
      // What was read as something else before: a language name as 000e, a
      // misspelt property as a property, a number past 32 bits as another.
      {"{\"uiLanguage\": \"en-US\"}", "\"uiLanguage\": expected four hexadecimal digits"},
      {"{\"uiLanguage\": \"411\"}", "\"uiLanguage\": expected four hexadecimal digits"},
      {"{\"product\": {\"Vender\": \"VELTARO\"}}",
       "\"product.Vender\": expected a property of Win32_ComputerSystemProduct"},
      {"{\"debugMode\": 4294967297}", "\"debugMode\": expected an integer from 0 to 4294967295"},
      {"{\"testMode\": -1}", "\"testMode\": expected an integer from 0 to 4294967295"},
      {"{\"windows\": {\"build\": 4294967296}}", "\"windows.build\": expected an integer from 0 to 4294967295"},
      {"{\"debugMode\": 1, \"debugMode\": 0}", "\"debugMode\": the key appears twice"},
      {"{\"product\": {\"Vendor\": \"A\", \"Vendor\": \"B\"}}", "\"Vendor\": the key appears twice"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [\"PCI\\\\A\"], \"parameters\": 1}]}",
       "\"devices[0].parameters\": expected an object of subkeys"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [\"PCI\\\\A\"], \"parameters\": {\"\": 1}}]}",
       "\"devices[0].parameters.\": expected an object of value names"},
      {"{\"devices\": [{\"class\": \"Net\", \"hardwareIds\": [\"PCI\\\\A\"], \"instanceId\": \"X\"}]}",
       "\"devices[0].instanceId\": expected a device instance ID"},
      {"{\"windows\": {\"folder\": \"WINDOWS\"}}", "\"windows.folder\": expected a full Windows path"},
      {"{\"mutexesHeld\": \"tarnvale.exe\"}", "\"mutexesHeld\": expected an array of mutex names"},
      {"{\"mutexesHeld\": [{\"name\": \"t.exe\", \"elevated\": 1}]}",
       "\"mutexesHeld[0].elevated\": expected true or false"},
      {"{\"files\": {\"C:\\\\x.bin\": {\"size\": -1}}}", "\"files.C:\\x.bin.size\": expected 0 to 67108864 bytes"},
      {"{\"files\": {\"C:\\\\x.bin\": {\"sizes\": 1}}}", "\"files.C:\\x.bin.sizes\": expected no such field"},
  };
  for (const auto& [json, message] : cases) {
    SimMachine m;
    const auto error = ApplyMachineDescription(json, m);
    ASSERT_TRUE(error.has_value()) << json;
    EXPECT_NE(error->find(message), std::string::npos) << *error;
  }
}

// A device's key under Enum comes from the device itself, with its Device
// Parameters: the ASPM and wake-on-ring commands write there.
TEST(MachineDescription, DevicesBringTheirEnumKeysAndParameters) {
  SimMachine m;
  const auto error = ApplyMachineDescription(R"({
    "product": {"Vendor": "VELTARO", "Version": "PV715J01"},
    "debugMode": 1,
    "devices": [
      {"class": "Net", "enumerator": "PCI", "hardwareIds": ["PCI\\VEN_8086&DEV_4229&SUBSYS_11118086"],
       "parameters": {"Intel": {"ASPMOptIn": 1}}},
      {"class": "Modem", "enumerator": "USB", "hardwareIds": ["USB\\VID_0BDB&PID_1900&MI_00"],
       "instanceId": "USB\\VID_0BDB&PID_1900&MI_00\\6&2a1b3c4d&0&0000"},
      {"class": "Modem", "enumerator": "ROOT", "hardwareIds": ["TV\\NODRIVER"], "instanceId": "ROOT\\TV\\0000",
       "driverKey": null}
    ],
    "registry": [{"key": "HKLM\\Software\\Veltaro\\WirelessDeviceID", "values": {
      "DevID_SupportRL0": "PCI\\VEN_8086&DEV_4229&SUBSYS_11118086", "3GID_SupportRL0": "USB\\VID_0BDB&PID_1900"}}]
  })",
                                             m);
  ASSERT_FALSE(error.has_value()) << *error;
  const std::wstring wlan = L"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_4229&SUBSYS_11118086\\0&0&0";
  EXPECT_EQ(m.devices[0].instanceId, L"PCI\\VEN_8086&DEV_4229&SUBSYS_11118086\\0&0&0");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, wlan, L"HardwareID"));
  PlaceTool(m, L"C:\\Tarnvale\\drv.exe",
            "[INIT]\nCMD1=CHECK_WIFI\nCMD2=DISABLE_IWLAN_ASPM\nCMD3=CHECK_WMODEM\nCMD4=ENABLE_WOR_WMODEM\n");
  RunTool(m);
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, wlan + L"\\Device Parameters\\Intel", L"ASPMOptIn")->data,
            (std::vector<std::uint8_t>{0, 0, 0, 0}))
      << m.ToString();
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine,
                                  L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0BDB&PID_1900&MI_00\\6&2a1b3c4d&0&0000\\"
                                  L"Device Parameters",
                                  L"WakeOnRing"))
      << m.ToString();
  // A device without a driver has no Device Parameters until something makes it.
  EXPECT_TRUE(m.registry.KeyExists(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\TV\\0000"));
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine,
                                    L"SYSTEM\\CurrentControlSet\\Enum\\ROOT\\TV\\0000\\Device Parameters"));
}

TEST(MachineDescription, ProcessesOf64BitWindowsAre64BitUnlessSaid) {
  SimMachine m;
  ASSERT_FALSE(ApplyMachineDescription(R"({"runningProcesses": ["explorer.exe", {"name": "tray.exe", "bits": 32}],
                                          "windows": {"version": "6.0", "wow64": true},
                                          "filesInUse": ["C:\\Log\\open.log"]})",
                                       m)
                   .has_value());
  ASSERT_EQ(m.processes.size(), 2U);
  EXPECT_TRUE(m.processes[0].is64);
  EXPECT_FALSE(m.processes[1].is64);
  EXPECT_EQ(m.filesInUse, (std::vector<std::wstring>{L"C:\\Log\\open.log"}));
  SimMachine xp;
  ASSERT_FALSE(ApplyMachineDescription(R"({"runningProcesses": ["explorer.exe"]})", xp).has_value());
  EXPECT_FALSE(xp.processes[0].is64);
}

TEST(MachineDescription, DescribesWindowsProductRegistryAndSwitches) {
  SimMachine m;
  const auto error = ApplyMachineDescription(R"({
    "windows": {"version": "6.0", "build": 6002, "wow64": true},
    "uiLanguage": "0411",
    "product": {"Vendor": "VELTARO", "Version": null},
    "debugMode": 1,
    "registry": [{"key": "HKLM\\SOFTWARE\\X", "values": {
      "s": "text", "d": 7, "b": {"binary": "01 ff"}, "m": {"multi_sz": ["a", "b"]}}}]
  })",
                                             m);
  ASSERT_FALSE(error.has_value()) << *error;
  EXPECT_TRUE(m.wow64);
  EXPECT_EQ(m.os.major, 6U);
  EXPECT_EQ(m.uiLanguage, 0x0411);
  EXPECT_FALSE(m.product[L"Version"].has_value());
  EXPECT_TRUE(m.kernel32HasDisableRedirection);
  // The 32-bit tool reads its switch through the 32-bit view.
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\VELTARO\\Quillmark", L"DebugMode"));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"d")->data,
            (std::vector<std::uint8_t>{7, 0, 0, 0}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"b")->data,
            (std::vector<std::uint8_t>{1, 0xff}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"m")->data,
            (std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"s")->type, reg::kTypeSz);
}

TEST(MachineDescription, RegistryFilesFilesFoldersAndDeviceDetails) {
  const auto dir = std::filesystem::temp_directory_path() / "tarnvale-machine-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "old" / "sub");
  std::ofstream(dir / "seed.reg") << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Seed]\r\n\"A\"=dword:00000002\r\n";
  std::ofstream(dir / "old" / "sub" / "x.inf") << "inf";
  SimMachine m;
  const auto error = ApplyMachineDescription(R"({
    "registryFiles": ["seed.reg"],
    "files": {"C:\\WINDOWS\\a.txt": "text"},
    "folders": ["C:\\Empty\\Folder"],
    "hostFolders": {"C:\\Program Files\\Old": "old"},
    "keepRunning": ["tray.exe"],
    "product": null,
    "devices": [{"class": "Modem", "hardwareIds": null, "driverKey": "{X}\\0007", "instanceId": "PCI\\M\\1",
                 "disableable": false, "needsReboot": true, "disabled": true}]
  })",
                                             m, dir);
  ASSERT_FALSE(error.has_value()) << *error;
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Seed", L"A")->data,
            (std::vector<std::uint8_t>{2, 0, 0, 0}));
  EXPECT_TRUE(m.files.Exists(L"C:\\WINDOWS\\a.txt"));
  EXPECT_TRUE(m.files.IsDirectory(L"C:\\Empty\\Folder"));
  EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\Old\\sub\\x.inf"));
  // A host file is read when the run reads it, through every copy of it:
  // a package of hundreds of megabytes is not held in memory.
  ASSERT_EQ(m.files.Copy(L"C:\\Program Files\\Old\\sub\\x.inf", L"C:\\Program Files\\Old\\y.inf"), err::kSuccess);
  std::ofstream(dir / "old" / "sub" / "x.inf") << "new";
  EXPECT_EQ(m.files.FileSize(L"C:\\Program Files\\Old\\y.inf"), 3U);
  const auto copied = m.files.ReadFile(L"C:\\Program Files\\Old\\y.inf");
  ASSERT_TRUE(copied.has_value());
  EXPECT_EQ(std::string(copied->begin(), copied->end()), "new");
  EXPECT_TRUE(m.keepRunning.contains(L"TRAY.EXE"));
  EXPECT_FALSE(m.productInstance);
  ASSERT_EQ(m.devices.size(), 1U);
  EXPECT_EQ(m.devices[0].classGuid, L"{4D36E96D-E325-11CE-BFC1-08002BE10318}");
  EXPECT_FALSE(m.devices[0].hardwareIds.has_value());
  EXPECT_EQ(m.devices[0].driverKey, L"{X}\\0007");
  EXPECT_EQ(m.devices[0].instanceId, L"PCI\\M\\1");
  EXPECT_FALSE(m.devices[0].disableable);
  EXPECT_TRUE(m.devices[0].needsRebootAfterChange);
  EXPECT_TRUE(m.devices[0].disabled);
  // Host files that are not there.
  SimMachine other;
  const auto missingReg = ApplyMachineDescription(R"({"registryFiles": ["none.reg"]})", other, dir);
  ASSERT_TRUE(missingReg.has_value());
  EXPECT_NE(missingReg->find("\"registryFiles[0]\": expected a readable .reg file"), std::string::npos) << *missingReg;
  const auto missingFolder = ApplyMachineDescription(R"({"hostFolders": {"C:\\X": "none"}})", other, dir);
  ASSERT_TRUE(missingFolder.has_value());
  EXPECT_NE(missingFolder->find("\"hostFolders.C:\\X\": expected a host folder"), std::string::npos) << *missingFolder;
  const auto notReg = ApplyMachineDescription(R"({"registryFiles": ["old/sub/x.inf"]})", other, dir);
  ASSERT_TRUE(notReg.has_value());
  EXPECT_NE(notReg->find("expected a registry file"), std::string::npos) << *notReg;
  std::filesystem::remove_all(dir);
}

// A capture of a machine where another copy of the tool runs, with Windows
// in its own folder: the run is refused as the second instance, and the
// registry editor is started from that folder.
TEST(MachineDescription, HeldMutexesAndTheWindowsFolder) {
  const char* script = "[INIT]\r\nCMD1=REG_FILE\r\n";
  SimMachine second;
  ASSERT_FALSE(ApplyMachineDescription(R"({"debugMode": 1, "mutexesHeld": ["tarnvale.exe"]})", second).has_value());
  PlaceTool(second, L"C:\\Tarnvale\\tarnvale.exe", script);
  RunTool(second);
  EXPECT_NE(second.DebugText().find(L"Error to avoid execute doubly"), std::wstring::npos) << second.ToString();
  EXPECT_TRUE(second.started.empty());

  // One a standard user made stops nothing.
  SimMachine squatted;
  ASSERT_FALSE(ApplyMachineDescription(
                   R"({"debugMode": 1, "mutexesHeld": [{"name": "tarnvale.exe", "standardUser": true}]})", squatted)
                   .has_value());
  PlaceTool(squatted, L"C:\\Tarnvale\\tarnvale.exe", script);
  RunTool(squatted);
  EXPECT_EQ(squatted.DebugText().find(L"Error to avoid execute doubly"), std::wstring::npos) << squatted.ToString();
  EXPECT_NE(squatted.DebugText().find(L"no copy of this tool, which runs"), std::wstring::npos);
  EXPECT_NE(squatted.DebugText().find(L"Version="), std::wstring::npos);

  SimMachine elsewhere;
  ASSERT_FALSE(
      ApplyMachineDescription(R"({"debugMode": 1, "windows": {"folder": "D:\\windows"}})", elsewhere).has_value());
  PlaceTool(elsewhere, L"C:\\Tarnvale\\tarnvale.exe", script);
  elsewhere.files.WriteFile(L"C:\\Tarnvale\\tarnvale.reg", "REGEDIT4\r\n");
  RunTool(elsewhere);
  ASSERT_EQ(elsewhere.started.size(), 1u) << elsewhere.ToString();
  EXPECT_EQ(elsewhere.started[0].image, L"D:\\windows\\regedit.exe");
}

// A notebook whose Windows cannot load newdev: the driver updates fail with
// the loader's error and the run goes on; with shell32 missing there is no
// install root, so nothing is copied.
TEST(MachineDescription, MissingDllsFailTheCallsThatNeedThem) {
  const auto examples = std::filesystem::path(TARNVALE_SOURCE_DIR) / "examples";
  std::ifstream in(examples / "machines" / "pv715-xp-all-devices.json");
  nlohmann::json description = nlohmann::json::parse(in);
  description["missingDlls"] = {"newdev.dll"};
  SimMachine m;
  ASSERT_FALSE(ApplyMachineDescription(description.dump(), m, examples / "machines").has_value());
  ASSERT_FALSE(PlaceHostPackage(m, examples / "notebook-setup" / "netsetup.ini").has_value());
  RunTool(m);
  const std::wstring trace = m.DebugText();
  EXPECT_NE(trace.find(L"ERROR=0x0000007E"), std::wstring::npos) << ToUtf8(trace);
  EXPECT_TRUE(m.driverUpdates.empty());
  EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver\\netsetup.ini"));

  description["missingDlls"] = {"shell32.dll"};
  SimMachine noShell;
  ASSERT_FALSE(ApplyMachineDescription(description.dump(), noShell, examples / "machines").has_value());
  ASSERT_FALSE(PlaceHostPackage(noShell, examples / "notebook-setup" / "netsetup.ini").has_value());
  RunTool(noShell);
  EXPECT_FALSE(noShell.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver"));

  const auto error = ApplyMachineDescription(R"({"missingDlls": ["kernel32.dll"]})", noShell);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("\"missingDlls[0]\": expected one of setupapi.dll"), std::string::npos) << *error;
}

}  // namespace
}  // namespace tv::sim
