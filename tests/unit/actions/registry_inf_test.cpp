#include <gtest/gtest.h>

#include "app/process_objects.h"
#include "platform/product_cache.h"
#include "platform/sim/ansi.h"
#include "test_machine.h"

namespace tv {
namespace {

// The INF goes into a folder made for the one command; the simulated machine
// numbers them where Windows gives a random GUID.
constexpr std::wstring_view kFirstFolder = L"C:\\WINDOWS\\TEMP\\Tarnvale.00000000-0000-0000-0000-000000000001";
const std::wstring kStaticInf = std::wstring(kFirstFolder) + L"\\StaticAddDel.inf";

// What TEMP holds besides what the test laid there: nothing, once the run is over.
std::vector<std::wstring> LeftInTemp(sim::SimMachine& m) {
  std::vector<std::wstring> names;
  auto found = m.platform().files.Find(L"C:\\WINDOWS\\TEMP\\Tarnvale.*");
  if (found) {
    for (const auto& e : *found) {
      if (e.name != L"." && e.name != L"..") names.push_back(e.name);
    }
  }
  return names;
}

std::string Script(std::string_view command, std::string_view section) {
  return "[INIT]\nCMD1=" + std::string(command) + "\nCMD1_SECTION=Reg\n" + std::string(section);
}

std::wstring InfText(const sim::SimMachine& m, std::size_t i = 0) {
  const auto& bytes = m.infsInstalled.at(i);
  EXPECT_GE(bytes.size(), 2U);
  EXPECT_EQ(bytes[0], 0xFF);  // a byte-order mark, once, at the start
  EXPECT_EQ(bytes[1], 0xFE);
  return sim::DecodeUtf16Le(std::span(bytes).subspan(2));
}

constexpr const wchar_t* kFrame = L"[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[DefaultInstall]\r\n";

TEST(RegistryInf, WritesTheInfAndTheInstallerAppliesIt) {
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("REG_INI",
                                "[Reg]\nADDREG=3\nDELREG=2\n"
                                "ADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Vendor\\App\nADDREG1_ENTRYNAME=Mode\n"
                                "ADDREG1_FLAGS=0x00010001\nADDREG1_VALUE=5\n"
                                "ADDREG2_ROOT=HKLM\nADDREG2_SUBKEY=SOFTWARE\\Vendor\\App\nADDREG2_ENTRYNAME=Name\n"
                                "ADDREG2_FLAGS=0\nADDREG2_VALUE=\"Net Setup\"\n"
                                "DELREG1_ROOT=HKLM\nDELREG1_SUBKEY=SOFTWARE\\Vendor\\Old\n"
                                "DELREG2_ROOT=HKLM\nDELREG2_SUBKEY=SOFTWARE\\Vendor\\App\nDELREG2_ENTRYNAME=Stale\n"));
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\Old\\Sub", L"X", 1);
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\App", L"Stale", 1);
  sim::RunTool(m);
  ASSERT_EQ(m.infsInstalled.size(), 1U) << m.ToString();
  EXPECT_EQ(InfText(m), std::wstring(kFrame) +
                            L"AddReg = Add.reg\r\nDelReg = Del.reg\r\n"
                            L"\r\n[Add.reg]\r\n"
                            L"HKLM, \"SOFTWARE\\Vendor\\App\",\"Mode\",0x00010001,5 \r\n"
                            L"HKLM, \"SOFTWARE\\Vendor\\App\",\"Name\",0,Net Setup \r\n"
                            L", \"\",\"\",, \r\n"
                            L"\r\n[Del.reg]\r\n"
                            L"HKLM, \"SOFTWARE\\Vendor\\Old\" \r\n"
                            L"HKLM, \"SOFTWARE\\Vendor\\App\",\"Stale\"\r\n");
  EXPECT_EQ(m.started.at(0).commandLine,
            L"C:\\WINDOWS\\system32\\rundll32.exe setupapi,InstallHinfSection DefaultInstall 128 " +
                std::wstring(kStaticInf));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\App", L"Mode")->data,
            (std::vector<std::uint8_t>{5, 0, 0, 0}));
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\App", L"Name"));
  EXPECT_FALSE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\App", L"Stale"));
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor\\Old"));
  EXPECT_FALSE(m.files.Exists(kStaticInf));               // deleted after the installer ended
  EXPECT_EQ(LeftInTemp(m), std::vector<std::wstring>{});  // and its folder with it
  EXPECT_TRUE(test::HasLine(m, L"drv:Create Inf file=" + kStaticInf));
  EXPECT_TRUE(test::HasLine(m, L"drv:AddDelRegFromIni:End"));
  EXPECT_TRUE(test::HasLine(m, L"drv:INI LINE=HKLM, \"SOFTWARE\\Vendor\\Old\",\"\""));
}

