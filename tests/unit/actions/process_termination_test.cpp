#include <gtest/gtest.h>

#include "actions/process_termination.h"
#include "app/process_objects.h"
#include "platform/product_cache.h"
#include "test_machine.h"

namespace tv {
namespace {

struct Termination {
  Termination() {
    test::SetUpNotebook(m);
    m.AddRunningProcess(L"explorer.exe");
    m.AddRunningProcess(L"secret.exe", true);
    first = m.AddRunningProcess(L"Setup.EXE");
    second = m.AddRunningProcess(L"setup.exe");
  }
  int Run(std::wstring_view name) {
    const CProcessPlatform process(m.platform());
    CProcessObjects objects(process.get());
    return objects.action.TerminateProcessByName(name);
  }
  bool Running(std::uint32_t id) const {
    for (const auto& p : m.processes) {
      if (p.id == id) return p.running;
    }
    return false;
  }
  sim::SimMachine m;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
};

TEST(ProcessTermination, EndsTheFirstMatchingProcessOnly) {
  Termination t;
  EXPECT_EQ(t.Run(L"setup.exe"), termination::kTerminated);
  EXPECT_FALSE(t.Running(t.first));
  EXPECT_TRUE(t.Running(t.second));
  EXPECT_EQ(t.Run(L"SETUP.EXE"), termination::kTerminated);
  EXPECT_FALSE(t.Running(t.second));
  EXPECT_EQ(t.Run(L"setup.exe"), termination::kNotRunning);
  EXPECT_EQ(t.Run(L"C:\\x\\explorer.exe"), termination::kNotRunning);
  // A process whose name cannot be read is never ended, whatever name is asked for.
  EXPECT_EQ(t.Run(L"unknown"), termination::kNotRunning);
  EXPECT_EQ(t.Run(L"secret.exe"), termination::kNotRunning);
  EXPECT_EQ(t.m.processes[1].running, true);
}

// On 64-bit Windows the 32-bit tool cannot read a 64-bit process's module
// name through PSAPI, so it cannot end it by name; a 32-bit one it can.
TEST(ProcessTermination, A64BitProcessIsNotSeenByTheThirtyTwoBitTool) {
  Termination t;
  t.m.wow64 = true;
  const auto shell = t.m.AddRunningProcess(L"shell64.exe");
  t.m.processes.back().is64 = true;
  const auto tray = t.m.AddRunningProcess(L"tray32.exe");
  EXPECT_EQ(t.Run(L"shell64.exe"), termination::kNotRunning);
  EXPECT_TRUE(t.Running(shell));
  EXPECT_EQ(t.Run(L"tray32.exe"), termination::kTerminated);
  EXPECT_FALSE(t.Running(tray));
  // The companion is a 64-bit process: it would see the name.
  t.m.process64 = true;
  EXPECT_EQ(t.Run(L"shell64.exe"), termination::kTerminated);
}

// The process is ended through the handle its name was read on: should it
// exit meanwhile and Windows give its ID to another program, that program
// is not ended. A list of more IDs than the first room holds is read whole.
TEST(ProcessTermination, EndsOnlyTheProcessWhoseNameItReadWhereverItIsListed) {
  Termination t;
  t.m.afterProcessNameRead = [&t](std::uint32_t id) {
    if (id != t.first) return;
    t.m.afterProcessNameRead = nullptr;
    for (auto& p : t.m.processes) {
      if (p.id == id) p.running = false;
    }
    t.m.processes.push_back(sim::SimMachine::SimProcess{id, L"victim.exe"});
  };
  EXPECT_EQ(t.Run(L"setup.exe"), termination::kTerminateFailed);
  EXPECT_TRUE(t.m.processes.back().running) << "a program that took the ended one's ID was ended";

  Termination many;
  for (int i = 0; i < 2500; ++i) many.m.AddRunningProcess(L"idle.exe");
  const auto late = many.m.AddRunningProcess(L"late.exe");
  EXPECT_EQ(many.Run(L"late.exe"), termination::kTerminated);
  EXPECT_FALSE(many.Running(late));
}

TEST(ProcessTermination, EveryResult) {
  struct Case {
    const char* name;
    void (*setUp)(sim::SimMachine&);
    std::wstring target;
    int result;
  };
  const Case cases[] = {
      {"empty name", [](sim::SimMachine&) {}, L"", termination::kBadName},
      {"name too long", [](sim::SimMachine&) {}, std::wstring(261, L'a'), termination::kBadName},
      {"no version", [](sim::SimMachine& m) { m.faults.Fail("GetVersionEx", err::kInvalidParameter, {}, -1); },
       L"setup.exe", termination::kNoVersion},
      {"Win32s", [](sim::SimMachine& m) { m.os.platformId = 0; }, L"setup.exe", termination::kUnknownPlatform},
      {"no PSAPI", [](sim::SimMachine& m) { m.faults.Fail("LoadPsapi", err::kModNotFound); }, L"setup.exe",
       termination::kNoPsapi},
      {"PSAPI incomplete", [](sim::SimMachine& m) { m.psapiHasFunctions = false; }, L"setup.exe",
       termination::kPsapiIncomplete},
      {"EnumProcesses fails", [](sim::SimMachine& m) { m.faults.Fail("EnumProcesses", err::kAccessDenied); },
       L"setup.exe", termination::kEnumFailed},
      {"cannot open", [](sim::SimMachine& m) { m.faults.Fail("OpenProcess", err::kAccessDenied, L"Setup.EXE"); },
       L"setup.exe", termination::kOpenFailed},
      {"cannot terminate", [](sim::SimMachine& m) { m.faults.Fail("TerminateProcess", err::kAccessDenied); },
       L"setup.exe", termination::kTerminateFailed},
      {"9x: terminated",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
         m.AddRunningProcess(L"SETUP.EXE");
       },
       L"Setup.exe", termination::kTerminated},
      // The older family compares the module name as reported, after upper-casing only the target.
      {"9x: case of the module name",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
       },
       L"setup.exe", termination::kNotRunning},
      {"9x: no Kernel32",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
         m.faults.Fail("LoadToolhelp", err::kModNotFound);
       },
       L"setup.exe", termination::kNoKernel32},
      {"9x: toolhelp incomplete",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
         m.toolhelpHasFunctions = false;
       },
       L"setup.exe", termination::kToolhelpIncomplete},
      {"9x: process snapshot fails",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
         m.faults.Fail("CreateToolhelp32Snapshot", err::kNotEnoughMemory, L"processes");
       },
       L"setup.exe", termination::kSnapshotFailed},
      {"9x: module snapshot fails",
       [](sim::SimMachine& m) {
         m.os = OsVersionRecord{1, 4, 10, 2222};
         m.faults.Fail("CreateToolhelp32Snapshot", err::kNotEnoughMemory, L"modules");
       },
       L"SETUP.EXE", termination::kSnapshotFailed},
  };
  for (const auto& c : cases) {
    Termination t;
    c.setUp(t.m);
    EXPECT_EQ(t.Run(c.target), c.result) << c.name;
  }
}

TEST(ProcessTermination, HandlerTracesEveryListedNameWhateverTheResult) {
  sim::SimMachine m;
  test::SetUpNotebook(
      m, "[INIT]\nCMD1=TPROCESS\nCMD1_SECTION=End\n[End]\nTPROCESS=3\nPROCESS1=app.exe\nPROCESS3=none.exe\n");
  const auto app = m.AddRunningProcess(L"APP.EXE");
  sim::RunTool(m);
  EXPECT_FALSE(m.processes[0].running);
  EXPECT_EQ(m.processes[0].id, app);
  const auto lines = test::TraceLines(m);
  // Each name is followed by the "\n" of the message and the "\r\n" of the line.
  EXPECT_EQ(std::vector<std::wstring>(lines.end() - 6, lines.end()),
            (std::vector<std::wstring>{L"drv:TerminateProcess:app.exe", L"", L"drv:TerminateProcess:", L"",
                                       L"drv:TerminateProcess:none.exe", L""}));
}

}  // namespace
}  // namespace tv
