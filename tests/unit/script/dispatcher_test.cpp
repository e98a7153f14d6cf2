#include <gtest/gtest.h>

#include "app/process_objects.h"
#include "script/command.h"
#include "script/dispatcher.h"
#include "test_machine.h"

namespace tv {
namespace {

// One process of the tool on a machine, for calling the dispatcher directly.
struct Dispatcher {
  explicit Dispatcher(sim::SimMachine& m) : machine(m), platform(m.platform()), objects(platform) {
    auto k = platform.system.LoadKernel32();
    if (k) kernel32 = std::move(*k);
  }
  int Run(std::wstring_view command, std::int32_t& stop) {
    return DispatchCommand(DispatchEnv{platform, objects, kernel32.get()}, command, L"", stop);
  }
  // Whether the command reached a handler: CHECK_WOW6432 traces and stops on WOW64,
  // CHECK_VENDOR on the wrong maker; an unknown keyword reaches none.
  sim::SimMachine& machine;
  Platform platform;
  CProcessObjects objects;
  std::unique_ptr<IKernel32> kernel32;
};

TEST(Dispatcher, PlatformGateBySuffix) {
  struct Case {
    const wchar_t* suffix;
    bool runs32;
    bool runs64;
    bool redirectionOff64;
  };
  const Case cases[] = {
      {L"", true, true, false},      {L".old", true, true, false},   {L".X32", true, false, false},
      {L".x64", false, true, false}, {L".WOW64", false, true, true}, {L".wow6432", true, true, true},
  };
  for (const auto& c : cases) {
    for (bool wow64 : {false, true}) {
      SCOPED_TRACE(std::wstring(c.suffix) + (wow64 ? L" on 64-bit" : L" on 32-bit"));
      sim::SimMachine m;
      // The wrong maker makes CHECK_VENDOR trace and stop whenever it runs.
      if (wow64) {
        test::SetUpWow64Notebook(m);
      } else {
        test::SetUpNotebook(m);
      }
      m.product[L"Vendor"] = L"OTHER";
      Dispatcher d(m);
      std::int32_t stop = 7;
      EXPECT_EQ(d.Run(std::wstring(L"CHECK_VENDOR") + c.suffix, stop), 1);
      const bool runs = wow64 ? c.runs64 : c.runs32;
      EXPECT_EQ(stop, runs ? 1 : 0);
      ASSERT_EQ(test::HasLine(m, L"drv:Error check Vendor OTHER"), runs);
      const bool off = wow64 && c.redirectionOff64;
      for (const auto& e : m.debugEvents()) {
        if (e.text == L"Error check Vendor OTHER") {
          EXPECT_EQ(e.redirectionOff, off);
        }
      }
      EXPECT_EQ(m.redirectionDisables, off ? 1 : 0);
      EXPECT_EQ(m.redirectionReverts, off ? 1 : 0);
      EXPECT_FALSE(m.redirectionOff);  // on again for the next command
    }
  }
}

TEST(Dispatcher, RedirectionFailuresAndMissingEntryPoints) {
  {
    sim::SimMachine m;
    test::SetUpWow64Notebook(m);
    m.faults.Fail("Wow64DisableWow64FsRedirection", err::kInvalidParameter);
    Dispatcher d(m);
    std::int32_t stop = 0;
    d.Run(L"CHECK_WOW6432.WOW64", stop);
    // It would run with the 32-bit programs and view it asked to leave: it does not run.
    EXPECT_EQ(stop, 0);
    EXPECT_EQ(m.redirectionReverts, 0);  // a failed turn-off restores nothing
    EXPECT_TRUE(test::HasLine(
        m, L"drv:ERROR:DispatchCommand->Wow64DisableWow64FsRedirection CHECK_WOW6432.WOW64, the command does not run"));
  }
  {
    // Without the turn-off entry point the command runs, with redirection on.
    sim::SimMachine m;
    test::SetUpWow64Notebook(m);
    m.kernel32HasDisableRedirection = false;
    Dispatcher d(m);
    std::int32_t stop = 0;
    d.Run(L"CHECK_WOW6432.WOW6432", stop);
    EXPECT_EQ(stop, 1);  // it ran: under WOW64 the check stops the run
    EXPECT_TRUE(test::HasLine(m, L"drv:WOW6432 process"));
    EXPECT_FALSE(test::HasLine(
        m,
        L"drv:ERROR:DispatchCommand->Wow64DisableWow64FsRedirection CHECK_WOW6432.WOW6432, the command does not run"));
    EXPECT_EQ(m.redirectionDisables, 0);
    EXPECT_EQ(m.redirectionReverts, 0);
  }
  {
    // Without a way to turn it on again, redirection is never turned off,
    // and the command runs with it on.
    sim::SimMachine m;
    test::SetUpWow64Notebook(m);
    m.kernel32HasRevertRedirection = false;
    Dispatcher d(m);
    std::int32_t stop = 0;
    d.Run(L"CHECK_WOW6432.WOW64", stop);
    EXPECT_EQ(stop, 1);
    EXPECT_EQ(m.redirectionDisables, 0);
    EXPECT_FALSE(m.redirectionOff);
  }
  {
    // A failing IsWow64Process leaves the flag clear: the tool behaves as on 32-bit Windows.
    sim::SimMachine m;
    test::SetUpWow64Notebook(m);
    m.faults.Fail("IsWow64Process", err::kAccessDenied, {}, -1);
    Dispatcher d(m);
    std::int32_t stop = 0;
    d.Run(L"CHECK_WOW6432", stop);
    EXPECT_EQ(stop, 0);
    d.Run(L"CHECK_WOW6432.X64", stop);
    EXPECT_EQ(stop, 0);
    EXPECT_EQ(m.redirectionDisables, 0);
  }
}

TEST(Dispatcher, Wow6432CheckStopsOnlyUnderWow64) {
  sim::SimMachine m64;
  test::SetUpWow64Notebook(m64);
  Dispatcher d64(m64);
  std::int32_t stop = 0;
  d64.Run(L"check_wow6432", stop);
  EXPECT_EQ(stop, 1);
  EXPECT_TRUE(test::HasLine(m64, L"drv:WOW6432 process"));

  sim::SimMachine m32;
  test::SetUpNotebook(m32);
  Dispatcher d32(m32);
  d32.Run(L"CHECK_WOW6432", stop);
  EXPECT_EQ(stop, 0);
  EXPECT_TRUE(test::TraceLines(m32).empty());
}

TEST(Dispatcher, VendorCheckIgnoresCaseOnly) {
  struct Case {
    std::optional<std::wstring> vendor;
    bool stops;
  };
  const Case cases[] = {
      {L"Veltaro", false}, {L"VELTARO", false}, {L"VELTARO Corp.", true}, {L"", true}, {std::nullopt, true}};
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m);
    m.product[L"Vendor"] = c.vendor;
    Dispatcher d(m);
    std::int32_t stop = 0;
    d.Run(L"Check_Vendor", stop);
    EXPECT_EQ(stop, c.stops ? 1 : 0) << (c.vendor ? ToUtf8(*c.vendor) : "<null>");
    EXPECT_EQ(test::HasLine(m, L"drv:Error check Vendor " + c.vendor.value_or(L"")), c.stops);
  }
}