TEST(RegistryInf, ContentByCounts) {
  struct Case {
    const char* section;
    std::wstring body;
  };
  const Case cases[] = {
      {"ADDREG=0\nDELREG=2\nDELREG1_ROOT=HKCU\nDELREG1_SUBKEY=A\nDELREG2_ROOT=HKCU\nDELREG2_SUBKEY=B\nDELREG2_"
       "ENTRYNAME=v\n",
       L"DelReg = Del.reg\r\n\r\n[Del.reg]\r\nHKCU, \"A\" \r\nHKCU, \"B\",\"v\"\r\n"},
      {"ADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=A\nADDREG1_FLAGS=0x00010000\nADDREG1_VALUE=\"x\",\"y\"\nDELREG=-"
       "1\n",
       L"AddReg = Add.reg\r\n\r\n[Add.reg]\r\nHKCU, \"A\",\"\",0x00010000,x\",\"y \r\n"},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    test::SetUpNotebook(m, Script("REG_INI", std::string("[Reg]\n") + c.section));
    sim::RunTool(m);
    ASSERT_EQ(m.infsInstalled.size(), 1U) << c.section;
    EXPECT_EQ(InfText(m), kFrame + c.body);
  }
}

TEST(RegistryInf, NothingToDoOrNowhereToWriteFailsWithoutAFile) {
  struct Case {
    const char* name;
    const char* section;
    const char* environment;  // TEMP removed
    const wchar_t* line;
  };
  const Case cases[] = {
      {"no entries", "[Reg]\nADDREG=0\n", nullptr, L"drv:ERR:AddDelRegFromIni:nAddReg || nDelReg <= 0 return FALSE"},
      {"negative counts", "[Reg]\nADDREG=-1\nDELREG=-5\n", nullptr,
       L"drv:ERR:AddDelRegFromIni:nAddReg || nDelReg <= 0 return FALSE"},
      {"no TEMP", "[Reg]\nADDREG=1\n", "TEMP", L"drv:ERR:AddDelRegFromIni:_tfopen() error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::SimMachine m;
    test::SetUpNotebook(m, Script("REG_INI", c.section));
    if (c.environment) m.environment.erase(FromUtf8(c.environment));
    sim::RunTool(m);
    EXPECT_TRUE(test::HasLine(m, c.line)) << m.ToString();
    EXPECT_TRUE(m.started.empty());
    EXPECT_FALSE(m.files.Exists(kStaticInf));
    EXPECT_FALSE(m.files.Exists(L"C:\\StaticAddDel.inf"));
  }
  sim::SimMachine noSystem;
  test::SetUpNotebook(noSystem, Script("REG_INI", "[Reg]\nADDREG=1\n"));
  noSystem.faults.Fail("GetSystemDirectory", err::kAccessDenied);
  sim::RunTool(noSystem);
  EXPECT_TRUE(test::HasLine(noSystem, L"drv:ERR:AddDelRegFromIni:_tfopen() error"));
  EXPECT_TRUE(noSystem.started.empty());
  EXPECT_FALSE(noSystem.files.Exists(kStaticInf));

  sim::SimMachine noSection;
  test::SetUpNotebook(noSection, "[INIT]\nCMD1=REG_INI\n");
  sim::RunTool(noSection);
  EXPECT_TRUE(test::HasLine(noSection, L"drv:AddDelRegFromIni:Error Section name iregal"));
}

// Anyone may lay files and folders in TEMP (LocalSystem's is open to every
// user): a folder under the INF's name, a prepared INF, even the folder the
// next command would take. None of them is used, none stops the command.
TEST(RegistryInf, WhatOthersLayInTempIsNeverUsedAndStopsNothing) {
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Reg\nCMD2=DRIVER_REG\nCMD2_SECTION=Drv\n"
                      "[Reg]\nADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=A\nADDREG1_ENTRYNAME=v\nADDREG1_VALUE=1\n"
                      "[Drv]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=B\nADDREG1_VALUE=x\n");
  m.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  m.files.CreateDirectories(L"C:\\WINDOWS\\TEMP\\StaticAddDel.inf");
  m.files.CreateDirectories(L"C:\\WINDOWS\\TEMP\\DriverAddDel.inf");
  m.files.WriteFile(L"C:\\WINDOWS\\TEMP\\Tarnvale.00000000-0000-0000-0000-000000000002\\DriverAddDel.inf",
                    "\xFF\xFE" + sim::EncodeUtf16Le(L"[DefaultInstall]\r\nAddReg=Evil\r\n[Evil]\r\nHKLM,X,Y,,1\r\n"));
  sim::RunTool(m);
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"A", L"v")) << m.ToString();
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, L"X"));
  // The folder laid under the next one's name was not taken over: DRIVER_REG
  // failed there, and says so.
  EXPECT_TRUE(test::HasLine(m,
                            L"drv:ERR:DriverAddDelRegFromInf:no folder of its own could be made in "
                            L"C:\\WINDOWS\\TEMP, error 183"));
  EXPECT_TRUE(test::HasLine(m, L"drv:ERR:DriverAddDelRegFromInf:_tfopen() error"));
  EXPECT_EQ(m.infsInstalled.size(), 1U);

  // Without it in the way, DRIVER_REG writes its values too.
  sim::SimMachine clear;
  test::SetUpNotebook(clear,
                      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n"
                      "[Drv]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=B\nADDREG1_VALUE=x\n");
  const auto device = clear.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  clear.files.CreateDirectories(L"C:\\WINDOWS\\TEMP\\DriverAddDel.inf");
  sim::RunTool(clear);
  EXPECT_TRUE(clear.registry.GetValue(
      RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + clear.devices[device].driverKey, L"B"))
      << clear.ToString();

  // A file that cannot be created fails with the open error, and nothing runs.
  sim::SimMachine locked;
  test::SetUpNotebook(locked, Script("REG_INI", "[Reg]\nADDREG=1\n"));
  locked.faults.Fail("CreateFile", err::kAccessDenied, kStaticInf);
  sim::RunTool(locked);
  EXPECT_TRUE(test::HasLine(locked, L"drv:ERR:AddDelRegFromIni:_tfopen() error"));
  EXPECT_TRUE(locked.started.empty());
  EXPECT_EQ(LeftInTemp(locked), std::vector<std::wstring>{});
}

