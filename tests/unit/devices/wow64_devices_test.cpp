// On 64-bit Windows the 32-bit tool may not update drivers nor call the class
// installer; its 64-bit companion makes those calls, and without it the
// failure is the Part's, with one line that says what was missing.
#include <gtest/gtest.h>

#include "app/companion.h"
#include "devices/companion_protocol.h"
#include "sim/sim_run.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kModem = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kCompanion = L"C:\\Tools\\Net Setup\\drv64.exe";

// Each command of this script needs one refused call: an update, a restart
// around a parameter write (a disable and an enable), a removal.
const std::string kScript =
    "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\nCMD2=DRIVER_REG\nCMD2_SECTION=Reg\nCMD3=REMOVE_DRIVER\n"
    "CMD3_SECTION=Rm\n"
    "[Drv_VISTA]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem.inf\n"
    "[Reg]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n[Reg_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n"
    "[Rm]\nDEV=1\nDEV1=ROOT\\OLDMODEM\n";

void Build(sim::SimMachine& m, bool wow64) {
  if (wow64) {
    test::SetUpWow64Notebook(m, kScript);
  } else {
    test::SetUpNotebook(m, kScript);
  }
  m.os = OsVersionRecord{2, 6, 0, 6002};  // Vista, 32-bit or 64-bit
  test::WriteDriverPackage(m, L"C:\\Tools\\Net Setup\\modem.inf", "PCI\\VEN_11C1&DEV_048C");
  m.files.CreateDirectories(L"C:\\Program Files");
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.AddDevice(kModem, L"ROOT", {L"ROOT\\OLDMODEM"}, false);
}

// The trace without what differs by platform and without the companion's line.
std::vector<std::wstring> DeviceLines(const sim::SimMachine& m) {
  std::vector<std::wstring> out;
  for (const auto& line : test::TraceLines(m)) {
    if (line.find(L"Version=") != std::wstring::npos) continue;
    out.push_back(line);
  }
  return out;
}

TEST(Wow64Devices, WithoutTheCompanionTheRefusedCallsFailAndSaySo) {
  sim::SimMachine m;
  Build(m, true);
  sim::RunTool(m);
  EXPECT_TRUE(m.driverUpdates.empty());
  EXPECT_FALSE(m.devices[0].changed);
  EXPECT_FALSE(m.devices[1].removed);
  EXPECT_TRUE(test::HasLine(m, L"drv:Error UpdateDriverForPlugAndPlayDevices"));
  EXPECT_TRUE(test::HasLine(m, L"drv:ERROR:StateChange->SetupDiSetClassInstallParams"));
  EXPECT_TRUE(test::HasLine(m, L"drv:CallClassInstaller(REMOVE)"));
  EXPECT_TRUE(test::HasLine(m, L"drv:Wow64:the 64-bit companion " + std::wstring(kCompanion) + L" was not found"));
}

TEST(Wow64Devices, WithTheCompanionTheRunIsTheSameAsOn32BitWindows) {
  sim::SimMachine native;
  Build(native, false);
  sim::RunTool(native);

  sim::SimMachine m;
  Build(m, true);
  sim::PlaceCompanion(m);
  sim::RunTool(m);
  ASSERT_EQ(m.driverUpdates.size(), 1U) << m.ToString();
  EXPECT_TRUE(m.driverUpdates[0].byCompanion);
  EXPECT_TRUE(m.devices[0].changed && !m.devices[0].disabled);  // restarted around the write
  EXPECT_TRUE(m.devices[0].changedByCompanion);
  EXPECT_TRUE(m.devices[1].removed);
  EXPECT_EQ(DeviceLines(m), DeviceLines(native));
  // Each refused call started the companion once, by its full quoted path.
  std::vector<std::wstring> operations;
  for (const auto& p : m.started) {
    if (p.image != kCompanion) continue;
    operations.push_back(SplitArguments(p.commandLine).at(1));
    EXPECT_EQ(p.currentDirectory, L"C:\\WINDOWS\\system32");  // out of the DLL search
  }
  EXPECT_EQ(operations, (std::vector<std::wstring>{L"update-driver", L"property-change", L"property-change",
                                                   L"property-change", L"remove"}));
}

