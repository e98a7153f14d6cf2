#include <gtest/gtest.h>

#include <algorithm>

#include "app/tool.h"
#include "platform/product_cache.h"
#include "test_machine.h"

namespace tv {
namespace {

// Each command "NOOP.WOW64" on a 64-bit notebook turns redirection off once
// and reaches no handler, so the number of turn-offs counts the commands run.
std::string Script(int commands, std::string_view extra = "") {
  std::string s = "[INIT]\n";
  for (int n = 1; n <= commands; ++n) s += "CMD" + std::to_string(n) + "=NOOP.WOW64\n";
  s += extra;
  return s;
}

TEST(CommandLoop, RunsUpTo64CommandsUntilAGapOrAnEmptyCommand) {
  struct Case {
    const char* name;
    std::string script;
    int ran;
  };
  const Case cases[] = {
      {"gap", "[INIT]\nCMD1=NOOP.WOW64\nCMD2=NOOP.WOW64\nCMD4=NOOP.WOW64\n", 2},
      {"70 commands", Script(70), 64},
      {"empty third", "[INIT]\nCMD1=NOOP.WOW64\nCMD2=NOOP.WOW64\nCMD3=\nCMD4=NOOP.WOW64\n", 2},
      {"lower-case keys", "[init]\ncmd1=noop.wow64\ncmd1_section=x\n", 1},
      {"no setup script", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine m;
    test::SetUpWow64Notebook(m, c.script);
    if (c.script.empty()) m.files = sim::SimFileSystem{};
    EXPECT_EQ(sim::RunTool(m), kExitRan);
    EXPECT_EQ(m.redirectionDisables, c.ran);
  }
}

TEST(CommandLoop, StopFlagEndsTheRunAfterTheCommand) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, "[INIT]\nCMD1=NOOP.WOW64\nCMD2=CHECK_WOW6432\nCMD3=NOOP.WOW64\n");
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(m.redirectionDisables, 1);
  EXPECT_EQ(test::TraceLines(m), (std::vector<std::wstring>{L"drv:Version=ABCDEFGH Region=F", L"drv:WOW6432 process"}));
}

TEST(CommandLoop, ForcedRegionReplacesOneCharacter) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nFORCE_REGION=JPN\n");
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(test::TraceLines(m), (std::vector<std::wstring>{L"drv:Version=ABCDEFGH Region=F",
                                                            L"drv:FORCE REGION MODE!! Version=ABCDEJGH Region=J"}));

  // With a version too short for a region code only the modem's code changes.
  sim::SimMachine shortVersion;
  test::SetUpNotebook(shortVersion, "[INIT]\nFORCE_REGION=\"K\"\n");
  shortVersion.product[L"Version"] = L"ABC";
  sim::RunTool(shortVersion);
  EXPECT_TRUE(test::HasLine(shortVersion, L"drv:FORCE REGION MODE!! Version=ABC Region=K"));

  for (const char* script : {"[INIT]\nFORCE_REGION=\n", "[INIT]\n"}) {
    sim::SimMachine none;
    test::SetUpNotebook(none, script);
    sim::RunTool(none);
    EXPECT_EQ(test::TraceLines(none), (std::vector<std::wstring>{L"drv:Version=ABCDEFGH Region=F"}));
  }
}

TEST(Entry, SecondInstanceRunsNoCommand) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, Script(3));
  m.HoldMutex(L"drv.EXE");  // the executable file name, wherever that copy lies
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(m.redirectionDisables, 0);
  EXPECT_EQ(test::TraceLines(m), (std::vector<std::wstring>{L"drv:Error to avoid execute doubly"}));

  // A copy under another file name runs alongside.
  sim::SimMachine other;
  test::SetUpWow64Notebook(other, Script(3));
  other.HoldMutex(L"setup.exe");
  sim::RunTool(other);
  EXPECT_EQ(other.redirectionDisables, 3);
  EXPECT_FALSE(other.mutexHeld(L"drv.EXE"));  // released when the process ends

  // A copy that is not elevated cannot open the mutex of an elevated one,
  // which runs all the same: it is refused as well.
  sim::SimMachine denied;
  test::SetUpWow64Notebook(denied, Script(3));
  denied.HoldMutex(L"drv.EXE", true);
  denied.elevated = false;
  EXPECT_EQ(sim::RunTool(denied), kExitRan);
  EXPECT_EQ(denied.redirectionDisables, 0);
  EXPECT_EQ(test::TraceLines(denied), (std::vector<std::wstring>{L"drv:Error to avoid execute doubly"}));
}

