#include <gtest/gtest.h>

#include "app/process_objects.h"
#include "devices/hardware_id.h"
#include "platform/product_cache.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kModem = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kNet = L"{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kListKey = L"Software\\Veltaro\\WirelessDeviceID";

// A notebook with a device lookup of its own, as the action object holds one.
struct Lookup {
  Lookup() { test::SetUpNotebook(m); }
  CDevLookup& get() {
    if (!objects) {
      process = std::make_unique<CProcessPlatform>(m.platform());
      objects = std::make_unique<CProcessObjects>(process->get());
    }
    return objects->action.lookup;
  }
  sim::SimMachine m;
  std::unique_ptr<CProcessPlatform> process;
  std::unique_ptr<CProcessObjects> objects;
};

TEST(DevLookup, IsExistByIdMatchesPrefixesOfPresentDevicesOnly) {
  Lookup t;
  t.m.AddDevice(kModem, L"PCI", {});
  t.m.devices.back().hardwareIds.reset();  // no hardware-ID property: passed over
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_1", L"PCI\\VEN_11C1&DEV_048C"});
  t.m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_8086&DEV_4229"}, false);  // a phantom
  CDevLookup& l = t.get();
  EXPECT_EQ(l.IsExistById(L"pci\\ven_11c1&dev_048c"), 1);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_11C1&DEV_048C&SUBSYS_1&REV_01"), 0);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_8086"), 0);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_11C1", std::wstring(kNet)), 0);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_11C1", std::wstring(kModem), L"ROOT"), 0);
  EXPECT_EQ(l.IsExistById(L""), 0);  // an empty ID is a prefix of everything: refused
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistById:Refused ID = , it names no device"));
  EXPECT_TRUE(
      test::HasLine(t.m, L"drv:SetupAPI ID = PCI\\VEN_11C1&DEV_048C&SUBSYS_1, Compare ID = pci\\ven_11c1&dev_048c"));
  // A property failure other than "no hardware IDs" ends the scan.
  t.m.faults.Fail("SetupDiGetDeviceRegistryProperty", err::kAccessDenied, t.m.devices[1].instanceId);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_11C1"), 0);
  // A device that went away between the enumeration and the read is passed
  // over, and the scan goes on to the next one.
  const auto second = t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  t.m.faults.Fail("SetupDiGetDeviceRegistryProperty", err::kNoSuchDevinst, t.m.devices[1].instanceId);
  EXPECT_EQ(l.IsExistById(L"PCI\\VEN_11C1"), 1);
  t.m.faults.Fail("SetupDiGetDeviceRegistryProperty", err::kNoSuchDevinst, t.m.devices[1].instanceId);
  t.m.faults.Fail("CM_Get_DevNode_Status", err::kCrNoSuchDevnode, t.m.devices[second].instanceId);
  EXPECT_EQ(l.DisableAllProperty(L"PCI\\VEN_11C1"), 0);
  EXPECT_FALSE(t.m.devices[1].disabled);
  EXPECT_FALSE(t.m.devices[second].disabled);
}

TEST(DevLookup, RegistryListWithAGapAndMatchOnASecondId) {
  Lookup t;
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"DevID_SupportRL0", L"PCI\\VEN_8086&DEV_0000");
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"DevID_SupportRL1", L"PCI\\VEN_8086&DEV_4229");
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"DevID_SupportRL3", L"PCI\\VEN_14E4");
  t.m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_8086&DEV_4229&SUBSYS_11118086", L"PCI\\VEN_8086&DEV_4229&CC_0280"});
  t.m.devices.back().hardwareIds->front() = L"PCI\\VEN_1234&DEV_9999";  // only the second ID matches
  CDevLookup& l = t.get();
  EXPECT_EQ(l.IsExistByReg(L"DevID_SupportRL", std::wstring(kNet), L"PCI"), 1);
  EXPECT_EQ(l.idCount, 2U);
  EXPECT_EQ(l.matchedEntry, L"PCI\\VEN_8086&DEV_4229");
  EXPECT_EQ(l.matchedDeviceId, L"PCI\\VEN_1234&DEV_9999");
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistByReg reg query count = 2 TickCount=0 DevCount=2"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistByReg Found Device TickCount=0"));
  EXPECT_EQ(t.m.registry.OpenKeyCount(), 0);

  // No list at all: no comparison, nothing matched, the earlier match kept.
  EXPECT_EQ(l.IsExistByReg(L"3GID_SupportRL", std::wstring(kModem)), 0);
  EXPECT_EQ(l.idCount, 0U);
  EXPECT_EQ(l.matchedEntry, L"PCI\\VEN_8086&DEV_4229");
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistByReg reg query count = 0 TickCount=0 DevCount=0"));
}

