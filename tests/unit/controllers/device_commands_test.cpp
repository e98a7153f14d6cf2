#include <gtest/gtest.h>

#include "controllers/modem_ctrl.h"
#include "controllers/wireless_ctrl.h"
#include "devices/disabled_record.h"
#include "devices/hardware_id.h"
#include "sim/run_summary.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kListKey = L"Software\\Veltaro\\WirelessDeviceID";
constexpr std::wstring_view kWlanId = L"PCI\\VEN_8086&DEV_4229&SUBSYS_11118086";
constexpr std::wstring_view kWlanEntry = L"PCI\\VEN_8086&DEV_4229";
constexpr std::wstring_view kEnum = L"SYSTEM\\CurrentControlSet\\Enum\\";

std::string Script(std::string_view command, std::string_view rest = "") {
  return "[INIT]\nCMD1=" + std::string(command) + "\nCMD1_SECTION=S\nCMD2=CHECK_VENDOR\n" + std::string(rest);
}

// The stop flag shows in whether CMD2 ran: with a wrong maker it traces.
bool Stopped(const sim::SimMachine& m) { return !test::HasLine(m, L"drv:Error check Vendor OTHER"); }

void AddWlan(sim::SimMachine& m, std::wstring_view entry = kWlanEntry) {
  m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"DevID_SupportRL0", entry);
  m.AddDevice(kNetClass, L"PCI", {std::wstring(kWlanId), L"PCI\\VEN_8086&DEV_4229&CC_0280"});
}

void AddWModem(sim::SimMachine& m) {
  m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"3GID_SupportRL0", L"USB\\VID_0BDB&PID_1900");
  m.AddDevice(kModemClass, L"USB", {L"USB\\VID_0BDB&PID_1900&MI_00", L"USB\\VID_0BDB&PID_1900"});
}

TEST(DeviceChecks, EachCheckStopsTheRunWhenItsDeviceIsMissing) {
  struct Case {
    const char* command;
    void (*add)(sim::SimMachine&);
    const wchar_t* missing;
  };
  const Case cases[] = {
      {"CHECK_MODEM", [](sim::SimMachine& m) { m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"}); },
       L"drv:Could not find modem device"},
      {"CHECK_WIFI", [](sim::SimMachine& m) { AddWlan(m); }, L"drv:Could not find wireless LAN device"},
      {"CHECK_WMODEM", [](sim::SimMachine& m) { AddWModem(m); }, L"drv:Could not find wireless modem device"},
  };
  for (const auto& c : cases) {
    for (bool present : {true, false}) {
      sim::SimMachine m;
      test::SetUpNotebook(m, Script(c.command));
      m.product[L"Vendor"] = L"OTHER";
      if (present) c.add(m);
      sim::RunTool(m);
      EXPECT_EQ(Stopped(m), !present) << c.command << present;
      EXPECT_EQ(test::HasLine(m, c.missing), !present) << c.command;
      EXPECT_EQ(m.registry.OpenKeyCount(), 0);
    }
  }
}

TEST(DeviceChecks, ModemIsTheFirstModemDeviceWithHardwareIds) {
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("CHECK_MODEM"));
  m.AddDevice(kModemClass, L"PCI", {});
  m.devices.back().hardwareIds.reset();
  m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_1", L"PCI\\VEN_11C1"});
  sim::RunTool(m);
  EXPECT_TRUE(test::HasLine(m, L"drv:ModemCtrl->IsExist->Found PCI\\VEN_11C1&DEV_048C&SUBSYS_1"));
}

TEST(DeviceChecks, CheckHwid) {
  struct Case {
    const char* section;
    bool stops;
    std::vector<std::wstring> lines;
  };
  const Case cases[] = {
      {"", true, {L"drv:Error did not find any HWID!"}},
      {"HWID=-1\nHWID1=PCI\n", true, {L"drv:Error did not find any HWID!"}},
      {"HWID=2\nHWID1=USB\\NONE\nHWID2=pci\\ven_11c1\n",
       false,
       {L"drv:CHECK_HWID:USB\\NONE", L"drv:CHECK_HWID:pci\\ven_11c1", L"drv:Detect HWID HWID2=pci\\ven_11c1"}},
      // An empty ID or a bus alone would match any device: not found.
      {"HWID=1\n", true, {L"drv:CHECK_HWID:", L"drv:Error did not find any HWID!"}},
      {"HWID=1\nHWID1=PCI\\\n", true, {L"drv:IsExistById:Refused ID = PCI\\, it names no device"}},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m, Script("CHECK_HWID", std::string("[S]\n") + c.section));
    m.product[L"Vendor"] = L"OTHER";
    m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    sim::RunTool(m);
    EXPECT_EQ(Stopped(m), c.stops) << c.section;
    for (const auto& line : c.lines) EXPECT_TRUE(test::HasLine(m, line)) << c.section << ToUtf8(line);
  }
}