TEST(Dispatcher, UnknownKeywordsAndBlanksBeforeASuffixDoNothing) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.product[L"Vendor"] = L"OTHER";
  Dispatcher d(m);
  std::int32_t stop = 0;
  for (const wchar_t* command : {L"NO_SUCH_KEYWORD", L"NO_SUCH.X32", L"CHECK_VENDOR. X64", L"CHECK_VENDORX"}) {
    EXPECT_EQ(d.Run(command, stop), 1);
    EXPECT_EQ(stop, 0) << ToUtf8(command);
  }
  EXPECT_TRUE(test::TraceLines(m).empty());
}

TEST(Dispatcher, SilentModeIsAnySwitchTextInTheArguments) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"/s", true}, {L"-S", true}, {L"/setup", true}, {L"-x -s2", true}, {L"", false}, {L"/x /q", false},
  };
  for (const auto& [args, silent] : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m);
    m.commandLine = std::wstring(L"\"") + std::wstring(test::kExePath) + L"\" " + args;
    const CRunContext rc(m.platform());
    EXPECT_EQ(IsSilentMode(rc), silent) << ToUtf8(args);
  }
}

TEST(Dispatcher, AFailedRestoreOfRedirectionStopsTheRun) {
  // Every later command would run with redirection off: a plain REG_INI would
  // write the 64-bit view.
  sim::SimMachine m;
  test::SetUpWow64Notebook(m,
                           "[INIT]\nCMD1=NOOP.WOW64\nCMD2=REG_INI\nCMD2_SECTION=Reg\n[Reg]\nADDREG=1\n"
                           "ADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Vendor\nADDREG1_ENTRYNAME=v\n");
  m.faults.Fail("Wow64RevertWow64FsRedirection", err::kInvalidParameter);
  sim::RunTool(m);
  EXPECT_TRUE(m.started.empty()) << ToUtf8(m.DebugText());
  EXPECT_FALSE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", L"v"));
  EXPECT_TRUE(test::HasLine(m, L"drv:ERROR:DispatchCommand->Wow64RevertWow64FsRedirection NOOP.WOW64, the run stops"));
}

}  // namespace
}  // namespace tv