TEST(DevLookup, ListEntriesTooLongForTheListAreLeftOut) {
  Lookup t;
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"P0", L"PCI\\VEN_8086" + std::wstring(120, L'X'));
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"P1", L"PCI\\VEN_14E4");
  t.m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_8086" + std::wstring(120, L'X') + L"&REV_1"});
  CDevLookup& l = t.get();
  EXPECT_EQ(l.IsExistByReg(L"P"), 0);  // cut to 127 it would have matched
  EXPECT_EQ(l.idCount, 1U);
  EXPECT_EQ(l.idList[0], L"PCI\\VEN_14E4");
}

TEST(DevLookup, EnableAndDisableByWholeIdOrByPrefix) {
  Lookup t;
  t.m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_8086&DEV_1111"});
  t.m.devices[1].disabled = true;
  CDevLookup& l = t.get();
  EXPECT_EQ(l.DisabledProperty(L"PCI\\VEN_8086"), 0);  // a prefix is not the whole ID
  EXPECT_FALSE(t.m.devices[0].disabled);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:ERROR:DisabledProperty->erro code 259"));
  EXPECT_EQ(l.DisabledProperty(L"pci\\ven_8086&dev_4229"), 1);
  EXPECT_TRUE(t.m.devices[0].disabled);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Detect:Device is enabled->Disalbe device."));
  EXPECT_EQ(l.DisabledProperty(L"PCI\\VEN_8086&DEV_4229"), 1);  // already disabled
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Detect:Device is not enabled.Do not disable device."));
  // Every match, always 0; only what this lookup disabled is enabled again.
  EXPECT_EQ(l.EnableAllProperty(L"PCI\\VEN_8086"), 0);
  EXPECT_FALSE(t.m.devices[0].disabled);
  EXPECT_TRUE(t.m.devices[1].disabled);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Detect:Device was disabled before the command->Do not enable device."));
  EXPECT_EQ(l.EnabledProperty(L"PCI\\VEN_8086&DEV_4229"), 1);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Detect:Device is enabled->Do not enable device."));
  EXPECT_EQ(l.DisableAllProperty(L"PCI\\VEN_8086&DEV"), 0);
  EXPECT_TRUE(t.m.devices[0].disabled && t.m.devices[1].disabled);
  EXPECT_EQ(l.RestoreDisabledDevices(), 1);
  EXPECT_FALSE(t.m.devices[0].disabled);
  EXPECT_TRUE(t.m.devices[1].disabled);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:RestoreDisabledDevices:Enable PCI\\DEV_0\\0 again"));
}

TEST(DevLookup, StateChangeFailuresAndRebootAreTraced) {
  Lookup t;
  t.m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  t.m.devices[0].needsRebootAfterChange = true;
  CDevLookup& l = t.get();
  EXPECT_EQ(l.DisabledProperty(L"PCI\\VEN_8086&DEV_4229"), 1);  // the operation goes on as if it had worked
  EXPECT_TRUE(test::HasLine(t.m, L"drv:ERROR:StateChange->SetupDiGetDeviceInstallParams"));

  t.m.faults.Fail("SetupDiSetClassInstallParams", err::kInvalidParameter);
  EXPECT_EQ(l.EnabledProperty(L"PCI\\VEN_8086&DEV_4229"), 1);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:ERROR:StateChange->SetupDiSetClassInstallParams"));
  EXPECT_TRUE(t.m.devices[0].disabled);

  const std::pair<const char*, const wchar_t*> failures[] = {
      {"SetupDiGetClassDevsEx", L"drv:ERROR:EnabledProperty->SetupDiGetClassDevsEx"},
      {"SetupDiGetDeviceInfoListDetail", L"drv:ERROR:EnabledProperty->SetupDiGetDeviceInfoListDetail"},
      {"SetupDiGetDeviceRegistryProperty", L"drv:Unknown Fail:EnabledProperty->SetupDiGetDeviceRegistryProperty"},
      {"CM_Get_DevNode_Status", L"drv:ERROR:EnabledProperty->CM_Get_DevNode_Status"},
      {"SetupDiEnumDeviceInfo", L"drv:ERROR:EnabledProperty->SetupDiEnumDeviceInfo"},
  };
  for (const auto& [operation, line] : failures) {
    t.m.faults.Fail(operation, err::kAccessDenied);
    EXPECT_EQ(l.EnabledProperty(L"PCI\\VEN_8086&DEV_4229"), 0) << operation;
    EXPECT_TRUE(test::HasLine(t.m, line)) << operation;
  }
  EXPECT_TRUE(test::HasLine(t.m, L"drv:ERROR:EnabledProperty->erro code 5"));
}

