// Driver selection from one INF as Windows makes it: the models section for
// the machine's Windows, the line that fits the device, the rank against the
// driver in place; and what the tool's update and rescan then show.
#include <gtest/gtest.h>

#include "platform/sim/ansi.h"
#include "platform/sim/driver_select.h"
#include "sim/change_report.h"
#include "sim/run_summary.h"
#include "test_machine.h"

namespace tv::sim {
namespace {

// A package as a maker writes one: several models sections by decoration, a
// compatible-ID line, [Strings] with a German section, a continuation line.
constexpr std::wstring_view kPackage =
    L"; PV715 modem\r\n"
    L"[Version]\r\n"
    L"Signature = \"$WINDOWS NT$\"\r\n"
    L"Class=Modem\r\n"
    L"Provider=%Maker%\r\n"
    L"CatalogFile.NTx86=pv32.cat\r\n"
    L"CatalogFile.NTamd64=pv64.cat\r\n"
    L"DriverVer=03/14/2008,5.10.0.22\r\n"
    L"[Manufacturer]\r\n"
    L"%Maker% = Modems, NTx86, NTx86.6.0, NTamd64.6.0, NTamd64.10.0\r\n"
    L"[Modems]\r\n"
    L"%Old%=Old_Install,PCI\\VEN_11C1&DEV_048C\r\n"
    L"[Modems.NTx86]\r\n"
    L"%Xp%=Xp_Install,PCI\\VEN_11C1&DEV_048C\r\n"
    L"[Modems.NTx86.6.0]\r\n"
    L"%Vista%=Vista_Install,PCI\\VEN_11C1&DEV_048C, \\ ; the generic class as well\r\n"
    L"    PCI\\CC_070300\r\n"
    L"[Modems.NTamd64.6.0]\r\n"
    L"%Vista64%=Vista_Install,PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179\r\n"
    L"[Modems.NTamd64.10.0]\r\n"
    L"%Win10%=Win10_Install,PCI\\VEN_11C1&DEV_048C\r\n"
    L"[Vista_Install.NTamd64]\r\n"
    L"[Strings]\r\n"
    L"Maker=VELTARO\r\n"
    L"Old=\"Modem for 2000\"\r\n"
    L"Xp=\"Modem for XP\"\r\n"
    L"Vista=\"Modem for Vista\"\r\n"
    L"Vista64=\"Modem for Vista 64\"\r\n"
    L"Win10=\"Modem for 10\"\r\n"
    L"[Strings.0407]\r\n"
    L"Xp=\"Modem f\u00FCr XP\"\r\n";

const std::vector<std::wstring> kModemIds = {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179", L"PCI\\VEN_11C1&DEV_048C"};

TEST(DriverSelection, TheModelsSectionAndLineThatWindowsChooses) {
  const auto inf = ParseInf(kPackage);
  ASSERT_TRUE(inf);
  struct Case {
    DriverTarget target;
    std::uint16_t language;
    std::vector<std::wstring> hardware;
    std::vector<std::wstring> compatible;
    const wchar_t* section;  // nullptr: no driver
    const wchar_t* description;
    const wchar_t* matching;
    std::uint32_t rank;
    DriverMiss miss;
  };
  const std::vector<Case> cases = {
      // Windows 2000 knows no decorations.
      {{5, 0, false},
       0x409,
       kModemIds,
       {},
       L"Modems",
       L"Modem for 2000",
       L"PCI\\VEN_11C1&DEV_048C",
       1,
       DriverMiss::kNone},
      {{5, 1, false},
       0x409,
       kModemIds,
       {},
       L"Modems.NTx86",
       L"Modem for XP",
       L"PCI\\VEN_11C1&DEV_048C",
       1,
       DriverMiss::kNone},
      // [Strings.0407] on a German Windows.
      {{5, 1, false},
       0x407,
       kModemIds,
       {},
       L"Modems.NTx86",
       L"Modem f\u00FCr XP",
       L"PCI\\VEN_11C1&DEV_048C",
       1,
       DriverMiss::kNone},
      // Vista takes the later decoration; the continuation line gives the
      // line its compatible ID, which a device with only that ID fits.
      {{6, 0, false},
       0x409,
       kModemIds,
       {},
       L"Modems.NTx86.6.0",
       L"Modem for Vista",
       L"PCI\\VEN_11C1&DEV_048C",
       1,
       DriverMiss::kNone},
      {{6, 1, false},
       0x409,
       {L"PCI\\VEN_AAAA&DEV_0001"},
       {L"PCI\\CC_070300"},
       L"Modems.NTx86.6.0",
       L"Modem for Vista",
       L"PCI\\CC_070300",
       0x3000,
       DriverMiss::kNone},
      {{6, 0, true},
       0x409,
       kModemIds,
       {},
       L"Modems.NTamd64.6.0",
       L"Modem for Vista 64",
       L"PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179",
       0,
       DriverMiss::kNone},
      {{10, 0, true},
       0x409,
       kModemIds,
       {},
       L"Modems.NTamd64.10.0",
       L"Modem for 10",
       L"PCI\\VEN_11C1&DEV_048C",
       1,
       DriverMiss::kNone},
      // 64-bit XP: no decoration fits, and 64-bit Windows never reads the undecorated section.
      {{5, 2, true}, 0x409, kModemIds, {}, nullptr, nullptr, nullptr, 0, DriverMiss::kNoModelsForPlatform},
      // A device none of whose IDs a line carries.
      {{5, 1, false},
       0x409,
       {L"PCI\\VEN_14F1&DEV_2F20"},
       {},
       nullptr,
       nullptr,
       nullptr,
       0,
       DriverMiss::kNoLineForDevice},
  };
  for (const auto& c : cases) {
    InfDirectories dirs;
    dirs.language = c.language;
    const auto found = FindDriver(*inf, dirs, c.target, c.hardware, c.compatible, true);
    const std::string what = ToUtf8(TargetName(c.target)) + " " + ToUtf8(c.hardware.front());
    EXPECT_EQ(found.miss, c.miss) << what << ": " << ToUtf8(found.why);
    if (c.section == nullptr) {
      EXPECT_FALSE(found.best) << what;
      EXPECT_FALSE(found.why.empty()) << what;
      continue;
    }
    ASSERT_TRUE(found.best) << what << ": " << ToUtf8(found.why);
    EXPECT_EQ(found.best->modelsSection, c.section) << what;
    EXPECT_EQ(found.best->description, c.description) << what;
    EXPECT_EQ(found.best->matchingId, c.matching) << what;
    EXPECT_EQ(found.best->rank, c.rank) << what;
    EXPECT_EQ(found.best->driverVer.date, 20080314U);
  }
  // The install section with the platform extension Windows reads first.
  InfDirectories dirs;
  EXPECT_EQ(FindDriver(*inf, dirs, {6, 0, true}, kModemIds, {}, true).best->actualInstall, L"Vista_Install.NTamd64");
  EXPECT_EQ(FindDriver(*inf, dirs, {6, 0, false}, kModemIds, {}, true).best->actualInstall, L"Vista_Install");
  EXPECT_EQ(CatalogFileName(*inf, dirs, {6, 0, true}), L"pv64.cat");
  EXPECT_EQ(CatalogFileName(*inf, dirs, {5, 1, false}), L"pv32.cat");
  // The reason names what the INF offers.
  const auto none = FindDriver(*inf, dirs, {5, 2, true}, kModemIds, {}, true);
  EXPECT_NE(none.why.find(L"[Modems.NTamd64.6.0]"), std::wstring::npos) << ToUtf8(none.why);
}

TEST(DriverSelection, RankSignatureThenFitThenDateThenVersion) {
  DriverNode a;
  a.rank = 0x0001;
  a.driverVer = {20080101, {1, 0, 0, 0}};
  DriverNode b = a;
  b.rank = 0x2000;  // a compatible-ID fit
  EXPECT_TRUE(RanksBetter(a, b));
  b.rank = a.rank + kRankUnsigned;
  b.driverVer.date = 20200101;  // newer, but unsigned
  EXPECT_TRUE(RanksBetter(a, b));
  b = a;
  b.driverVer.date = 20090101;
  EXPECT_TRUE(RanksBetter(b, a));
  b = a;
  b.driverVer.version = {1, 0, 0, 1};
  EXPECT_TRUE(RanksBetter(b, a));
  EXPECT_FALSE(RanksBetter(a, a));  // equal: not better
  EXPECT_EQ(IdRank(L"pci\\ven_11c1&dev_048c", kModemIds, {}), 1U);
  EXPECT_EQ(IdRank(L"PCI\\CC_0703", kModemIds, {L"PCI\\CC_070300", L"PCI\\CC_0703"}), 0x2001U);
  EXPECT_FALSE(IdRank(L"PCI\\OTHER", kModemIds, {}));
  EXPECT_EQ(ParseDriverVer(L"6/1/2009, 1.2.3.4")->version, (std::array<std::uint32_t, 4>{1, 2, 3, 4}));
  EXPECT_FALSE(ParseDriverVer(L"2009-06-01"));
  // Leading zeros are decimal, as in "08/15/2010".
  EXPECT_EQ(ParseDriverVer(L"08/09/2010,1.08.0.09")->date, 20100809U);
  EXPECT_EQ(ParseDriverVer(L"08/09/2010,1.08.0.09")->version, (std::array<std::uint32_t, 4>{1, 8, 0, 9}));
}

TEST(DriverSelection, SourceFilesThroughTheDiskSectionsOfThePlatform) {
  const auto inf = ParseInf(
      L"[Version]\nSignature=$Chicago$\n"
      L"[Inst]\nCopyFiles=Sys,@pvmdm.dll\n"
      L"[Sys]\npvmdm.sys\nrenamed.sys,pvorig.sys\n"
      L"[SourceDisksNames]\n1=%Disk%,,,\\x86\n"
      L"[SourceDisksNames.amd64]\n1=%Disk%,,,\\x64\n"
      L"[SourceDisksFiles]\npvmdm.sys=1,drivers\npvmdm.dll=1\n"
      L"[SourceDisksFiles.amd64]\npvmdm.sys=1\npvmdm.dll=1\n");
  ASSERT_TRUE(inf);
  InfDirectories dirs;
  EXPECT_EQ(SourceFiles(*inf, dirs, {5, 1, false}, L"Inst"),
            (std::vector<std::wstring>{L"x86\\drivers\\pvmdm.sys", L"pvorig.sys", L"x86\\pvmdm.dll"}));
  EXPECT_EQ(SourceFiles(*inf, dirs, {6, 1, true}, L"Inst"),
            (std::vector<std::wstring>{L"x64\\pvmdm.sys", L"pvorig.sys", L"x64\\pvmdm.dll"}));
}

// ---- through the tool ----

constexpr std::wstring_view kModemClass = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kPkg = L"C:\\Tools\\Net Setup\\";

void Notebook(SimMachine& m, const std::string& inf, const std::string& extra = "") {
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_XP]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "DEVINF1=modem.inf\n" +
                          extra);
  m.files.CreateDirectories(L"C:\\Program Files");
  m.files.WriteFile(std::wstring(kPkg) + L"modem.inf", inf);
  m.files.WriteFile(std::wstring(kPkg) + L"pkg.cat", std::string_view("catalog"));
  m.AddDevice(kModemClass, L"PCI", kModemIds);
}

std::string Report(SimMachine& m, const MachineSnapshot& before) {
  return ReportText(CompareWithMachine(before, m, 0));
}

TEST(DriverSelection, EachRefusalShowsInTheTraceAndTheReport) {
  const std::string good = test::DriverInf("PCI\\VEN_11C1&DEV_048C");
  struct Case {
    const char* name;
    std::string inf;
    const wchar_t* code;   // in the update's failure line
    const char* reported;  // in the report's driver selection
  };
  std::string onlyX86 = good;
  onlyX86.replace(onlyX86.find("Models,NTx86,NTamd64"), 20, "Models,NTamd64");
  onlyX86.replace(onlyX86.find("[Models]"), 8, "[Unused]");
  std::string otherId = test::DriverInf("PCI\\VEN_14F1&DEV_2F20");
  std::string badSignature = good;
  badSignature.replace(badSignature.find("$Windows NT$"), 12, "$Windows 2000$");
  std::string unclosed = good;
  unclosed.replace(unclosed.find("[Strings]"), 9, "[Strings");
  const std::vector<Case> cases = {
      {"no models section for XP", onlyX86, L"ERROR=0xE000020B", "no models section for Windows XP 32-bit"},
      {"no line with the ID", otherId, L"ERROR=0xE000020B", "carries one of the device's IDs"},
      {"a signature Windows does not know", badSignature, L"ERROR=0xE000020B", "(0xE0000100)"},
      {"a section name without its bracket", unclosed, L"ERROR=0xE000020B", "(0xE0000001) at line"},
  };
  for (const auto& c : cases) {
    SimMachine m;
    Notebook(m, c.inf);
    const auto before = TakeSnapshot(m);
    RunTool(m);
    EXPECT_TRUE(m.driverUpdates.empty()) << c.name;
    EXPECT_TRUE(test::HasLine(m, L"drv:Error UpdateDriverForPlugAndPlayDevices")) << c.name;
    EXPECT_TRUE(test::HasLine(m,
                              L"drv:UpdateDriverForPlugAndPlayDevices:Error PCI\\VEN_11C1&DEV_048C ,C:\\Program "
                              L"Files\\VELTARO\\NetworkDriver\\modem.inf " +
                                  std::wstring(c.code)))
        << c.name << "\n"
        << ToUtf8(m.DebugText());
    const std::string report = Report(m, before);
    EXPECT_NE(report.find(c.reported), std::string::npos) << c.name << "\n" << report;
    EXPECT_FALSE(m.devices[0].driver) << c.name;
  }
}

TEST(DriverSelection, WhatThePackageLacksStopsTheUpdateAtWindowsDialog) {
  std::string copies = test::DriverInf("PCI\\VEN_11C1&DEV_048C");
  copies.replace(copies.find("[Install]\r\n"), 11, "[Install]\r\nCopyFiles=@pvmdm.sys\r\n");
  for (const bool catalogMissing : {false, true}) {
    SimMachine m;
    Notebook(m, copies);
    if (catalogMissing) {
      m.files.WriteFile(std::wstring(kPkg) + L"pvmdm.sys", std::string_view("driver"));
      m.files.RemoveFile(std::wstring(kPkg) + L"pkg.cat");
    }
    // Answered (a test machine), the dialog's Cancel fails the update.
    RunTool(m);
    EXPECT_TRUE(test::HasLine(m,
                              L"drv:UpdateDriverForPlugAndPlayDevices:Error PCI\\VEN_11C1&DEV_048C ,C:\\Program "
                              L"Files\\VELTARO\\NetworkDriver\\modem.inf ERROR=0x000004C7"))
        << ToUtf8(m.DebugText());
    EXPECT_EQ(m.hungWaits, 1);
    // Unattended, the run waits on it for good.
    SimMachine unattended;
    Notebook(unattended, copies);
    if (catalogMissing) {
      unattended.files.WriteFile(std::wstring(kPkg) + L"pvmdm.sys", std::string_view("driver"));
      unattended.files.RemoveFile(std::wstring(kPkg) + L"pkg.cat");
    }
    int exitCode = 0;
    const RunSummary summary = RunWithSummary(unattended, exitCode);
    EXPECT_EQ(exitCode, kToolNeverExits);
    const std::string text = SummaryText(summary);
    EXPECT_NE(text.find(catalogMissing ? "warns of an unsigned driver" : "asks for the driver files pvmdm.sys"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("which no one answers in an unattended run"), std::string::npos) << text;
  }
}

TEST(DriverSelection, AForcedUpdateReplacesABetterDriverAndTheReportWarns) {
  SimMachine m;
  Notebook(m, test::DriverInf("PCI\\VEN_11C1&DEV_048C", "06/01/2009,1.2.3.4"));
  m.devices[0].driver = SimMachine::SimDevice::Driver{
      L"oem3.inf", 20110501, {5, 1, 0, 0}, L"PCI\\VEN_11C1&DEV_048C", true, L"Newer modem"};
  const auto before = TakeSnapshot(m);
  RunTool(m);
  ASSERT_EQ(m.driverUpdates.size(), 1U) << m.ToString();
  EXPECT_EQ(m.devices[0].driver->date, 20090601U);  // the older driver is in
  const std::string report = Report(m, before);
  EXPECT_NE(report.find("WARNING"), std::string::npos) << report;
  EXPECT_NE(report.find("ranks as well or better"), std::string::npos) << report;
  // What Windows keeps of the driver, as a capture reads it back.
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + m.devices[0].driverKey;
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, key, L"MatchingDeviceId"));
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, key, L"InfPath"));
}