// A standard user may make a mutex of the tool's name before it starts (for
// an elevated run its default rights deny administrators; LocalSystem opens
// it). That is no copy of the tool: the run goes on, and says why.
TEST(Entry, AMutexAStandardUserMadeDoesNotStopTheRun) {
  for (const bool system : {false, true}) {
    sim::SimMachine m;
    test::SetUpWow64Notebook(m, Script(3));
    m.HoldMutex(L"drv.EXE", false, true);
    m.localSystem = system;
    EXPECT_EQ(sim::RunTool(m), kExitRan);
    EXPECT_EQ(m.redirectionDisables, 3) << "as LocalSystem: " << system;
    EXPECT_TRUE(test::HasLine(
        m,
        L"drv:The mutex drv.EXE was made by a user who is no administrator: it is no copy of this tool, which runs"));
    EXPECT_FALSE(test::HasLine(m, L"drv:Error to avoid execute doubly"));
  }
}

// Cut to 259 characters, the path would name another setup script (or
// none): the tool reads none and says why.
TEST(Entry, AToolPathTooLongToNameItsScriptRunsNothing) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, Script(3));
  const std::wstring folder = L"C:\\" + std::wstring(250, L'd');
  m.modulePath = folder + L"\\drv.EXE";  // 261 characters
  m.files.WriteFile(folder + L"\\drv.ini", std::string_view("[INIT]\nCMD1=REG_FILE\n"));
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(m.redirectionDisables, 0);
  EXPECT_TRUE(m.started.empty());
  EXPECT_EQ(test::TraceLines(m),
            (std::vector<std::wstring>{L"drv:The tool's path is longer than 259 characters: no setup script is read"}));
}

// Whoever may change the package may change what the elevated run does: the
// tool says so once at its start, naming what they may change, and runs on.
TEST(Entry, APackageThatUsersMayChangeIsNamedAtTheStart) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, Script(3));
  sim::PlaceCompanion(m);
  m.changeableByUsers = {L"C:\\Tools\\Net Setup", L"C:\\Tools\\Net Setup\\drv.ini", L"C:\\Tools\\Net Setup\\drv64.exe"};
  sim::RunTool(m);
  EXPECT_EQ(
      test::TraceLines(m).at(1),
      L"drv:Warning: users who are no administrators can change C:\\Tools\\Net Setup, "
      L"C:\\Tools\\Net Setup\\drv.ini, C:\\Tools\\Net Setup\\drv64.exe: any of them can change what this run does");
  EXPECT_EQ(m.redirectionDisables, 3);

  sim::SimMachine locked;
  test::SetUpWow64Notebook(locked, Script(3));
  sim::RunTool(locked);
  for (const auto& line : test::TraceLines(locked))
    EXPECT_EQ(line.find(L"Warning:"), std::wstring::npos) << ToUtf8(line);
}

TEST(Entry, TheMutexIsHeldWhileTheCommandsRun) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=CHECK_VENDOR\n");
  m.product[L"Vendor"] = L"OTHER";
  bool heldAtTheCommand = false;
  m.onDebugWrite = [&](std::wstring_view text) {
    if (text.find(L"Error check Vendor") != std::wstring_view::npos) heldAtTheCommand = m.mutexHeld(L"drv.EXE");
  };
  sim::RunTool(m);
  EXPECT_TRUE(test::HasLine(m, L"drv:Error check Vendor OTHER"));
  EXPECT_TRUE(heldAtTheCommand);
}

