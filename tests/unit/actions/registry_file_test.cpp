#include <gtest/gtest.h>

#include "platform/sim/ansi.h"
#include "test_machine.h"

namespace tv {
namespace {

TEST(RegistryFile, ImportsTheFileBesideTheToolWithTheEditorOfWindows) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=REG_FILE\nCMD2=REG_FILE_UILANG\n");
  m.files.WriteFile(
      L"C:\\Tools\\Net Setup\\drv.reg",
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"Name\"=\"a \\\"b\\\"\"\r\n"
      "\"Count\"=dword:0000000a\r\n\"Raw\"=hex:01,02,\\\r\n  03\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\r\n");
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\0411.reg",
                    "\xFF\xFE" + sim::EncodeUtf16Le(L"Windows Registry Editor Version 5.00\r\n\r\n"
                                                    L"[HKEY_CURRENT_USER\\Software\\Vendor]\r\n@=\"\x30E2\"\r\n"));
  // A program named regedit in the tool's folder is never the one started.
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\regedit.exe", std::string_view("MZ"));
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\Old", L"X", 1);
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 2U) << m.ToString();
  EXPECT_EQ(m.started[0].commandLine, L"C:\\WINDOWS\\regedit.exe /s \"C:\\Tools\\Net Setup\\drv.reg\"");
  EXPECT_EQ(m.started[0].image, L"C:\\WINDOWS\\regedit.exe");
  EXPECT_TRUE(m.started[0].waitedFor);
  // Started in the system folder: nothing in the package folder is searched for what it loads.
  EXPECT_EQ(m.started[0].currentDirectory, L"C:\\WINDOWS\\system32");
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", L"Count")->data,
            (std::vector<std::uint8_t>{10, 0, 0, 0}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", L"Raw")->data,
            (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", L"Name")->data.size(),
            12U);  // a "b" and NUL
  EXPECT_FALSE(m.registry.KeyExists(RegRoot::kLocalMachine, L"SOFTWARE\\Old"));
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\Vendor", L""));
  EXPECT_TRUE(test::HasLine(m, L"drv:Add registry from registry file with UI LANG C:\\Tools\\Net Setup\\0411.reg"));
  EXPECT_TRUE(test::HasLine(m, L"drv:AddRegFromRegFile:Waiting for the end of process"));
}

TEST(RegistryFile, MissingFileOrWindowsFolderStartsNothing) {
  sim::SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=REG_FILE\n");
  sim::RunTool(m);
  EXPECT_TRUE(test::HasLine(m, L"drv:AddRegFromRegFile:Error could not find C:\\Tools\\Net Setup\\drv.reg."));
  EXPECT_TRUE(m.started.empty());

  sim::SimMachine noRoot;
  test::SetUpNotebook(noRoot, "[INIT]\nCMD1=REG_FILE\n");
  noRoot.files.WriteFile(L"C:\\Tools\\Net Setup\\drv.reg", std::string_view("REGEDIT4\r\n"));
  noRoot.files.RemoveFile(L"C:\\WINDOWS\\regedit.exe");
  sim::RunTool(noRoot);
  EXPECT_TRUE(test::HasLine(noRoot, L"drv:AddRegFromRegFile:Error no registry editor in the system folders"));
  EXPECT_TRUE(noRoot.started.empty());
}

TEST(RegistryFile, TheEditorIsTheOneABareRegeditWouldStart) {
  // On 64-bit Windows a plain REG_FILE writes the 32-bit view, as the 32-bit
  // editor that the search finds in the (redirected) system folder does;
  // REG_FILE.WOW64 turns redirection off and reaches the 64-bit editor.
  sim::SimMachine m;
  test::SetUpWow64Notebook(m, "[INIT]\nCMD1=REG_FILE\nCMD2=REG_FILE.WOW64\n");
  m.environment[L"SystemRoot"] = L"C:\\fake";
  m.files.WriteFile(L"C:\\fake\\regedit.exe", std::string_view("MZ"));
  m.files.WriteFile(L"C:\\Tools\\Net Setup\\drv.reg",
                    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n\"V\"=dword:00000001\r\n");
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 2U) << m.ToString();
  EXPECT_EQ(m.started[0].image, L"C:\\WINDOWS\\SysWOW64\\regedit.exe");
  EXPECT_EQ(m.started[1].image, L"C:\\WINDOWS\\regedit.exe");
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\Vendor", L"V")) << m.ToString();
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", L"V"));
}

}  // namespace
}  // namespace tv