TEST(DriverSelection, ARescanKeepsABetterDriverAndInstallsAWorseOnesSuccessor) {
  for (const bool installedIsNewer : {true, false}) {
    SimMachine m;
    test::SetUpNotebook(m,
                        "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_XP]\nINFCOPY=1\nINF1=modem.inf\n"
                        "REFRESH=1\n");
    m.files.CreateDirectories(L"C:\\Program Files");
    test::WriteDriverPackage(m, std::wstring(kPkg) + L"modem.inf", "PCI\\VEN_11C1&DEV_048C");
    const auto modem = m.AddDevice(kModemClass, L"PCI", kModemIds);
    m.devices[modem].installedInf = L"oem1.inf";
    m.devices[modem].driver = SimMachine::SimDevice::Driver{
        L"oem1.inf", installedIsNewer ? 20200101U : 20000101U, {1, 0, 0, 0}, L"PCI\\VEN_11C1&DEV_048C", true, L""};
    RunTool(m);
    EXPECT_EQ(m.reenumerations, 1);
    EXPECT_EQ(m.devices[modem].installedInf, installedIsNewer ? L"oem1.inf" : L"oem0.inf") << m.ToString();
  }
}

TEST(DriverSelection, AUtf16InfIsReadAsSetupApiReadsIt) {
  const std::string wide = "\xFF\xFE" + EncodeUtf16Le(FromUtf8(test::DriverInf("PCI\\VEN_11C1&DEV_048C")));
  SimMachine m;
  Notebook(m, wide);
  RunTool(m);
  EXPECT_EQ(m.driverUpdates.size(), 1U) << m.ToString();
  ASSERT_TRUE(m.devices[0].driver);
  EXPECT_EQ(m.devices[0].driver->description, L"Test device");
}

}  // namespace
}  // namespace tv::sim

namespace tv::sim {
namespace {

// SetupCopyOEMInf opens the INF before it copies it: one that SetupAPI
// refuses stops the staging there, as under Wine.
TEST(DriverSelection, StagingStopsAtAnInfSetupApiCannotOpen) {
  for (const bool badFirst : {true, false}) {
    SimMachine m;
    test::SetUpNotebook(m, std::string("[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_XP]\nINFCOPY=2\nINF1=") +
                               (badFirst ? "bad.inf\nINF2=good.inf\n" : "good.inf\nINF2=bad.inf\n"));
    m.files.CreateDirectories(L"C:\\Program Files");
    m.files.WriteFile(L"C:\\Tools\\Net Setup\\bad.inf",
                      std::string_view("[Version]\r\nSignature=\"$Windows 2000$\"\r\n"));
    m.files.WriteFile(L"C:\\Tools\\Net Setup\\good.inf",
                      std::string_view("[Version]\r\nSignature=\"$Windows NT$\"\r\n"));
    RunTool(m);
    EXPECT_EQ(m.stagedInfs.size(), badFirst ? 0U : 1U) << m.ToString();
  }
}

}  // namespace
}  // namespace tv::sim