TEST(DevLookup, RemoveDeviceTakesPhantomsAndOneDeviceACall) {
  Lookup t;
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"}, false);
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_2"});
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_3"});
  CDevLookup& l = t.get();
  EXPECT_EQ(l.RemoveDevice(L"PCI\\VEN_11C1&DEV_048C"), 1);
  EXPECT_TRUE(t.m.devices[0].removed);  // not present, removed all the same
  EXPECT_FALSE(t.m.devices[1].removed);
  t.m.faults.Fail("DIF_REMOVE", err::kAccessDenied, t.m.devices[1].instanceId);
  EXPECT_EQ(l.RemoveDevice(L"PCI\\VEN_11C1&DEV_048C"), 1);
  EXPECT_FALSE(t.m.devices[1].removed);
  EXPECT_TRUE(t.m.devices[2].removed);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CallClassInstaller(REMOVE)"));
  EXPECT_EQ(l.RemoveDevice(L"PCI\\VEN_FFFF"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Donot find. Cannot remove! = PCI\\VEN_FFFF"));
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// Without tracing the list is searched by the hardware IDs' beginnings; the
// entry that matches must be the one the entry-by-entry walk finds.
TEST(DevLookup, ListMatchIsTheSameWithTracingOffAndOn) {
  for (bool tracing : {true, false}) {
    sim::SimMachine m;
    test::SetUpNotebook(m, "", tracing);
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L0", L"pci\\ven_8086&dev_4229&subsys");
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L1", L"PCI\\VEN_8086");
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L2", L"PCI\\VEN_8086&DEV_4229");
    m.AddDevice(kNet, L"PCI", {L"PCI\\VEN_1111", L"PCI\\VEN_8086&DEV_4229&SUBSYS_1", L"PCI\\VEN_8086&DEV_4229"});
    const CProcessPlatform process(m.platform());
    CProcessObjects objects(process.get());
    CDevLookup& l = objects.action.lookup;
    EXPECT_EQ(l.IsExistByReg(L"L"), 1) << tracing;
    EXPECT_EQ(l.matchedEntry, L"pci\\ven_8086&dev_4229&subsys") << tracing;  // the first in list order
    EXPECT_EQ(l.matchedDeviceId, L"PCI\\VEN_1111") << tracing;
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L0", L"");  // an empty entry is left out
    EXPECT_EQ(l.IsExistByReg(L"L"), 1);
    EXPECT_EQ(l.matchedEntry, L"PCI\\VEN_8086");
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L0", L"USB");
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L1", L"PCI\\VEN_9999");
    m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"L2", L"PCI\\VEN_1111&DEV");
    EXPECT_EQ(l.IsExistByReg(L"L"), 0) << tracing;
  }
}

TEST(DevLookup, AnIdNamesADeviceOnlyWithMoreThanABusOrAWildcard) {
  for (const wchar_t* id : {L"", L" ", L"*", L"**", L"PCI", L"pci\\", L"ROOT\\", L"USB\\\\", L"ACPI", L"*\\"}) {
    EXPECT_FALSE(NamesDevices(id)) << ToUtf8(id);
  }
  for (const wchar_t* id :
       {L"PCI\\VEN_8086&DEV_4229", L"USB\\VID_0BDB&PID_1900&MI_00", L"*PNP0A03", L"ACPI\\PNP0C0A", L"PCI\\VEN_8086"}) {
    EXPECT_TRUE(NamesDevices(id)) << ToUtf8(id);
  }
}

TEST(DevLookup, ListEntriesThatNameNoDeviceAreLeftOut) {
  // An empty value in a hardware-ID list would match every device of the class.
  Lookup t;
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"3GID_SupportRL0", L"");
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"3GID_SupportRL1", L"USB\\");
  t.m.registry.SetString(RegRoot::kLocalMachine, kListKey, L"3GID_SupportRL2", L"USB\\VID_0BDB&PID_1900");
  t.m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  CDevLookup& l = t.get();
  EXPECT_EQ(l.IsExistByReg(L"3GID_SupportRL", std::wstring(kModem)), 0);
  EXPECT_EQ(l.idCount, 1U);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistByReg skip ID 3GID_SupportRL0 that names no device"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:IsExistByReg skip ID 3GID_SupportRL1 that names no device"));
  // The restart of every matching device refuses such an ID as well.
  EXPECT_EQ(l.DisableAllProperty(L""), 0);
  EXPECT_FALSE(t.m.devices[0].disabled);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:DisableAllProperty:Refused ID = , it names no device"));
  EXPECT_EQ(l.RemoveDevice(L"PCI"), 0);
  EXPECT_FALSE(t.m.devices[0].removed);
}

}  // namespace
}  // namespace tv
