#include <gtest/gtest.h>

#include <algorithm>

#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kFolder = L"C:\\Tools\\Net Setup";

std::string Script(std::string_view command, std::string_view section) {
  return "[INIT]\nCMD1=" + std::string(command) + "\nCMD1_SECTION=Setup\n" + std::string(section);
}

// A notebook with programs app.exe and tools\sub.exe beside the tool.
void SetUpLauncher(sim::SimMachine& m, const std::string& script, std::wstring_view arguments = L"") {
  test::SetUpNotebook(m, script);
  m.files.WriteFile(std::wstring(kFolder) + L"\\app.exe", std::string_view("MZ"));
  m.files.WriteFile(std::wstring(kFolder) + L"\\tools\\sub.exe", std::string_view("MZ"));
  m.commandLine =
      L"\"" + std::wstring(test::kExePath) + L"\"" + (arguments.empty() ? L"" : L" " + std::wstring(arguments));
}

TEST(ProcessLauncher, StartsEachListedProgramFromTheModuleFolder) {
  sim::SimMachine m;
  SetUpLauncher(m, Script("CMD_CP",
                          "[Setup]\nCMD=3\nCMD1=app.exe\nCMD2=missing.exe\nCMD3=tools\\sub.exe\nCMD_SLEEP=250\n"
                          "CMD_LONGFLAG=1\n"));
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 2U) << m.ToString();
  // Without arguments and without CMD_PLUSARG keys the parameter string is one blank.
  EXPECT_EQ(m.started[0].commandLine, L"\"C:\\Tools\\Net Setup\\app.exe\"  ");
  EXPECT_EQ(m.started[1].commandLine, L"\"C:\\Tools\\Net Setup\\tools\\sub.exe\"  ");
  for (const auto& p : m.started) {
    EXPECT_EQ(p.currentDirectory, kFolder);
    EXPECT_EQ(p.creationFlags, process::kCreateNoWindow);
    EXPECT_TRUE(p.waitedFor);
  }
  EXPECT_EQ(m.pauses, (std::vector<std::uint32_t>{250, 250}));  // none after the missing program
  EXPECT_TRUE(test::HasLine(m, L"drv:CreateProcessFromIni:Could not find CMD=C:\\Tools\\Net Setup\\missing.exe"));
  EXPECT_TRUE(test::HasLine(m, L"drv:CreateProcessFromIni() Param was changed -> "));
  EXPECT_TRUE(test::HasLine(m, L"drv:CreateProcessFromIni:End"));
}

TEST(ProcessLauncher, OnlyAnImageStartsAndItsNameIsOpenedAsWindowsOpensIt) {
  // A text file, even one named .exe, is no program: the start fails and the
  // tool does not wait. A closing dot of the name is dropped: quiet.exe.
  // starts quiet.exe.
  sim::SimMachine m;
  SetUpLauncher(m, Script("CMD_CP", "[Setup]\nCMD=3\nCMD1=readme.txt\nCMD2=fake.exe\nCMD3=app.exe.\n"));
  m.files.WriteFile(std::wstring(kFolder) + L"\\readme.txt", std::string_view("read me"));
  m.files.WriteFile(std::wstring(kFolder) + L"\\fake.exe", std::string_view("not a program"));
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 1U) << m.ToString();
  EXPECT_TRUE(m.started[0].image.ends_with(L"\\app.exe")) << ToUtf8(m.started[0].image);
  const auto lines = test::TraceLines(m);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"drv:CreateProcessFromIni:Waiting for the end of process"), 1)
      << m.ToString();
}

TEST(ProcessLauncher, QuotedLaunchPathCannotStartAProgramAtTheBlank) {
  sim::SimMachine m;
  SetUpLauncher(m, Script("CMD_CP", "[Setup]\nCMD=1\nCMD1=app.exe\nCMD_LONGFLAG=1\n"), L"/s");
  m.files.WriteFile(L"C:\\Tools\\Net.exe", std::string_view("MZ"));  // planted where an unquoted path would stop
  sim::RunTool(m);
  ASSERT_EQ(m.started.size(), 1U);
  EXPECT_EQ(m.started[0].image, L"C:\\Tools\\Net Setup\\app.exe");
  EXPECT_EQ(m.started[0].commandLine, L"\"C:\\Tools\\Net Setup\\app.exe\" /s ");
}

