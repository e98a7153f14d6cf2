#include <gtest/gtest.h>

#include "actions/driver_install.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kModem = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kInstall = L"C:\\Program Files\\VELTARO\\NetworkDriver";

// A notebook whose driver package (the tool's folder) holds modem.inf and wlan.inf.
void SetUpPackage(sim::SimMachine& m, const std::string& section, std::string_view sectionName = "Drv_XP") {
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[" + std::string(sectionName) + "]\n" + section);
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\modem.inf", std::string_view("modem"));
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\wlan\\wlan.inf", std::string_view("wlan"));
  m.files.CreateDirectories(L"C:\\Program Files");
}

TEST(InstallDriver, UpdatesEachPresentListedDeviceAndStopsThere) {
  sim::SimMachine m;
  SetUpPackage(m,
               "DEV=3\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem.inf\nDEV2=USB\\ABSENT\nDEVINF2=x.inf\n"
               "DEV3=PCI\\VEN_8086&DEV_4229\nDEVINF3=wlan\\wlan.inf\nINFCOPY=1\nINF1=modem.inf\nREFRESH=1\n");
  m.files.WriteFile(std::wstring(kInstall) + L"\\stale.txt", std::string_view("old"));
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  sim::RunTool(m);
  ASSERT_EQ(m.driverUpdates.size(), 2U) << m.ToString();
  EXPECT_EQ(m.driverUpdates[0].inf, std::wstring(kInstall) + L"\\modem.inf");
  EXPECT_EQ(m.driverUpdates[1].inf, std::wstring(kInstall) + L"\\wlan\\wlan.inf");
  EXPECT_EQ(m.installWaits, 2);
  EXPECT_TRUE(m.stagedInfs.empty());  // staging and rescan are skipped after an update
  EXPECT_EQ(m.reenumerations, 0);
  EXPECT_FALSE(m.files.Exists(std::wstring(kInstall) + L"\\stale.txt"));  // the folder is rebuilt
  EXPECT_FALSE(m.files.Exists(std::wstring(kInstall) + L"\\drv.EXE"));
  EXPECT_TRUE(m.files.Exists(std::wstring(kInstall) + L"\\drv.ini"));
  EXPECT_TRUE(test::HasLine(m, L"drv:Install Driver Section=Drv_XP"));
  EXPECT_TRUE(test::HasLine(m,
                            L"drv:UpdateDriverForPlugAndPlayDevices PCI\\VEN_11C1&DEV_048C ,C:\\Program "
                            L"Files\\VELTARO\\NetworkDriver\\modem.inf"));
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{20000}));
}

TEST(InstallDriver, StagesAndRescansWhenNoListedDeviceIsPresent) {
  struct Case {
    const char* refresh;
    int reenumerations;
    int waits;
  };
  for (const Case& c : {Case{"REFRESH=1\n", 1, 1}, Case{"REFRESH=2\n", 0, 0}, Case{"", 0, 0}}) {
    sim::SimMachine m;
    SetUpPackage(
        m, std::string("DEV=1\nDEV1=PCI\\VEN_11C1\nINFCOPY=2\nINF1=modem.inf\nINF2=wlan\\wlan.inf\n") + c.refresh);
    sim::RunTool(m);
    EXPECT_EQ(m.stagedInfs, (std::vector<std::wstring>{L"oem0.inf", L"oem1.inf"})) << c.refresh;
    EXPECT_EQ(m.reenumerations, c.reenumerations) << c.refresh;
    EXPECT_EQ(m.installWaits, c.waits) << c.refresh;
    EXPECT_TRUE(m.driverUpdates.empty());
  }
}

TEST(InstallDriver, AStagedDriverIsInstalledAtTheRescan) {
  sim::SimMachine m;
  SetUpPackage(m, "DEV=1\nDEV1=PCI\\VEN_11C1\nINFCOPY=1\nINF1=modem.inf\nREFRESH=1\n");
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\modem.inf",
                    std::string_view("[Models]\r\n%Modem%=Install,PCI\\VEN_14F1&DEV_2F20\r\n"));
  const auto modem = m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_14F1&DEV_2F20&SUBSYS_1", L"PCI\\VEN_14F1&DEV_2F20"});
  sim::RunTool(m);
  EXPECT_EQ(m.reenumerations, 1);
  EXPECT_EQ(m.devices[modem].installedInf, L"oem0.inf");
}