TEST(ModemHomol, TogglesTheFirstByteInTheViewTheSuffixSelects) {
  struct Case {
    std::optional<std::vector<std::uint8_t>> before;
    std::vector<std::uint8_t> after;
  };
  const Case cases[] = {
      {std::vector<std::uint8_t>{1, 0, 0, 0}, {0, 0, 0, 0}},
      {std::vector<std::uint8_t>{0, 0x12, 0x34, 0x56}, {1, 0x12, 0x34, 0x56}},
      {std::vector<std::uint8_t>{7, 0, 0, 0}, {0, 0, 0, 0}},
      {std::nullopt, {0, 0, 0, 0}},
      {std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0}},  // too long to read: rewritten
  };
  for (const auto& c : cases) {
    for (const char* suffix : {"", ".WOW64"}) {
      sim::SimMachine m;
      test::SetUpWow64Notebook(m, std::string("[INIT]\nCMD1=MODEM_HOMOL") + suffix + "\n");
      // The 32-bit view is where a plain command writes, the 64-bit one with .WOW64.
      const std::wstring key = *suffix ? L"SOFTWARE\\Agere\\SoftModem" : L"SOFTWARE\\Wow6432Node\\Agere\\SoftModem";
      m.registry.CreateKey(RegRoot::kLocalMachine, key);
      if (c.before)
        m.registry.SetValue(RegRoot::kLocalMachine, key, L"HomolTimeStamp", RegValue{reg::kTypeBinary, *c.before});
      sim::RunTool(m);
      const auto value = m.registry.GetValue(RegRoot::kLocalMachine, key, L"HomolTimeStamp");
      ASSERT_TRUE(value) << suffix << m.ToString();
      EXPECT_EQ(value->data, c.after) << suffix;
      EXPECT_EQ(value->type, reg::kTypeBinary);
      EXPECT_TRUE(
          test::HasLine(m, *suffix ? L"drv:Initialize homol time stamp wow64" : L"drv:Initialize homol time stamp"));
      EXPECT_EQ(m.registry.OpenKeyCount(), 0);
    }
  }
  sim::SimMachine missing;
  test::SetUpNotebook(missing, "[INIT]\nCMD1=MODEM_HOMOL\n");
  sim::RunTool(missing);
  EXPECT_TRUE(test::HasLine(missing, L"drv:ModemCtrl->InitHomolTime->Open registry fail"));
  EXPECT_FALSE(missing.registry.KeyExists(RegRoot::kLocalMachine, L"SOFTWARE\\Agere\\SoftModem"));
}

