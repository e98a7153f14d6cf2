#include <gtest/gtest.h>

#include "actions/driver_install.h"
#include "platform/shell_path.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kModem = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr std::wstring_view kInstall = L"C:\\Program Files\\VELTARO\\NetworkDriver";

// A notebook whose driver package (the tool's folder) holds modem.inf and wlan.inf.
void SetUpPackage(sim::SimMachine& m, const std::string& section, std::string_view sectionName = "Drv_XP") {
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[" + std::string(sectionName) + "]\n" + section);
  test::WriteDriverPackage(m, L"C:\\Tools\\Net Setup\\modem.inf", "PCI\\VEN_11C1&DEV_048C");
  test::WriteDriverPackage(m, L"C:\\Tools\\Net Setup\\wlan\\wlan.inf", "PCI\\VEN_8086&DEV_4229");
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
  // Staging and rescan are skipped after an update: the store holds only
  // what each update put there itself.
  EXPECT_EQ(m.stagedByUpdate, (std::vector<bool>{true, true}));
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
  test::WriteDriverPackage(m, L"C:\\Tools\\Net Setup\\modem.inf", "PCI\\VEN_14F1&DEV_2F20");
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
  // The next line names the device, the INF and the error, so a wrong path
  // in the script can be told from a failed update.
  EXPECT_TRUE(test::HasLine(m,
                            L"drv:UpdateDriverForPlugAndPlayDevices:Error PCI\\VEN_11C1&DEV_048C ,C:\\Program "
                            L"Files\\VELTARO\\NetworkDriver\\missing.inf ERROR=0x00000002"))
      << m.ToString();
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{20000}));  // the wait follows whatever happened

  sim::SimMachine staging;
  SetUpPackage(staging, "INFCOPY=2\nINF1=missing.inf\nINF2=modem.inf\nREFRESH=1\n");
  sim::RunTool(staging);
  EXPECT_TRUE(staging.stagedInfs.empty());
  EXPECT_EQ(staging.reenumerations, 0);

  // A package that cannot be copied ends the command there: nothing is
  // updated from a half-made install folder, and the trace says why.
  sim::SimMachine full;
  SetUpPackage(full, "DEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem.inf\n");
  full.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  full.faults.Fail("CopyFile", err::kAccessDenied, L"C:\\Tools\\Net Setup\\modem.inf");
  sim::RunTool(full);
  EXPECT_TRUE(test::HasLine(full, L"drv:Error CopyFiles")) << full.ToString();
  EXPECT_TRUE(full.driverUpdates.empty());
}