TEST(RegistryInf, LanguageVariantAndTheInstallersView) {
  sim::SimMachine m;
  test::SetUpWow64Notebook(
      m,
      "[INIT]\nCMD1=REG_INI_UILANG\nCMD1_SECTION=Reg\nCMD2=REG_INI_UILANG.WOW64\nCMD2_SECTION=Reg\n"
      "[Reg]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Plain\n"
      "[Reg_0411]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=SOFTWARE\\Japanese\n"
      "ADDREG1_ENTRYNAME=v\nADDREG1_VALUE=1\n");
  sim::RunTool(m);
  EXPECT_TRUE(test::HasLine(m, L"drv:Add registry from ini file with UI LANG 0411"));
  ASSERT_EQ(m.started.size(), 2U) << m.ToString();
  // The 32-bit installer writes the 32-bit view; with redirection off the 64-bit one runs.
  EXPECT_EQ(m.started[0].image, L"C:\\WINDOWS\\SysWOW64\\rundll32.exe");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\Japanese", L"v"));
  EXPECT_EQ(m.started[1].image, L"C:\\WINDOWS\\system32\\rundll32.exe");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Japanese", L"v"));
}

TEST(RegistryInf, DriverKeyWriter) {
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      "[Drv]\nADDREG=2\nADDREG1_SUBKEY=Params\nADDREG1_ENTRYNAME=A\nADDREG1_FLAGS=0x10001\n"
                      "ADDREG1_VALUE=1\nADDREG2_ENTRYNAME=B\nADDREG2_VALUE=x\nDELREG=1\nDELREG1_ENTRYNAME=Old\n");
  const CProcessPlatform process(m.platform());
  CProcessObjects objects(process.get());
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0001";
  EXPECT_EQ(objects.action.DriverAddDelRegFromInf(std::wstring(test::kScriptPath), L"Drv", key), 1);
  ASSERT_EQ(m.infsInstalled.size(), 1U);
  EXPECT_EQ(InfText(m), std::wstring(kFrame) + L"AddReg = Add.reg\r\nDelReg = Del.reg\r\n\r\n[Add.reg]\r\n" +
                            L"HKLM, \"" + key + L"\\Params\",\"A\",0x10001,1\r\n" + L"HKLM, \"" + key +
                            L"\",\"B\",,x\r\n" + L"\r\n[Del.reg]\r\n" + L"HKLM, \"" + key + L"\",\"Old\"\r\n");
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, key + L"\\Params", L"A")->data,
            (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(LeftInTemp(m), std::vector<std::wstring>{});
  EXPECT_TRUE(test::HasLine(m, L"drv:DriverAddDelRegFromInf->chRegCmdLine"));
  EXPECT_EQ(objects.action.DriverAddDelRegFromInf(std::wstring(test::kScriptPath), L"Empty", key), 1);
  EXPECT_EQ(m.infsInstalled.size(), 1U);

  // An INF that cannot be written whole is not handed to the installer, and goes.
  m.faults.Fail("CloseFile", err::kAccessDenied,
                L"C:\\WINDOWS\\TEMP\\Tarnvale.00000000-0000-0000-0000-000000000002\\DriverAddDel.inf");
  EXPECT_EQ(objects.action.DriverAddDelRegFromInf(std::wstring(test::kScriptPath), L"Drv", key), 0);
  EXPECT_TRUE(test::HasLine(m, L"drv:ERR:DriverAddDelRegFromInf:fclose() error"));
  EXPECT_EQ(m.infsInstalled.size(), 1U);
  EXPECT_EQ(LeftInTemp(m), std::vector<std::wstring>{});
}