TEST(WirelessLan, AspmWrittenBesideEveryOptInOfEveryInstance) {
  struct Case {
    std::wstring_view entry;
    const char* arguments;
    bool restarted;
  };
  const Case cases[] = {
      {kWlanId, "", true},
      {kWlanEntry, "", false},  // a prefix finds the adapter but restarts nothing
      {kWlanId, " /s", false},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m, "[INIT]\nCMD1=DISABLE_IWLAN_ASPM\n");
    m.commandLine = L"\"" + std::wstring(test::kExePath) + L"\"" + FromUtf8(c.arguments);
    AddWlan(m, c.entry);
    const std::wstring device = std::wstring(kEnum) + std::wstring(kWlanId);
    m.registry.SetDword(RegRoot::kLocalMachine, device + L"\\4&1&0\\Device Parameters\\Intel", L"ASPMOptIn", 1);
    m.registry.SetDword(RegRoot::kLocalMachine, device + L"\\4&2&0\\Device Parameters\\Intel", L"ASPMOptIn", 1);
    m.registry.SetDword(RegRoot::kLocalMachine, device + L"\\4&2&0\\Device Parameters\\Other", L"X", 1);
    sim::RunTool(m);
    for (const wchar_t* instance : {L"\\4&1&0", L"\\4&2&0"}) {
      EXPECT_EQ(
          m.registry.GetValue(RegRoot::kLocalMachine, device + instance + L"\\Device Parameters\\Intel", L"ASPMOptIn")
              ->data,
          (std::vector<std::uint8_t>{0, 0, 0, 0}));
    }
    EXPECT_FALSE(
        m.registry.GetValue(RegRoot::kLocalMachine, device + L"\\4&2&0\\Device Parameters\\Other", L"ASPMOptIn"));
    EXPECT_EQ(test::HasLine(m, L"drv:Detect:Device is enabled->Disalbe device."), c.restarted) << c.arguments;
    EXPECT_FALSE(m.devices[0].disabled);
    EXPECT_EQ(m.registry.OpenKeyCount(), 0);
  }
  sim::SimMachine none;
  test::SetUpNotebook(none, "[INIT]\nCMD1=DISABLE_IWLAN_ASPM\nCMD2=CHECK_VENDOR\n");
  none.product[L"Vendor"] = L"OTHER";
  sim::RunTool(none);
  EXPECT_TRUE(test::HasLine(none, L"drv:Could not open wireless LAN device"));
  EXPECT_FALSE(Stopped(none));
}

TEST(WirelessModem, WakeOnRingForEveryInstanceOfTheFirstInterface) {
  for (const char* arguments : {"", " -S"}) {
    sim::SimMachine m;
    test::SetUpNotebook(m, "[INIT]\nCMD1=ENABLE_WOR_WMODEM\n");
    m.commandLine = L"\"" + std::wstring(test::kExePath) + L"\"" + FromUtf8(arguments);
    AddWModem(m);
    const std::wstring iface = std::wstring(kEnum) + L"USB\\VID_0BDB&PID_1900&MI_00";
    m.registry.CreateKey(RegRoot::kLocalMachine, iface + L"\\6&a&0\\Device Parameters");
    m.registry.CreateKey(RegRoot::kLocalMachine, iface + L"\\6&b&0\\Device Parameters");
    sim::RunTool(m);
    for (const wchar_t* instance : {L"\\6&a&0", L"\\6&b&0"}) {
      const auto v =
          m.registry.GetValue(RegRoot::kLocalMachine, iface + instance + L"\\Device Parameters", L"WakeOnRing");
      ASSERT_TRUE(v) << arguments;
      EXPECT_EQ(v->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
      EXPECT_TRUE(test::HasLine(m, L"drv:WriteWORReg TargetPath=" + iface + instance + L"\\Device Parameters"));
    }
    EXPECT_EQ(test::HasLine(m, L"drv:DisableAllProperty USB\\VID_0BDB&PID_1900"), *arguments == 0) << arguments;
    EXPECT_EQ(m.registry.OpenKeyCount(), 0);
  }
}

TEST(DriverReg, EntriesUnderTheDriverKeyWhileTheDeviceIsDisabled) {
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n[Drv]\nDEV=2\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "PRESLEEP=100\nAFTERSLEEP=-5\n"
                      "[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=Country\nADDREG1_FLAGS=0x10001\n"
                      "ADDREG1_VALUE=0x10\n");
  const auto modem = m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  sim::RunTool(m);
  const std::wstring driverKey = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + m.devices[modem].driverKey;
  const auto value = m.registry.GetValue(RegRoot::kLocalMachine, driverKey, L"Country");
  ASSERT_TRUE(value) << m.ToString();
  EXPECT_EQ(value->data, (std::vector<std::uint8_t>{0x10, 0, 0, 0}));
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{100}));  // a negative AFTERSLEEP is no pause
  EXPECT_FALSE(m.devices[modem].disabled);                 // enabled again
  EXPECT_TRUE(test::HasLine(m, L"drv:Detect:Device is enabled->Disalbe device."));
  EXPECT_TRUE(test::HasLine(m, L"drv:Detect:Device is disabled->Enable device."));
  // DEV2 is missing: its ID is DEFAULT_ID, which has no backslash and so
  // selects only a device whose hardware ID is exactly that: none here.
  EXPECT_FALSE(test::HasLine(m, L"drv:IsExistById:Refused ID = DEFAULT_ID, it names no device"));
  EXPECT_EQ(m.infsInstalled.size(), 1U);

  sim::SimMachine silent;
  test::SetUpNotebook(silent,
                      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n[Drv]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "PRESLEEP=100\nAFTERSLEEP=100\n[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n");
  silent.commandLine = L"\"" + std::wstring(test::kExePath) + L"\" /s";
  silent.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  sim::RunTool(silent);
  EXPECT_TRUE(silent.pauses.empty());
  EXPECT_FALSE(test::HasLine(silent, L"drv:Detect:Device is enabled->Disalbe device."));
  EXPECT_EQ(silent.infsInstalled.size(), 1U);
}

