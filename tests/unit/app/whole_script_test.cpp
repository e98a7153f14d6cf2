// The bundled setup script of a notebook line, every keyword in it, run on the
// bundled machine descriptions; the state of the whole machine afterwards.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/machine_file.h"
#include "test_machine.h"

namespace tv {
namespace {

const std::string kSource = TARNVALE_SOURCE_DIR;

void Describe(sim::SimMachine& m, const std::string& machine) {
  std::ifstream in(kSource + "/examples/machines/" + machine, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const auto error = sim::ApplyMachineDescription(text.str(), m);
  ASSERT_FALSE(error.has_value()) << *error;
  const auto placed = sim::PlaceHostPackage(m, kSource + "/examples/notebook-setup/netsetup.ini");
  ASSERT_FALSE(placed.has_value()) << *placed;
}

std::vector<std::uint8_t> Dword(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

TEST(WholeScript, NotebookWithAllThreeDevices) {
  sim::SimMachine m;
  Describe(m, "pv715-xp-all-devices.json");
  EXPECT_EQ(sim::RunTool(m), 1);
  const auto hklm = RegRoot::kLocalMachine;
  auto value = [&](RegRoot root, std::wstring_view key, std::wstring_view name) {
    auto v = m.registry.GetValue(root, key, name);
    return v ? v->data : std::vector<std::uint8_t>{0xEE};
  };
  // Registry: settings, language and region variants, the .reg files, the time stamp.
  EXPECT_EQ(value(hklm, L"SOFTWARE\\VELTARO\\NetworkDriver", L"Version"), Dword(3));
  EXPECT_FALSE(m.registry.KeyExists(hklm, L"SOFTWARE\\VELTARO\\OldNetworkDriver"));
  EXPECT_TRUE(m.registry.GetValue(hklm, L"SOFTWARE\\VELTARO\\NetworkDriver", L"Vendor"));
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\VELTARO\\NetworkDriver", L"Language"));
  EXPECT_EQ(value(RegRoot::kCurrentUser, L"Software\\VELTARO\\NetworkDriver", L"HelpFile").size(), 24U);  // help_ja.chm
  EXPECT_EQ(value(hklm, L"SOFTWARE\\Agere\\SoftModem", L"Country"), Dword(0));
  EXPECT_EQ(value(hklm, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations", L"CountryCode"),
            Dword(81));
  EXPECT_EQ(value(hklm, L"SOFTWARE\\Agere\\SoftModem", L"HomolTimeStamp"), (std::vector<std::uint8_t>{1, 0, 0, 0}));
  const std::wstring modemKey = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + m.devices[0].driverKey + L"\\Settings";
  EXPECT_EQ(value(hklm, modemKey, L"Blacklisting"), Dword(0));
  EXPECT_EQ(value(hklm,
                  L"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_8086&DEV_4229&SUBSYS_11118086\\4&1f7dbc9f&0&00E1\\"
                  L"Device Parameters\\Intel",
                  L"ASPMOptIn"),
            Dword(0));
  EXPECT_EQ(
      value(hklm,
            L"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_0BDB&PID_1900&MI_00\\6&2a1b3c4d&0&0000\\Device Parameters",
            L"WakeOnRing"),
      Dword(1));
  // Files: the package under Program Files without the tool, the manuals, the removed file.
  EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver\\driver\\modem\\modem.inf"));
  EXPECT_FALSE(m.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver\\netsetup.exe"));
  EXPECT_FALSE(m.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver\\netsetup.reg"));
  EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\Manuals\\manual.txt"));
  EXPECT_FALSE(m.files.Exists(L"C:\\WINDOWS\\TEMP\\StaticAddDel.inf"));
  // Devices: the old modem removed, the modem's driver updated, every device enabled again.
  EXPECT_TRUE(m.devices[1].removed);
  ASSERT_EQ(m.driverUpdates.size(), 1U);
  EXPECT_EQ(m.driverUpdates[0].hardwareId, L"PCI\\VEN_11C1&DEV_048C");
  for (const auto& d : m.devices) EXPECT_FALSE(d.disabled) << ToUtf8(d.instanceId);
  // Programs: the tray tool ended, the post-install tool and the region tool started.
  EXPECT_FALSE(m.processes[0].running);
  EXPECT_TRUE(m.processes[1].running);
  std::vector<std::wstring> started;
  for (const auto& p : m.started) started.push_back(p.commandLine);
  EXPECT_NE(std::find(started.begin(), started.end(), L"C:\\Tarnvale\\tools\\postinst.exe  /quiet"), started.end());
  EXPECT_NE(std::find(started.begin(), started.end(), L"C:\\Tarnvale\\tools\\region.exe  "), started.end());
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{20000, 500, 500}));
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);
}

TEST(WholeScript, NotebookWithoutWirelessDevicesStopsAtTheWirelessCheck) {
  sim::SimMachine m;
  Describe(m, "pv715-xp-no-wireless.json");
  EXPECT_EQ(sim::RunTool(m), 1);
  EXPECT_TRUE(test::HasLine(m, L"netsetup:Could not find wireless LAN device"));
  // What comes before the check ran, what comes after it did not.
  EXPECT_EQ(m.driverUpdates.size(), 1U);
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\VELTARO\\NetworkDriver", L"Version"));
  EXPECT_FALSE(m.files.Exists(L"C:\\Program Files\\VELTARO\\Manuals"));
  EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\NetworkDriver\\netsetup.reg"));
  for (const auto& p : m.started) EXPECT_EQ(p.commandLine.find(L"postinst"), std::wstring::npos);
}

}  // namespace
}  // namespace tv