TEST(ProcessLauncher, ShortFolderUnlessLongFlagIsExactlyOne) {
  for (const char* flag : {"", "CMD_LONGFLAG=2\n", "CMD_LONGFLAG=0\n"}) {
    sim::SimMachine m;
    SetUpLauncher(m, Script("CMD_CP", std::string("[Setup]\nCMD=1\nCMD1=app.exe\n") + flag), L"-x");
    sim::RunTool(m);
    ASSERT_EQ(m.started.size(), 1U) << flag;
    EXPECT_EQ(m.started[0].commandLine, L"C:\\Tools\\NETSET~1\\app.exe -x ");
    EXPECT_EQ(m.started[0].currentDirectory, kFolder);
  }
}

TEST(ProcessLauncher, PlusArgumentByCaseSensitiveKey) {
  struct Case {
    const char* keys;
    const wchar_t* arguments;
    const wchar_t* parameters;
  };
  const Case cases[] = {
      {"CMD_PLUSARGKEY=/s\nCMD_PLUSARG=/quiet\n", L"/s", L"/s /quiet"},
      {"CMD_PLUSARGKEY=/s\nCMD_PLUSARG=/quiet\n", L"/S", L"/S"},
      {"CMD_PLUSARGKEY=/s\n", L"/s", L"/s"},
      {"CMD_PLUSARG=/quiet\n", L"/S", L"/S /quiet"},
      {"", L"/S", L"/S "},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    SetUpLauncher(m, Script("CMD_CP", std::string("[Setup]\nCMD=1\nCMD1=app.exe\n") + c.keys), c.arguments);
    sim::RunTool(m);
    ASSERT_EQ(m.started.size(), 1U);
    EXPECT_EQ(m.started[0].commandLine, std::wstring(L"C:\\Tools\\NETSET~1\\app.exe ") + c.parameters) << c.keys;
  }
}

TEST(ProcessLauncher, AsyncFlagAndNegativeCountsAndPauses) {
  struct Case {
    const char* keys;
    std::size_t started;
    int hungWaits;
    std::vector<std::uint32_t> pauses;
  };
  const Case cases[] = {
      {"CMD=1\nCMD1=app.exe\n", 1, 1, {}},  // waited for: a real tool would hang here
      {"CMD=1\nCMD1=app.exe\nCMD_ASYNCFLAG=-1\n", 1, 0, {}},
      {"CMD=1\nCMD1=app.exe\nCMD_ASYNCFLAG=2\nCMD_SLEEP=-1\n", 1, 0, {}},
      {"CMD=-1\nCMD1=app.exe\n", 0, 0, {}},
      {"CMD1=app.exe\n", 0, 0, {}},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    SetUpLauncher(m, Script("CMD_CP", std::string("[Setup]\n") + c.keys));
    m.keepRunning.insert(L"app.exe");
    sim::RunTool(m);
    EXPECT_EQ(m.started.size(), c.started) << c.keys;
    EXPECT_EQ(m.hungWaits, c.hungWaits) << c.keys;
    EXPECT_EQ(m.pauses, c.pauses) << c.keys;
    EXPECT_TRUE(test::HasLine(m, L"drv:CreateProcessFromIni:End"));
  }
}

TEST(ProcessLauncher, RegionAndLanguageVariantsOfTheSection) {
  struct Case {
    const char* command;
    const char* sections;
    const wchar_t* chosen;
  };
  const Case cases[] = {
      {"CMD_UILANG", "[Setup]\nCMD=0\n[setup_0411]\nCMD=0\n", L"Setup_0411"},
      {"CMD_UILANG", "[Setup]\nCMD=0\n[Setup_0409]\nCMD=0\n", L"Setup"},
      {"CMD_REGION", "[Setup]\nCMD=0\n[Setup_F]\nCMD=0\n", L"Setup_F"},
      {"CMD_REGION", "[Setup]\nCMD=0\n", L"Setup"},
      {"CMD_CP", "[Setup]\nCMD=0\n[Setup_]\nCMD=0\n", L"Setup"},
  };
  for (const auto& c : cases) {
    sim::SimMachine m;
    SetUpLauncher(m, Script(c.command, c.sections));
    sim::RunTool(m);
    EXPECT_TRUE(test::HasLine(m, std::wstring(L"drv:CreateProcessFromIni:section name =") + c.chosen))
        << c.command << " " << c.sections << m.ToString();
  }
  sim::SimMachine lang;
  SetUpLauncher(lang, Script("CMD_UILANG", "[Setup]\n"));
  sim::RunTool(lang);
  EXPECT_TRUE(test::HasLine(lang, L"drv:CreateProcessFromIni-per UI Language 0411"));
}

}  // namespace
}  // namespace tv