TEST(RegistryInf, DeleteEntriesThatWouldWipeATreeAreNotWritten) {
  // A delete entry without a key path names the whole root: it is left out,
  // and the rest of the INF is written and applied.
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("REG_INI",
                                "[Reg]\nDELREG=2\nDELREG1_ROOT=HKCU\n"
                                "DELREG2_ROOT=HKCU\nDELREG2_SUBKEY=Software\\Old\n"));
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Keep", L"K", 1);
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old", L"A", 1);
  sim::RunTool(m);
  ASSERT_EQ(m.infsInstalled.size(), 1U) << m.ToString();
  EXPECT_EQ(InfText(m), std::wstring(kFrame) + L"DelReg = Del.reg\r\n\r\n[Del.reg]\r\nHKCU, \"Software\\Old\" \r\n");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Keep", L"K")) << m.ToString();
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kCurrentUser, L"Software\\Old"));
  EXPECT_TRUE(test::HasLine(m, L"drv:AddDelRegFromIni:Skip DELREG1: no key path, the whole root would be deleted"));

  // Under a driver key a delete entry without a value name would delete the
  // whole driver key; it is left out, the value that is named goes.
  sim::SimMachine d;
  test::SetUpNotebook(d, "[Drv]\nDELREG=2\nDELREG2_ENTRYNAME=Stale\n");
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0001";
  d.registry.SetDword(RegRoot::kLocalMachine, key, L"Stale", 1);
  d.registry.SetDword(RegRoot::kLocalMachine, key, L"DriverVersion", 1);
  d.registry.SetDword(RegRoot::kLocalMachine, key + L"\\Settings", L"S", 1);
  const CProcessPlatform process(d.platform());
  CProcessObjects objects(process.get());
  EXPECT_EQ(objects.action.DriverAddDelRegFromInf(std::wstring(test::kScriptPath), L"Drv", key), 1);
  ASSERT_EQ(d.infsInstalled.size(), 1U);
  EXPECT_EQ(InfText(d),
            std::wstring(kFrame) + L"DelReg = Del.reg\r\n\r\n[Del.reg]\r\nHKLM, \"" + key + L"\",\"Stale\"\r\n");
  EXPECT_FALSE(d.registry.GetValue(RegRoot::kLocalMachine, key, L"Stale"));
  EXPECT_TRUE(d.registry.GetValue(RegRoot::kLocalMachine, key, L"DriverVersion"));
  EXPECT_TRUE(d.registry.GetValue(RegRoot::kLocalMachine, key + L"\\Settings", L"S"));
  EXPECT_TRUE(test::HasLine(
      d, L"drv:DriverAddDelRegFromInf:Skip DELREG1: no value name, the whole driver key would be deleted"));
}

