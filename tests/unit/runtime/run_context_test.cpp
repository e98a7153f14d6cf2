#include <gtest/gtest.h>

#include "runtime/run_context.h"
#include "test_machine.h"

namespace tv {
namespace {

TEST(RunContext, PathsFromAModulePathWithBlanksAndAnUpperCaseExtension) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.commandLine = L"\"C:\\Tools\\Net Setup\\drv.EXE\" /s";
  const CRunContext rc(m.platform());
  EXPECT_EQ(rc.modulePath, L"C:\\Tools\\Net Setup\\drv.EXE");
  EXPECT_EQ(rc.exeFileName, L"drv.EXE");
  EXPECT_EQ(rc.baseName, L"drv");
  EXPECT_EQ(rc.moduleDirectory, L"C:\\Tools\\Net Setup");
  EXPECT_EQ(rc.shortModuleDirectory, L"C:\\Tools\\NETSET~1");
  EXPECT_EQ(rc.setupScriptPath, L"C:\\Tools\\Net Setup\\drv.ini");
  EXPECT_EQ(rc.registryFilePath, L"C:\\Tools\\Net Setup\\drv.reg");
  EXPECT_EQ(rc.arguments, L"/s");
  EXPECT_EQ(rc.version, L"ABCDEFGH");
  EXPECT_EQ(rc.vendor, L"VELTARO");
  EXPECT_EQ(rc.RegionCode(), L"F");
  EXPECT_EQ(rc.osClass, os_class::kXp);
  EXPECT_EQ(rc.uiLanguage, 0x0411);
}

TEST(RunContext, FailuresLeaveTheirFieldsEmpty) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.product[L"Version"] = L"ABC";
  m.product[L"Vendor"] = std::nullopt;  // the instance has no Vendor value
  m.faults.Fail("GetShortPathName", err::kAccessDenied);
  m.faults.Fail("GetVersionEx", err::kInvalidParameter);
  const CRunContext rc(m.platform());
  EXPECT_EQ(rc.version, L"ABC");
  EXPECT_EQ(rc.RegionCode(), L"");
  EXPECT_EQ(rc.vendor, L"");
  EXPECT_EQ(rc.shortModuleDirectory, L"");
  EXPECT_EQ(rc.osClass, 0U);
}

TEST(RunContext, WmiFailingAtAnyStepLeavesVersionAndVendorEmpty) {
  for (const char* step :
       {"CoCreateInstance", "ConnectServer", "CoSetProxyBlanket", "CreateInstanceEnum", "EnumNext"}) {
    SCOPED_TRACE(step);
    sim::SimMachine m;
    test::SetUpNotebook(m);
    m.faults.Fail(step, step == std::string("EnumNext") ? err::kWbemTimedOut : err::kWbemFailed, {}, -1);
    CRunContext rc(m.platform());
    EXPECT_EQ(rc.version, L"");
    EXPECT_EQ(rc.vendor, L"");
    EXPECT_EQ(rc.QueryProductValue(L"Version", nullptr), 0);
  }
  sim::SimMachine none;
  test::SetUpNotebook(none);
  none.productInstance = false;
  EXPECT_EQ(CRunContext(none.platform()).vendor, L"");
}

TEST(RunContext, ValueWhoseAnsiFormExceeds259BytesIsNotTaken) {
  sim::SimMachine m;
  test::SetUpNotebook(m);
  m.ansiCodePage = 932;
  m.product[L"Version"] = std::wstring(130, L'\x30E2');  // 130 characters, 260 bytes in Shift-JIS
  m.product[L"Vendor"] = std::wstring(259, L'V');
  const CRunContext rc(m.platform());
  EXPECT_EQ(rc.version, L"");
  EXPECT_EQ(rc.vendor, std::wstring(259, L'V'));
}

TEST(RunContext, OsClassesByPlatformAndVersion) {
  struct Case {
    OsVersionRecord v;
    std::uint32_t cls;
  };
  const Case cases[] = {
      {{0, 3, 1, 0}, os_class::kWin32s},     {{1, 4, 0, 0}, os_class::kWin95},   {{1, 4, 10, 0}, os_class::kWin98},
      {{1, 4, 90, 0}, os_class::kWinMe},     {{1, 4, 3, 0}, os_class::kOther},   {{2, 4, 0, 0}, os_class::kNt4},
      {{2, 3, 51, 0}, os_class::kNt4},       {{2, 5, 0, 0}, os_class::kWin2000}, {{2, 5, 1, 0}, os_class::kXp},
      {{2, 5, 2, 0}, os_class::kServer2003}, {{2, 5, 3, 0}, os_class::kOther},   {{2, 6, 0, 0}, os_class::kVista},
      {{2, 6, 1, 0}, os_class::kVista},      {{2, 10, 0, 0}, os_class::kOther},  {{3, 6, 0, 0}, os_class::kOther},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OsClassOf(c.v), c.cls) << c.v.platformId << ' ' << c.v.major << '.' << c.v.minor;
  }
}

}  // namespace
}  // namespace tv
