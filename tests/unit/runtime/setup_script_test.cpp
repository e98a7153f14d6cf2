#include <gtest/gtest.h>

#include "platform/product_cache.h"
#include "platform/sim/ansi.h"
#include "runtime/debug_trace.h"
#include "runtime/setup_script.h"
#include "test_machine.h"

namespace tv {
namespace {

TEST(SetupScript, CountsAndPausesAreHeldAtTheirBounds) {
  // The reader answers an unsigned 32-bit number: 99999999999 wraps to
  // 1215752191, as the reader of Windows wraps it.
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[S]\nHUGE=0x7fffffff\nWRAPS=99999999999\nNEGATIVE=-1\nMOST=100000\nMORE=100001\n"
                      "LONG=99999999999\nLONGEST=600000\n");
  const CProcessPlatform process(m.platform());
  const CDebugTrace trace(process.get());
  IProfile& profile = process.get().profile;
  const std::wstring script(test::kScriptPath);
  auto count = [&](const wchar_t* key) { return ReadScriptCount(profile, script, L"S", key, trace); };
  auto pause = [&](const wchar_t* key) { return ReadScriptPause(profile, script, L"S", key, trace); };
  EXPECT_EQ(count(L"HUGE"), kMostListEntries);
  EXPECT_EQ(count(L"WRAPS"), kMostListEntries);
  EXPECT_EQ(count(L"NEGATIVE"), 0U);
  EXPECT_EQ(count(L"MOST"), 100000U);
  EXPECT_EQ(count(L"MORE"), 100000U);
  EXPECT_EQ(count(L"MISSING"), 0U);
  EXPECT_EQ(pause(L"LONG"), kLongestPause);
  EXPECT_EQ(pause(L"LONGEST"), 600000U);
  EXPECT_EQ(pause(L"NEGATIVE"), 0U);
  EXPECT_TRUE(test::HasLine(m, L"drv:HUGE=2147483647 in [S] is more than 100000: 100000 are read"));
  EXPECT_TRUE(test::HasLine(m, L"drv:WRAPS=1215752191 in [S] is more than 100000: 100000 are read"));
  EXPECT_TRUE(test::HasLine(m, L"drv:MORE=100001 in [S] is more than 100000: 100000 are read"));
  EXPECT_FALSE(test::HasLine(m, L"drv:MOST=100000 in [S] is more than 100000: 100000 are read"));
  EXPECT_TRUE(test::HasLine(m, L"drv:LONG=1215752191 in [S] is more than 600000 ms: the pause is 600000 ms"));
}

TEST(SetupScript, AHugeCountEndsAtTheBoundInAWholeRun) {
  // ADDREG=0x7fffffff grew the INF text without end; now it holds the bound's
  // lines, and a 14-day pause is ten minutes.
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Reg\nCMD2=CMD_CP\nCMD2_SECTION=Cp\n"
                      "[Reg]\nADDREG=0x7fffffff\n[Cp]\nCMD=1\nCMD1=drv.ini\nCMD_ASYNCFLAG=1\nCMD_SLEEP=99999999999\n",
                      false);
  m.keepDebugEvents = false;
  sim::RunTool(m);
  ASSERT_EQ(m.infsInstalled.size(), 1U);
  const std::wstring inf = sim::DecodeUtf16Le(std::span(m.infsInstalled[0]).subspan(2));
  std::size_t lines = 0;
  for (std::size_t at = inf.find(L", \"\",\"\",, \r\n"); at != std::wstring::npos;
       at = inf.find(L", \"\",\"\",, \r\n", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, kMostListEntries);
  EXPECT_EQ(m.pauses, std::vector<std::uint32_t>{kLongestPause});
}

}  // namespace
}  // namespace tv