TEST(ModemRegion, RegionVariantOfTheSectionForBothKeywords) {
  for (const char* command : {"MODEM_REGION", "TELEPHONY_REGION"}) {
    for (bool variant : {true, false}) {
      sim::SimMachine m;
      std::string script = std::string("[INIT]\nFORCE_REGION=J\nCMD1=") + command +
                           "\nCMD1_SECTION=Rgn\n[Rgn]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Plain\n";
      if (variant) script += "[Rgn_J]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Japan\n";
      test::SetUpNotebook(m, script);
      sim::RunTool(m);
      EXPECT_EQ(m.registry.KeyExists(RegRoot::kLocalMachine, L"SOFTWARE\\Japan"), variant) << command;
      EXPECT_EQ(m.registry.KeyExists(RegRoot::kLocalMachine, L"SOFTWARE\\Plain"), !variant) << command;
    }
  }
}

TEST(WirelessModem, AnEmptyListEntryRestartsNoDeviceAndFindsNone) {
  // Today an empty entry matched the first modem, and its restart by prefix
  // disabled and enabled every device of the machine.
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("ENABLE_WOR_WMODEM", "[S]\n"));
  m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"3GID_SupportRL0", L"");
  m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.AddDevice(kNetClass, L"PCI", {std::wstring(kWlanId)});
  sim::RunTool(m);
  for (const auto& d : m.devices) EXPECT_FALSE(d.changed) << ToUtf8(d.instanceId);
  EXPECT_TRUE(test::HasLine(m, L"drv:Could not open wireless modem device"));

  sim::SimMachine wifi;
  test::SetUpNotebook(wifi, Script("CHECK_WIFI"));
  wifi.product[L"Vendor"] = L"OTHER";
  AddWlan(wifi, L"");
  sim::RunTool(wifi);
  EXPECT_TRUE(Stopped(wifi));
  EXPECT_TRUE(test::HasLine(wifi, L"drv:Could not find wireless LAN device"));
}

TEST(DeviceRestart, EveryDeviceACommandDisabledIsEnabledAgainWhateverFailed) {
  // The enable looks the device up from scratch; one failure there used to
  // leave the soft modem switched off after DRIVER_REG.
  const std::string script =
      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n[Drv]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
      "[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n";
  struct Fault {
    const char* operation;
    int nth;
  };
  // The enable's device set (the third of the entry), its status read, its class installer call.
  for (const Fault& f : {Fault{"SetupDiGetClassDevsEx", 3}, Fault{"CM_Get_DevNode_Status", 2},
                         Fault{"DIF_PROPERTYCHANGE", 3}, Fault{"SetupDiSetClassInstallParams", 4}}) {
    sim::SimMachine m;
    test::SetUpNotebook(m, script);
    const auto modem = m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    m.faults.FailNth(f.operation, err::kAccessDenied, L"", f.nth);
    sim::RunTool(m);
    EXPECT_FALSE(m.devices[modem].disabled) << f.operation << "\n" << ToUtf8(m.DebugText());
  }
  for (const char* command : {"ENABLE_WOR_WMODEM", "DISABLE_IWLAN_ASPM"}) {
    sim::SimMachine m;
    test::SetUpNotebook(m, Script(command, "[S]\n"));
    AddWlan(m, kWlanId);
    // One that the user switched off, ahead of the 3G modem in the device
    // list, which the enable after the failure must leave off.
    const auto off = m.AddDevice(kModemClass, L"USB", {L"USB\\VID_0BDB&PID_1900&MI_02"});
    m.devices[off].disabled = true;
    AddWModem(m);
    m.faults.FailNth("SetupDiGetClassDevsEx", err::kAccessDenied, L"", 2);
    sim::RunTool(m);
    for (std::size_t i : {0U, 2U}) EXPECT_FALSE(m.devices[i].disabled) << command << i;
    EXPECT_TRUE(m.devices[off].disabled) << command;
    EXPECT_TRUE(test::HasLine(
        m, L"drv:RestoreDisabledDevices:Enable " + m.devices[command[0] == 'E' ? 2 : 0].instanceId + L" again"))
        << command << ToUtf8(m.DebugText());
  }
}

