#include <gtest/gtest.h>

#include "runtime/debug_trace.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kKey = L"SOFTWARE\\VELTARO\\Quillmark";

TEST(DebugTrace, OnlyExactlyOneInAtMostFourBytesTurnsTheSwitchOn) {
  struct Case {
    const char* name;
    RegValue value;
    bool on;
  };
  const Case cases[] = {
      {"dword 1", {reg::kTypeDword, {1, 0, 0, 0}}, true},
      {"dword 2", {reg::kTypeDword, {2, 0, 0, 0}}, false},
      {"binary 1 in one byte", {reg::kTypeBinary, {1}}, true},
      {"string \"1\"", {reg::kTypeSz, {'1', 0, 0, 0}}, false},
      {"qword 1", {reg::kTypeQword, {1, 0, 0, 0, 0, 0, 0, 0}}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine m;
    test::SetUpNotebook(m, "", false);
    m.registry.SetValue(RegRoot::kLocalMachine, kKey, L"DebugMode", c.value);
    const CDebugTrace trace(m.platform());
    EXPECT_EQ(trace.debugOn(), c.on);
    trace.Trace(L"probe %d", 1);
    EXPECT_EQ(test::HasLine(m, L"drv:probe 1"), c.on);
    EXPECT_EQ(m.registry.OpenKeyCount(), 0);
  }
}

TEST(DebugTrace, WithoutTheKeyNothingIsWritten) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "", false);
  m.registry.SetDword(RegRoot::kLocalMachine, kKey, L"TestMode", 1);
  const CDebugTrace trace(m.platform());
  trace.Trace(L"anything");
  EXPECT_TRUE(m.debugEvents().empty());
  EXPECT_TRUE(trace.testOn());

  sim::SimMachine noKey;
  test::SetUpNotebook(noKey, "", false);
  const CDebugTrace quiet(noKey.platform());
  quiet.Trace(L"anything");
  EXPECT_TRUE(noKey.debugEvents().empty());
  EXPECT_FALSE(quiet.testOn());
}

TEST(DebugTrace, AnnouncementThenFourPiecesPerLine) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.registry.SetDword(RegRoot::kLocalMachine, kKey, L"TestMode", 1);
  const CDebugTrace trace(m.platform());
  trace.Trace(L"TerminateProcess:%s\n", L"app.exe");
  std::vector<std::wstring> writes;
  for (const auto& e : m.debugEvents()) writes.push_back(e.text);
  EXPECT_EQ(writes,
            (std::vector<std::wstring>{L"drv:Debug mode is enabled.\n", L"drv", L":", L"Test mode is enabled.\n",
                                       L"\r\n", L"drv", L":", L"TerminateProcess:app.exe\n", L"\r\n"}));
}

TEST(DebugTrace, MessageIsCutTo511Characters) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  const CDebugTrace trace(m.platform());
  trace.Trace(L"%s", std::wstring(600, L'm'));
  ASSERT_GE(m.debugEvents().size(), 2U);
  const auto& events = m.debugEvents();
  EXPECT_EQ(events[events.size() - 2].text, std::wstring(511, L'm'));
  EXPECT_EQ(events.back().text, L"\r\n");
}

TEST(DebugTrace, SwitchReadFailuresLeaveItOff) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.faults.Fail("RegOpenKeyEx", err::kAccessDenied, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VELTARO\\Quillmark");
  EXPECT_FALSE(CDebugTrace(m.platform()).debugOn());
  m.faults.Fail("RegQueryValueEx", err::kAccessDenied);
  EXPECT_FALSE(CDebugTrace(m.platform()).debugOn());
  EXPECT_TRUE(CDebugTrace(m.platform()).debugOn());
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);
}

TEST(DebugTrace, Wow64ReadsTheSwitchFromThe32BitView) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "", false);
  m.wow64 = true;
  m.registry.SetDword(RegRoot::kLocalMachine, kKey, L"DebugMode", 1);  // the 64-bit view only
  EXPECT_FALSE(CDebugTrace(m.platform()).debugOn());
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\VELTARO\\Quillmark", L"DebugMode", 1);
  EXPECT_TRUE(CDebugTrace(m.platform()).debugOn());
}

}  // namespace
}  // namespace tv