TEST(RegistryInf, AddEntriesThatWouldDeleteAKeyAreNotWritten) {
  // FLG_ADDREG_DELVAL without a value name, or with FLG_ADDREG_KEYONLY_COMMON,
  // deletes the key named with all below it; with a value name it deletes
  // that value, and with the DelReg bit the installer skips the line.
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("REG_INI",
                                "[Reg]\nADDREG=5\n"
                                "ADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=Software\\Old\nADDREG1_FLAGS=0x00000004\n"
                                "ADDREG2_ROOT=HKCU\nADDREG2_SUBKEY=Software\\Old\nADDREG2_ENTRYNAME=A\n"
                                "ADDREG2_FLAGS=0x2004\n"
                                "ADDREG3_ROOT=HKCU\nADDREG3_SUBKEY=Software\\Old\nADDREG3_ENTRYNAME=B\n"
                                "ADDREG3_FLAGS=4\n"
                                "ADDREG4_ROOT=HKCU\nADDREG4_SUBKEY=Software\\Old\nADDREG4_FLAGS=0x8004\n"
                                "ADDREG5_ROOT=HKCU\nADDREG5_SUBKEY=Software\\Old\nADDREG5_FLAGS=4junk\n"
                                "ADDREG5_VALUE=x\n"));
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old", L"A", 1);
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old", L"B", 1);
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old\\Sub", L"C", 1);
  sim::RunTool(m);
  ASSERT_EQ(m.infsInstalled.size(), 1U) << m.ToString();
  EXPECT_TRUE(m.registry.KeyExists(RegRoot::kCurrentUser, L"Software\\Old\\Sub")) << m.ToString();
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Old", L"A"));
  EXPECT_FALSE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Old", L"B"));
  // Flags that are no whole number are 0 to the installer: a string.
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Old", L""));
  for (int i : {1, 2}) {
    EXPECT_TRUE(test::HasLine(m, L"drv:AddDelRegFromIni:Skip ADDREG" + std::to_wstring(i) +
                                     L": FLG_ADDREG_DELVAL without a value name deletes the key"))
        << i;
  }
  for (int i : {3, 4, 5}) {
    EXPECT_FALSE(test::HasLine(m, L"drv:AddDelRegFromIni:Skip ADDREG" + std::to_wstring(i) +
                                      L": FLG_ADDREG_DELVAL without a value name deletes the key"))
        << i;
  }

  // Under a driver key the entry would delete the driver key.
  sim::SimMachine d;
  test::SetUpNotebook(d, "[Drv]\nADDREG=1\nADDREG1_FLAGS=0x4\n");
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0001";
  d.registry.SetDword(RegRoot::kLocalMachine, key, L"DriverVersion", 1);
  const CProcessPlatform process(d.platform());
  CProcessObjects objects(process.get());
  EXPECT_EQ(objects.action.DriverAddDelRegFromInf(std::wstring(test::kScriptPath), L"Drv", key), 1);
  EXPECT_TRUE(d.registry.GetValue(RegRoot::kLocalMachine, key, L"DriverVersion")) << d.ToString();
  EXPECT_TRUE(test::HasLine(d,
                            L"drv:DriverAddDelRegFromInf:Skip ADDREG1: FLG_ADDREG_DELVAL without a value name "
                            L"deletes the key"));
}