TEST(InstallDriver, AClosingBackslashOnTheInstallFolderNamesTheSameFolder) {
  for (const char* value : {"VELTARO\\WLAN\\", "VELTARO\\WLAN\\\\", "VELTARO\\\\WLAN"}) {
    sim::SimMachine m;
    SetUpPackage(m, std::string("DESTDIR=") + value + "\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem.inf\n");
    m.AddDevice(kModem, L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    sim::RunTool(m);
    ASSERT_EQ(m.driverUpdates.size(), 1U) << value << "\n" << m.ToString();
    EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\WLAN\\modem.inf")) << value;
    EXPECT_FALSE(test::HasLine(m, L"drv:Error UpdateDriverForPlugAndPlayDevices")) << value;
  }
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

TEST(InstallDriver, RefusesFoldersThatWindowsAndOtherProductsShare) {
  // Under the install root, but a folder that Windows keeps there: the old
  // install folder is emptied before the copy, so it would go with its files.
  for (const char* value : {"Common Files", "common files\\System", "Windows NT\\Accessories", "Microsoft",
                            "Internet Explorer", "WindowsApps\\x", "Common Files\\Microsoft Shared\\VELTARO",
                            ".\\Common Files\\.", "WindowsPowerShell\\Modules"}) {
    sim::SimMachine m;
    SetUpPackage(m, std::string("DESTDIR=") + value + "\nINFCOPY=1\nINF1=modem.inf\n");
    m.files.WriteFile(L"C:\\Program Files\\" + FromUtf8(value) + L"\\System\\shared.dll", std::string_view("dll"));
    sim::RunTool(m);
    EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\" + FromUtf8(value) + L"\\System\\shared.dll")) << value;
    EXPECT_TRUE(m.stagedInfs.empty()) << value;
    EXPECT_TRUE(test::HasLine(m, std::wstring(L"drv:InstallDriver:Error DESTDIR=") + FromUtf8(value) +
                                     L" is a folder that Windows keeps under C:\\Program Files"))
        << value;
  }
  // What existing scripts use still works, a maker's folder of one component
  // too; Windows' folders go by their whole names, so a maker's folder that
  // only begins like one, or sits in Common Files, installs.
  for (const wchar_t* value : {L"VELTARO\\NetworkDriver", L"PX420", L"VELTARO", L"WindowsPE Tools\\Net",
                               L"Microsoft Shared\\VELTARO", L"Common Files\\Intel\\WLAN", L"Windows NT Tools"}) {
    EXPECT_TRUE(IsSafeInstallSubfolder(value)) << ToUtf8(value);
  }
}

TEST(InstallDriver, AMakersFolderInCommonFilesInstallsAndLeavesTheRestOfCommonFiles) {
  sim::SimMachine m;
  SetUpPackage(m, "DESTDIR=Common Files\\VELTARO\\NetworkDriver\nINFCOPY=1\nINF1=modem.inf\n");
  const std::wstring common = L"C:\\Program Files\\Common Files";
  m.files.WriteFile(common + L"\\System\\ole db\\oledb32.dll", std::string_view("dll"));
  m.files.WriteFile(common + L"\\VELTARO\\Shared\\keep.dll", std::string_view("dll"));
  m.files.WriteFile(common + L"\\VELTARO\\NetworkDriver\\stale.txt", std::string_view("old"));
  sim::RunTool(m);
  EXPECT_TRUE(m.files.Exists(common + L"\\VELTARO\\NetworkDriver\\modem.inf")) << m.files.ToString();
  EXPECT_FALSE(m.files.Exists(common + L"\\VELTARO\\NetworkDriver\\stale.txt"));
  EXPECT_TRUE(m.files.Exists(common + L"\\VELTARO\\Shared\\keep.dll"));
  EXPECT_TRUE(m.files.Exists(common + L"\\System\\ole db\\oledb32.dll"));
  EXPECT_EQ(m.stagedInfs.size(), 1U);
  for (const auto& line : test::TraceLines(m)) EXPECT_EQ(line.find(L"Error"), std::wstring::npos) << ToUtf8(line);
}

// Windows reads COMMON~1 as Common Files and drops a closing dot of a folder
// name: the folder is judged as the one Windows reaches, not as written.
TEST(InstallDriver, AShortNameOrAClosingDotDoesNotGetPastTheSharedFolders) {
  for (const char* value :
       {"COMMON~1\\Microsoft Shared", "Common Files.\\System", "COMMON~1", "Common Files \\System"}) {
    sim::SimMachine m;
    SetUpPackage(m, std::string("DESTDIR=") + value + "\nINFCOPY=1\nINF1=modem.inf\n");
    m.files.WriteFile(L"C:\\Program Files\\Common Files\\Microsoft Shared\\shared.dll", std::string_view("dll"));
    m.files.WriteFile(L"C:\\Program Files\\Common Files\\System\\ole db\\oledb32.dll", std::string_view("dll"));
    sim::RunTool(m);
    EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\Common Files\\Microsoft Shared\\shared.dll")) << value;
    EXPECT_TRUE(m.files.Exists(L"C:\\Program Files\\Common Files\\System\\ole db\\oledb32.dll")) << value;
    EXPECT_TRUE(m.stagedInfs.empty()) << value;
    EXPECT_TRUE(test::HasLine(m, std::wstring(L"drv:InstallDriver:Error DESTDIR=") + FromUtf8(value) +
                                     L" is a folder that Windows keeps under C:\\Program Files"))
        << value << "\n"
        << ToUtf8(m.DebugText());
  }
}

TEST(InstallDriver, RefusesAnInstallFolderThatIsHoldsOrLiesInTheToolsOwnFolder) {
  // A package run from its own install folder, from a folder inside it, or
  // from a folder that holds it would delete itself and the setup script.
  struct Case {
    const wchar_t* tool;
    const char* destination;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\VELTARO\\NetworkDriver\\drv.exe", "VELTARO\\NetworkDriver"},
      {L"C:\\Program Files\\VELTARO\\NetworkDriver\\pkg\\drv.exe", "VELTARO\\NetworkDriver"},
      {L"C:\\Program Files\\drv.exe", "VELTARO\\NetworkDriver"},
      {L"C:\\Program Files\\VELTARO\\drv.exe", "veltaro\\networkdriver\\"},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m);
    sim::PlaceTool(m, c.tool,
                   "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\nCMD2=CHECK_VENDOR\n[Drv_XP]\nDESTDIR=" +
                       std::string(c.destination) + "\n");
    const std::wstring folder = shell::RemoveFileSpec(c.tool);
    m.files.WriteFile(folder + L"\\modem.inf", std::string_view("modem"));
    sim::RunTool(m);
    EXPECT_TRUE(m.files.Exists(folder + L"\\modem.inf")) << ToUtf8(c.tool) << m.files.ToString();
    EXPECT_TRUE(m.files.Exists(shell::RenameExtension(c.tool, L".ini").value())) << ToUtf8(c.tool);
    // A closing backslash of DESTDIR is dropped: the folder is named once, cleanly.
    std::wstring destination = FromUtf8(c.destination);
    if (destination.ends_with(L'\\')) destination.pop_back();
    EXPECT_TRUE(test::HasLine(m, L"drv:InstallDriver:Error the install folder C:\\Program Files\\" + destination +
                                     L" is, holds or lies in the tool's own folder " + folder))
        << ToUtf8(c.tool);
  }
}

TEST(InstallDriver, ALinkInTheOldInstallFolderIsRemovedAsALink) {
  // Deleting the old install folder never descends into a junction: what it
  // points to stays, and the link itself goes.
  sim::SimMachine m;
  SetUpPackage(m, "INFCOPY=1\nINF1=modem.inf\n");
  m.files.WriteFile(L"C:\\Users\\me\\Documents\\thesis.doc", std::string_view("years"));
  m.files.WriteFile(std::wstring(kInstall) + L"\\old.txt", std::string_view("old"));
  m.files.CreateLink(std::wstring(kInstall) + L"\\data", L"C:\\Users\\me\\Documents");
  sim::RunTool(m);
  EXPECT_TRUE(m.files.Exists(L"C:\\Users\\me\\Documents\\thesis.doc")) << m.files.ToString();
  EXPECT_FALSE(m.files.Exists(std::wstring(kInstall) + L"\\data"));
  EXPECT_FALSE(m.files.Exists(std::wstring(kInstall) + L"\\old.txt"));
  EXPECT_EQ(m.stagedInfs.size(), 1U);
  EXPECT_TRUE(test::HasLine(m, L"drv:DeleteDirectory:Remove link " + std::wstring(kInstall) + L"\\data"));
}

// The install folder is emptied and filled as SYSTEM: with it, or a folder
// above it, a junction, that would happen wherever the junction points.
TEST(InstallDriver, AnInstallFolderReachedThroughALinkIsNotTouched) {
  for (const std::wstring& link : {std::wstring(kInstall), std::wstring(L"C:\\Program Files\\VELTARO")}) {
    sim::SimMachine m;
    SetUpPackage(m, "INFCOPY=1\nINF1=modem.inf\n");
    m.files.WriteFile(L"C:\\Users\\me\\Documents\\NetworkDriver\\thesis.doc", std::string_view("years"));
    m.files.CreateLink(link,
                       link == kInstall ? L"C:\\Users\\me\\Documents\\NetworkDriver" : L"C:\\Users\\me\\Documents");
    sim::RunTool(m);
    EXPECT_TRUE(m.files.Exists(L"C:\\Users\\me\\Documents\\NetworkDriver\\thesis.doc")) << m.files.ToString();
    EXPECT_FALSE(m.files.Exists(L"C:\\Users\\me\\Documents\\NetworkDriver\\modem.inf"));
    EXPECT_TRUE(m.stagedInfs.empty());
    EXPECT_TRUE(test::HasLine(m, L"drv:InstallDriver:Error the install folder " + std::wstring(kInstall) +
                                     L": the folder " + link + L" on its path is a link"));
  }
}

TEST(InstallDriver, TheInstallRootIsWhatWindowsKeepsForIt) {
  // 32-bit Windows never sets ProgramW6432: one that a user set is not the install root.
  sim::SimMachine xp;
  SetUpPackage(xp, "INFCOPY=0\n");
  xp.environment[L"ProgramW6432"] = L"C:\\Documents and Settings\\me\\My Documents";
  xp.files.WriteFile(L"C:\\Documents and Settings\\me\\My Documents\\VELTARO\\NetworkDriver\\mine.txt",
                     std::string_view("mine"));
  sim::RunTool(xp);
  EXPECT_TRUE(xp.files.Exists(L"C:\\Documents and Settings\\me\\My Documents\\VELTARO\\NetworkDriver\\mine.txt"));
  EXPECT_TRUE(xp.files.Exists(std::wstring(kInstall) + L"\\drv.ini")) << xp.files.ToString();

  // On 64-bit Windows 7 the value Windows keeps comes before the environment.
  sim::SimMachine win7;
  test::SetUpWow64Notebook(win7, "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_VISTA]\nINFCOPY=0\n");
  win7.os = OsVersionRecord{2, 6, 1, 7601};
  win7.registry.SetString(RegRoot::kLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramW6432Dir",
                          L"C:\\Program Files");
  win7.environment[L"ProgramW6432"] = L"C:\\Users\\me";
  win7.programFilesFolder = L"C:\\Program Files (x86)";
  win7.files.CreateDirectories(L"C:\\Program Files");
  sim::RunTool(win7);
  EXPECT_TRUE(win7.files.Exists(std::wstring(kInstall) + L"\\drv.ini")) << win7.files.ToString();
  EXPECT_FALSE(win7.files.Exists(L"C:\\Users\\me\\VELTARO"));

  // Vista keeps no such value: its key is there without it, and the
  // environment's ProgramW6432 that Windows sets is the install root.
  sim::SimMachine vista;
  test::SetUpWow64Notebook(vista, "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_VISTA]\nINFCOPY=0\n");
  vista.os = OsVersionRecord{2, 6, 0, 6002};
  vista.registry.SetString(RegRoot::kLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir",
                           L"C:\\Program Files");
  vista.environment[L"ProgramW6432"] = L"C:\\Program Files";
  vista.programFilesFolder = L"C:\\Program Files (x86)";
  vista.files.CreateDirectories(L"C:\\Program Files");
  sim::RunTool(vista);
  EXPECT_TRUE(vista.files.Exists(std::wstring(kInstall) + L"\\drv.ini")) << vista.files.ToString();
}

}  // namespace
}  // namespace tv
