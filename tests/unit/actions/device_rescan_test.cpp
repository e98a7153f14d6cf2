#include <gtest/gtest.h>

#include "app/process_objects.h"
#include "platform/product_cache.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kModem = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";

TEST(RemoveDriver, RemovesListedDevicesSkippingEmptyIds) {
  struct Case {
    const char* section;
    std::vector<bool> removed;  // present modem, phantom modem, other device
  };
  const Case cases[] = {
      {"DEV=2\nDEV1=PCI\\VEN_11C1\nDEV2=ROOT\\PHANTOM\n", {true, true, false}},
      {"DEV=2\nEXISTONLY=1\nDEV1=PCI\\VEN_11C1\nDEV2=ROOT\\PHANTOM\n", {true, false, false}},
      {"DEV=3\nDEV2=\n", {false, false, false}},  // absent and empty IDs would match any device
      {"DEV=-1\nDEV1=PCI\n", {false, false, false}},
      {"DEV1=PCI\n", {false, false, false}},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m, std::string("[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=Rm\n[Rm]\n") + c.section);
    m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    m.AddDevice(kModem, L"ROOT", {L"ROOT\\PHANTOM"}, false);
    m.AddDevice(kModem, L"USB", {L"USB\\VID_0BDB"});
    sim::RunTool(m);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(m.devices[i].removed, c.removed[i]) << c.section << " device " << i;
  }
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=Rm\n[Rm]\nDEV=1\n");
  sim::RunTool(m);
  EXPECT_TRUE(test::HasLine(m, L"drv:REMOVE_DRIVER C:\\Tools\\Net Setup\\drv.ini Rm"));
  EXPECT_TRUE(test::HasLine(m, L"drv:RemoveDriver:Skip DEV1=, it names no device"));
}

TEST(RemoveDriver, ARemovedDeviceTakesItsHardwareAndSoftwareKeysWithIt) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=Rm\n[Rm]\nDEV=1\nDEV1=PCI\\VEN_11C1\n");
  for (const wchar_t* id : {L"PCI\\VEN_11C1&DEV_048C", L"USB\\VID_0BDB"}) {
    const auto& d = m.devices[m.AddDevice(kModem, L"PCI", {id})];
    m.registry.SetDword(RegRoot::kLocalMachine,
                        L"SYSTEM\\CurrentControlSet\\Enum\\" + d.instanceId + L"\\Device Parameters", L"Wake", 1);
    m.registry.SetDword(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + d.driverKey, L"X", 1);
  }
  sim::RunTool(m);
  ASSERT_TRUE(m.devices[0].removed);
  const std::wstring gone = L"SYSTEM\\CurrentControlSet\\Enum\\" + m.devices[0].instanceId;
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, gone));
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine,
                                    L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + m.devices[0].driverKey));
  // The device ID's key goes with its last instance; the bus stays while it
  // holds another device.
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, gone.substr(0, gone.rfind(L'\\'))));
  EXPECT_TRUE(m.registry.KeyExists(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Enum\\PCI"));
  // The device left in place keeps both.
  EXPECT_TRUE(m.registry.KeyExists(
      RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Enum\\" + m.devices[1].instanceId + L"\\Device Parameters"));
  EXPECT_TRUE(m.registry.KeyExists(RegRoot::kLocalMachine,
                                   L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + m.devices[1].driverKey));
}

TEST(RemoveDriver, AnIdThatNamesNoMoreThanABusRemovesNothing) {
  // A bare wildcard, an enumerator alone or with its backslash is a prefix of
  // every device on that bus, the buses themselves included.
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=Rm\n[Rm]\nDEV=5\nDEV1=*\nDEV2=ROOT\nDEV3=PCI\\\n"
                      "DEV4=usb\\\\\nDEV5=ACPI\\PNP0C0A\n");
  m.AddDevice(L"{4D36E97D-E325-11CE-BFC1-08002BE10318}", L"ACPI", {L"ACPI\\PNP0A03", L"*PNP0A03"});
  m.AddDevice(L"{4D36E966-E325-11CE-BFC1-08002BE10318}", L"ROOT", {L"ROOT\\ACPI_HAL"});
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.AddDevice(kModem, L"USB", {L"USB\\VID_0BDB&PID_1900&MI_00"});
  m.AddDevice(L"{72631E54-78A4-11D0-BCF7-00AA00B7B32A}", L"ACPI", {L"ACPI\\PNP0C0A"});
  sim::RunTool(m);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_FALSE(m.devices[i].removed) << i << m.ToString();
  EXPECT_TRUE(m.devices[4].removed);  // a real hardware ID still works
  EXPECT_TRUE(test::HasLine(m, L"drv:RemoveDriver:Skip DEV1=*, it names no device"));
  EXPECT_TRUE(test::HasLine(m, L"drv:RemoveDriver:Skip DEV3=PCI\\, it names no device"));
}

TEST(ScanDevice, CommandAlwaysRescansWhatItFinds) {
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=SCAN_DEVICE\nCMD1_SECTION=Scan\n[Scan]\nDETECTCOUNT=1\nDETECTDEV1=PCI\\VEN_11C1\n");
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  sim::RunTool(m);
  EXPECT_EQ(m.reenumerations, 1);
  EXPECT_TRUE(test::HasLine(m, L"drv:SCAN DEVICE C:\\Tools\\Net Setup\\drv.ini Scan"));
  EXPECT_TRUE(test::HasLine(m, L"drv:SetupAPI ID = PCI\\VEN_11C1&DEV_048C, Compare ID = PCI\\VEN_11C1"));
}

TEST(ScanDevice, WithoutForceOnlyWhenNoListedDeviceIsPresent) {
  struct Case {
    const char* section;
    int result;
    int reenumerations;
  };
  const Case cases[] = {
      {"DETECTCOUNT=0\n", 1, 1},
      {"DETECTCOUNT=3\nDETECTDEV1=USB\\X\nDETECTDEV2=PCI\\VEN_11C1\nDETECTDEV3=USB\\Y\n", 1, 0},
      {"DETECTCOUNT=1\nDETECTDEV1=USB\\X\n", 1, 1},
      {"DETECTCOUNT=2\nDETECTDEV1=USB\\X\n", 1, 1},  // the absent second key is an empty ID, which names no device
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m, std::string("[Scan]\n") + c.section);
    m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    const CProcessPlatform process(m.platform());
    CProcessObjects objects(process.get());
    EXPECT_EQ(objects.action.ScanDevice(std::wstring(test::kScriptPath), L"Scan", 0), c.result) << c.section;
    EXPECT_EQ(m.reenumerations, c.reenumerations) << c.section;
  }
  sim::SimMachine refused;
  test::SetUpNotebook(refused, "[Scan]\n");
  refused.faults.Fail("CM_Locate_DevNode", dev::kCrCallNotImplemented);
  const CProcessPlatform process(refused.platform());
  CProcessObjects objects(process.get());
  EXPECT_EQ(objects.action.ScanDevice(std::wstring(test::kScriptPath), L"Scan", 1), 0);
  refused.faults.Fail("CM_Reenumerate_DevNode", dev::kCrCallNotImplemented);
  EXPECT_EQ(objects.action.ScanDevice(std::wstring(test::kScriptPath), L"Scan", 1), 0);
  EXPECT_EQ(refused.reenumerations, 0);
}

}  // namespace
}  // namespace tv