TEST(RegistryInf, KeyPathsAndValueNamesAreWrittenAsTheInfSyntaxNeedsThem) {
  // A quotation mark inside a quoted field is doubled and a percent sign is
  // doubled, or the installer reads another key, another value or a string
  // substitution; the value is INF syntax on purpose and stays as written.
  sim::SimMachine m;
  test::SetUpNotebook(m,
                      Script("REG_INI",
                             "[Reg]\nADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=Software\\a\"b\\100%\n"
                             "ADDREG1_ENTRYNAME=say \"hi\" %USERNAME%\nADDREG1_VALUE=v\nDELREG=1\nDELREG1_ROOT=HKCU\n"
                             "DELREG1_SUBKEY=Software\\Keep\nDELREG1_ENTRYNAME=a\"b\n"));
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Keep", L"a\"b", 1);
  m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Keep", L"a", 1);
  sim::RunTool(m);
  ASSERT_EQ(m.infsInstalled.size(), 1U) << m.ToString();
  EXPECT_EQ(InfText(m), std::wstring(kFrame) +
                            L"AddReg = Add.reg\r\nDelReg = Del.reg\r\n\r\n[Add.reg]\r\n"
                            L"HKCU, \"Software\\a\"\"b\\100%%\",\"say \"\"hi\"\" %%USERNAME%%\",,v \r\n"
                            L"\r\n[Del.reg]\r\nHKCU, \"Software\\Keep\",\"a\"\"b\"\r\n");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\a\"b\\100%", L"say \"hi\" %USERNAME%"))
      << m.ToString();
  EXPECT_FALSE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Keep", L"a\"b"));
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Keep", L"a"));
  // The trace gives the values as the script gives them: only the file is escaped.
  EXPECT_TRUE(test::HasLine(m, L"drv:HKCU, \"Software\\a\"b\\100%\",\"say \"hi\" %USERNAME%\",,v"))
      << ToUtf8(m.DebugText());
}

TEST(RegistryInf, TheInstallerComesFromTheSystemFolderNotTheEnvironment) {
  // A SystemRoot that a user set names a folder anyone may have written to.
  sim::SimMachine m;
  test::SetUpNotebook(m, Script("REG_INI", "[Reg]\nADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=A\n"));
  m.environment[L"SystemRoot"] = L"C:\\fake";
  m.files.WriteFile(L"C:\\fake\\System32\\rundll32.exe", std::string_view("MZ"));
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 1U);
  EXPECT_EQ(m.started[0].image, L"C:\\WINDOWS\\system32\\rundll32.exe");
  // Nor does it start in the package folder, where it would search for what it loads.
  EXPECT_EQ(m.started[0].currentDirectory, L"C:\\WINDOWS\\system32");
}

}  // namespace
}  // namespace tv