TEST(Entry, ExitCodeZeroOnlyWithoutWindowOrKernel32) {
  sim::SimMachine noWindow;
  test::SetUpNotebook(noWindow, Script(1));
  noWindow.faults.Fail("CreateWindowEx", err::kNotEnoughMemory);
  EXPECT_EQ(sim::RunTool(noWindow), kExitNoRun);
  EXPECT_TRUE(test::TraceLines(noWindow).empty());

  sim::SimMachine noKernel;
  test::SetUpWow64Notebook(noKernel, Script(1));
  noKernel.faults.Fail("LoadLibrary", err::kModNotFound, L"Kernel32.dll");
  EXPECT_EQ(sim::RunTool(noKernel), kExitNoRun);
  EXPECT_EQ(noKernel.redirectionDisables, 0);
  EXPECT_EQ(test::TraceLines(noKernel), (std::vector<std::wstring>{L"drv:Not found Kernel32.dll"}));

  sim::SimMachine stopped;
  test::SetUpNotebook(stopped, "[INIT]\nCMD1=CHECK_VENDOR\n");
  stopped.product[L"Vendor"] = L"OTHER";
  EXPECT_EQ(sim::RunTool(stopped), kExitRan);
}

TEST(Entry, EveryDebugTraceAnnouncesItselfOnce) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\n");
  sim::RunTool(m);
  int announcements = 0;
  for (const auto& line : test::Lines(m)) announcements += line == L"drv:Debug mode is enabled." ? 1 : 0;
  // The process-wide trace; the modem controller's five (its own, its base's, its lookup's,
  // its action object's and that object's lookup's); two for each wireless controller; two
  // for the action object.
  EXPECT_EQ(announcements, 12);
}

TEST(Entry, OneWmiEnumerationServesTheWholeRun) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=CHECK_VENDOR\n");
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(m.wmiEnumerations, 1);
  EXPECT_TRUE(test::HasLine(m, L"drv:Version=ABCDEFGH Region=F"));

  // Without the cache each of the sixteen run contexts would ask twice.
  sim::SimMachine uncached;
  test::SetUpNotebook(uncached);
  const Platform raw = uncached.platform();
  CTool tool(raw);
  EXPECT_EQ(uncached.wmiEnumerations, 32);

  // A failed enumeration is not retried by later run contexts: all agree it failed.
  sim::SimMachine failing;
  test::SetUpNotebook(failing, "[INIT]\nCMD1=CHECK_VENDOR\n");
  failing.faults.Fail("EnumNext", err::kWbemTimedOut);
  sim::RunTool(failing);
  EXPECT_EQ(failing.wmiEnumerations, 1);
  EXPECT_TRUE(test::HasLine(failing, L"drv:Error check Vendor "));
}

// Each run context asks for the short form of the tool's folder; one search serves them all.
TEST(Entry, TheToolsFolderIsShortenedOnceARun) {
  const auto askings = [](sim::SimMachine& m) {
    return std::count_if(m.faults.calls.begin(), m.faults.calls.end(),
                         [](const auto& c) { return c.operation == "GetShortPathName"; });
  };
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=CHECK_VENDOR\n");
  m.faults.recording = true;
  EXPECT_EQ(sim::RunTool(m), kExitRan);
  EXPECT_EQ(askings(m), 1);

  // Without the cache each of the sixteen run contexts would search.
  sim::SimMachine uncached;
  test::SetUpNotebook(uncached);
  uncached.faults.recording = true;
  const Platform raw = uncached.platform();
  CTool tool(raw);
  EXPECT_EQ(askings(uncached), 16);

  // A failed search is not kept: the run context that met it goes without,
  // the next one searches again and has the short form.
  sim::SimMachine failing;
  test::SetUpNotebook(failing);
  failing.faults.recording = true;
  failing.faults.Fail("GetShortPathName", err::kAccessDenied);
  const CProcessPlatform process(failing.platform());
  CTool once(process.get());
  EXPECT_EQ(askings(failing), 2);
  EXPECT_TRUE(once.objects().runContext.shortModuleDirectory.empty());
  EXPECT_FALSE(once.objects().trace.context().shortModuleDirectory.empty());
}

}  // namespace
}  // namespace tv