TEST(DeviceRestart, ADeviceDisabledBeforeTheRunStaysDisabled) {
  // The restart around a parameter write enables only what it disabled.
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\nCMD2=ENABLE_WOR_WMODEM\n[Drv]\nDEV=1\n"
                      "DEV1=PCI\\VEN_11C1&DEV_048C\n[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n");
  const auto modem = m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.devices[modem].disabled = true;  // switched off by the user
  AddWModem(m);
  const auto second = m.AddDevice(kModemClass, L"USB", {L"USB\\VID_0BDB&PID_1900&MI_02"});
  m.devices[second].disabled = true;
  sim::RunTool(m);
  EXPECT_TRUE(m.devices[modem].disabled) << ToUtf8(m.DebugText());
  EXPECT_TRUE(m.devices[second].disabled);
  EXPECT_FALSE(m.devices[modem + 1].disabled);  // the 3G modem was restarted
  EXPECT_TRUE(m.devices[modem + 1].changed);
  EXPECT_TRUE(test::HasLine(m, L"drv:Detect:Device was disabled before the command->Do not enable device."));
}

TEST(DriverReg, EachEntryHasItsOwnActionObjectAndLookup) {
  // Three debug traces are made per entry: the fresh action object's, its lookup's and the fresh lookup's.
  auto announcements = [](int entries) {
    std::string section = "[Drv]\nDEV=" + std::to_string(entries) + "\n";
    for (int n = 1; n <= entries; ++n) section += "DEV" + std::to_string(n) + "=PCI\\VEN_11C1&DEV_048C\n";
    sim::SimMachine m;
    test::SetUpNotebook(m, "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n" + section);
    m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    sim::RunTool(m);
    int count = 0;
    for (const auto& line : test::Lines(m)) count += line == L"drv:Debug mode is enabled." ? 1 : 0;
    return count;
  };
  EXPECT_EQ(announcements(3) - announcements(1), 6);
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// A run ended from outside while the tool had a device off (a kill, a time-out,
// a power cut) leaves the tool's record of it; the next run enables the device
// before its first command. A device the user switched off is never recorded.
TEST(DeviceRestart, ADeviceLeftOffByAnEndedRunIsEnabledByTheNext) {
  const std::string script =
      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n[Drv]\nDEV=2\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
      "DEV2=USB\\VID_0BDB&PID_1900&MI_02\n[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n";
  const auto build = [&](sim::SimMachine& m) {
    test::SetUpNotebook(m, script);
    m.AddDevice(kModemClass, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    const auto user = m.AddDevice(kModemClass, L"USB", {L"USB\\VID_0BDB&PID_1900&MI_02"});
    m.devices[user].disabled = true;  // switched off by the user
  };
  sim::SimMachine whole;
  build(whole);
  sim::RunTool(whole);
  const std::wstring modem = whole.devices[0].instanceId;
  const std::wstring user = whole.devices[1].instanceId;
  EXPECT_FALSE(whole.registry.KeyExists(RegRoot::kLocalMachine, kDisabledDevicesKey));
  int leftOff = 0;
  for (std::size_t n = 0; n < whole.faults.callCount; ++n) {
    sim::SimMachine m;
    build(m);
    m.faults.stopAfter = n;
    ASSERT_EQ(sim::RunTool(m), sim::kToolProcessEnded);
    EXPECT_FALSE(m.registry.GetValue(RegRoot::kLocalMachine, kDisabledDevicesKey, user).has_value()) << n;
    if (!m.devices[0].disabled) continue;
    ++leftOff;
    EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, kDisabledDevicesKey, modem).has_value()) << n;
    m.faults.NewProcess();
    sim::RunTool(m);
    EXPECT_FALSE(m.devices[0].disabled) << n;
    EXPECT_TRUE(m.devices[1].disabled) << n;
    EXPECT_TRUE(
        test::HasLine(m, L"drv:EnableRecordedDevices:Enable " + modem + L", a run that was ended left it disabled"))
        << n;
    EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, kDisabledDevicesKey)) << n;
  }
  EXPECT_GT(leftOff, 0);

  // A recorded device that is not there now keeps its record for when it is back.
  sim::SimMachine gone;
  build(gone);
  gone.registry.SetDword(RegRoot::kLocalMachine, kDisabledDevicesKey, L"PCI\\VEN_1234&DEV_0001\\1", 1);
  sim::RunTool(gone);
  EXPECT_TRUE(
      test::HasLine(gone, L"drv:EnableRecordedDevices:PCI\\VEN_1234&DEV_0001\\1 is not present, its record is kept"));
  EXPECT_TRUE(gone.registry.GetValue(RegRoot::kLocalMachine, kDisabledDevicesKey, L"PCI\\VEN_1234&DEV_0001\\1"));

  // A record that cannot be written is said; the device is still restarted.
  sim::SimMachine unrecorded;
  build(unrecorded);
  unrecorded.faults.Fail("RegCreateKeyEx", err::kAccessDenied);
  sim::RunTool(unrecorded);
  EXPECT_TRUE(test::HasLine(
      unrecorded, L"drv:ERROR:DisabledProperty->" + modem + L" is not recorded, a run ended now leaves it disabled"));
  EXPECT_FALSE(unrecorded.devices[0].disabled);
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// Real hardware IDs without a backslash (the standard modem's MDMGEN336)
// select the devices that carry exactly that ID; an enumerator alone, with
// or without its backslash, is refused wherever an ID selects devices.
TEST(HardwareIds, AnIdWithoutABackslashSelectsOnlyItselfAndABusIsRefused) {
  EXPECT_TRUE(NamesDevices(L"MDMGEN336"));
  EXPECT_TRUE(NamesDevices(L"ms_ndiswanip"));
  EXPECT_TRUE(NamesDevices(L"*PNP0A03"));
  EXPECT_TRUE(NamesDevices(L"PCI\\VEN_8086&DEV_4229"));
  for (const wchar_t* bus : {L"", L"*", L"PCI", L"pci\\", L"USB\\", L"ROOT\\", L" ACPI ", L"VENDORBUS\\"}) {
    EXPECT_FALSE(NamesDevices(bus)) << ToUtf8(bus);
  }
  EXPECT_TRUE(IdSelects(L"MDMGEN336", L"mdmgen336"));
  EXPECT_FALSE(IdSelects(L"MDMGEN3360", L"MDMGEN336"));  // no longer a prefix of another ID
  EXPECT_TRUE(IdSelects(L"PCI\\VEN_8086&DEV_4229&SUBSYS_1", L"PCI\\VEN_8086&DEV_4229"));

  // CHECK_HWID with the standard modem's ID passes on a machine that has it.
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\nCMD2=CHECK_VENDOR\n[H]\nHWID=1\nHWID1=MDMGEN336\n");
  m.AddDevice(kModemClass, L"ROOT", {L"MDMGEN336"});
  int exitCode = 0;
  const auto summary = sim::RunWithSummary(m, exitCode);
  EXPECT_FALSE(summary.Stopped()) << sim::SummaryText(summary);
  EXPECT_TRUE(test::HasLine(m, L"drv:Detect HWID HWID1=MDMGEN336"));
  // A device whose ID only begins with it does not pass.
  sim::SimMachine other;
  test::SetUpNotebook(other, "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=1\nHWID1=MDMGEN336\n");
  other.AddDevice(kModemClass, L"ROOT", {L"MDMGEN3360"});
  EXPECT_TRUE(sim::RunWithSummary(other, exitCode).Stopped());

  // REMOVE_DRIVER removes such a device, and refuses a bus.
  sim::SimMachine r;
  test::SetUpNotebook(r, "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=2\nDEV1=MDMGEN336\nDEV2=ROOT\\\n");
  const auto generic = r.AddDevice(kModemClass, L"ROOT", {L"MDMGEN336"});
  const auto longer = r.AddDevice(kModemClass, L"ROOT", {L"MDMGEN3360"});
  sim::RunTool(r);
  EXPECT_TRUE(r.devices[generic].removed);
  EXPECT_FALSE(r.devices[longer].removed);
  EXPECT_TRUE(test::HasLine(r, L"drv:RemoveDriver:Skip DEV2=ROOT\\, it names no device"));
}

}  // namespace
}  // namespace tv