TEST(InstallDriver, FailuresStopTheEntriesAfterThem) {
  sim::SimMachine m;
  SetUpPackage(m,
               "DEV=2\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=missing.inf\nDEV2=PCI\\VEN_8086&DEV_4229\n"
               "DEVINF2=wlan\\wlan.inf\n");
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_8086&DEV_4229"});
  sim::RunTool(m);
  EXPECT_TRUE(m.driverUpdates.empty());
  EXPECT_TRUE(test::HasLine(m, L"drv:Error UpdateDriverForPlugAndPlayDevices"));
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{20000}));  // the wait follows whatever happened

  sim::SimMachine staging;
  SetUpPackage(staging, "INFCOPY=2\nINF1=missing.inf\nINF2=modem.inf\nREFRESH=1\n");
  sim::RunTool(staging);
  EXPECT_TRUE(staging.stagedInfs.empty());
  EXPECT_EQ(staging.reenumerations, 0);
}

TEST(InstallDriver, SectionEndingByWindowsVersion) {
  EXPECT_EQ(OsClassSectionEnding(os_class::kWin2000), L"_2000");
  EXPECT_EQ(OsClassSectionEnding(os_class::kXp), L"_XP");
  EXPECT_EQ(OsClassSectionEnding(os_class::kVista), L"_VISTA");
  EXPECT_EQ(OsClassSectionEnding(os_class::kServer2003), L"");
  sim::SimMachine vista;
  SetUpPackage(vista, "INFCOPY=1\nINF1=modem.inf\n", "Drv_VISTA");
  vista.os = OsVersionRecord{2, 6, 1, 7601};
  sim::RunTool(vista);
  EXPECT_TRUE(test::HasLine(vista, L"drv:Install Driver Section=Drv_VISTA"));
  EXPECT_EQ(vista.stagedInfs.size(), 1U);
}

TEST(InstallDriver, RefusesAnInstallFolderOutsideTheInstallRoot) {
  for (const char* value : {"", ".", "..\\Windows", "VELTARO\\..\\..", "C:\\Windows", "\\Windows", "a\\..\\..\\b"}) {
    sim::SimMachine m;
    SetUpPackage(m, std::string("DESTDIR=") + value + "\nINFCOPY=1\nINF1=modem.inf\n");
    m.files.WriteFile(L"C:\\Program Files\\keep.txt", std::string_view("k"));
    m.files.WriteFile(L"C:\\Windows\\keep.txt", std::string_view("k"));
    sim::RunTool(m);
    EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\keep.txt")) << value;
    EXPECT_TRUE(m.files.Exists(L"C:\\Windows\\keep.txt")) << value;
    EXPECT_TRUE(m.stagedInfs.empty()) << value;
    EXPECT_TRUE(test::HasLine(m, std::wstring(L"drv:InstallDriver:Error DESTDIR=") + FromUtf8(value) +
                                     L" is not a folder under C:\\Program Files"))
        << value;
  }
  EXPECT_TRUE(IsSafeInstallSubfolder(L"VELTARO\\.\\NetworkDriver"));
}

TEST(InstallDriver, NativeProgramFilesUnderWow64) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_VISTA]\nINFCOPY=0\n");
  m.environment[L"ProgramW6432"] = L"C:\\Program Files";
  m.programFilesFolder = L"C:\\Program Files (x86)";
  m.files.CreateDirectories(L"C:\\Program Files (x86)");
  sim::RunTool(m);
  EXPECT_TRUE(m.files.Exists(std::wstring(kInstall) + L"\\drv.ini"));
  EXPECT_FALSE(m.files.Exists(L"C:\\Program Files (x86)\\VELTARO"));
}

}  // namespace
}  // namespace tv