TEST(Wow64Devices, ACompanionThatFailsOrCannotStartGivesTheToolsFailure) {
  {
    // The companion's own call fails: its error is the tool's result.
    sim::SimMachine m;
    Build(m, true);
    sim::PlaceCompanion(m);
    m.faults.Fail("UpdateDriverForPlugAndPlayDevices", err::kAccessDenied);
    sim::RunTool(m);
    EXPECT_TRUE(m.driverUpdates.empty());
    EXPECT_TRUE(test::HasLine(m, L"drv:Error UpdateDriverForPlugAndPlayDevices"));
    EXPECT_FALSE(test::HasLine(m, L"drv:Wow64:the 64-bit companion " + std::wstring(kCompanion) + L" was not found"));
  }
  {
    sim::SimMachine m;
    Build(m, true);
    sim::PlaceCompanion(m);
    m.faults.Fail("CreateProcess", err::kAccessDenied, {}, -1);
    sim::RunTool(m);
    EXPECT_TRUE(m.driverUpdates.empty());
    EXPECT_FALSE(m.devices[1].removed);
    EXPECT_TRUE(test::HasLine(
        m, L"drv:Wow64:the 64-bit companion " + std::wstring(kCompanion) + L" could not be started, error 5"));
  }
}

TEST(Companion, RunsOneOperationAndRefusesEveryOtherCommandLine) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m);
  const auto phantom = m.AddDevice(kModem, L"ROOT", {L"ROOT\\OLDMODEM"}, false);
  m.devices[phantom].instanceId = L"ROOT\\MODEM\\0000 \"&\" x";  // an ID a shell would split
  const std::wstring path(kCompanion);
  for (const wchar_t* line : {L"\"C:\\x\\drv64.exe\"", L"\"C:\\x\\drv64.exe\" frob", L"\"C:\\x\\drv64.exe\" remove",
                              L"\"C:\\x\\drv64.exe\" update-driver a b x", L"\"C:\\x\\drv64.exe\" remove a b",
                              L"\"C:\\x\\drv64.exe\" property-change id 1 1"}) {
    const auto outcome = sim::RunCompanionProcess(m, line);
    EXPECT_EQ(outcome, kCompanionUsage) << ToUtf8(line);
  }
  const auto usage = RunCompanionOperation(m.platform(), L"\"C:\\x\\drv64.exe\"");
  EXPECT_NE(usage.message.find(L"runs no setup script"), std::wstring::npos);
  EXPECT_EQ(sim::RunCompanionProcess(m, CompanionCommandLine(path, kOpRemove, {L"ROOT\\NONE\\0"})),
            err::kNoSuchDevinst);
  EXPECT_EQ(sim::RunCompanionProcess(m, CompanionCommandLine(path, kOpRemove, {m.devices[phantom].instanceId})), 0U);
  EXPECT_TRUE(m.devices[phantom].removed);
  EXPECT_FALSE(m.process64);  // the tool's own process is 32-bit again
  // No trace, no mutex, no script: the companion touches nothing but the device.
  EXPECT_TRUE(m.debugEvents().empty());
  EXPECT_FALSE(m.mutexHeld(L"drv64.exe"));
}

TEST(Companion, ArgumentsSurviveBlanksQuotesAndBackslashes) {
  for (const std::wstring arg : {L"", L"a b", L"PCI\\VEN_1&DEV_2", L"say \"hi\"", L"C:\\Program Files\\x\\",
                                 L"trailing\\\\", L"\\\"", L"&|<>^%"}) {
    const auto back = SplitArguments(QuoteArgument(arg) + L" next");
    ASSERT_EQ(back.size(), 2U) << ToUtf8(arg);
    EXPECT_EQ(back[0], arg);
    EXPECT_EQ(back[1], L"next");
  }
  EXPECT_EQ(CompanionPath(L"C:\\Tools\\Net Setup\\netsetup.exe"), L"C:\\Tools\\Net Setup\\netsetup64.exe");
  EXPECT_EQ(CompanionPath(L"C:\\T\\NETSETUP.EXE"), L"C:\\T\\NETSETUP64.exe");
}

}  // namespace
}  // namespace tv
