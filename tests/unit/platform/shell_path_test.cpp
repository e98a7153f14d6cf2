#include <gtest/gtest.h>

#include "platform/shell_path.h"

namespace tv::shell {
namespace {

TEST(ShellPath, SplitsModulePathsAsTheShellDoes) {
  struct Case {
    const wchar_t* path;
    const wchar_t* fileName;
    const wchar_t* folder;
    const wchar_t* extension;
  };
  const Case cases[] = {
      {L"C:\\Tools\\Net Setup\\drv.EXE", L"drv.EXE", L"C:\\Tools\\Net Setup", L".EXE"},
      {L"C:\\tool.exe", L"tool.exe", L"C:\\", L".exe"},
      {L"C:\\dir.d\\noext", L"noext", L"C:\\dir.d", L""},
      {L"\\\\server\\share\\a.b.c", L"a.b.c", L"\\\\server\\share", L".c"},
      {L"C:\\a\\name. x", L"name. x", L"C:\\a", L""},  // a "." followed by a blank is no extension
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.path));
    EXPECT_EQ(StripPath(c.path), c.fileName);
    EXPECT_EQ(RemoveFileSpec(c.path), c.folder);
    EXPECT_EQ(Extension(c.path), c.extension);
  }
}

TEST(ShellPath, RenameExtensionReplacesWhateverCaseAndAppendsWhenMissing) {
  EXPECT_EQ(RenameExtension(L"C:\\X\\tool.EXE", L".ini"), L"C:\\X\\tool.ini");
  EXPECT_EQ(RenameExtension(L"C:\\X\\tool", L".reg"), L"C:\\X\\tool.reg");
  EXPECT_EQ(RemoveExtension(L"reg_ini.x64"), L"reg_ini");
  EXPECT_EQ(RemoveExtension(L"CMD_CP. X64"), L"CMD_CP. X64");
  // MAX_PATH is the limit of the result, terminator included.
  EXPECT_FALSE(RenameExtension(std::wstring(256, L'a') + L".exe", L".long").has_value());
}

TEST(ShellPath, ArgumentsFollowTheFirstBlankOutsideQuotes) {
  EXPECT_EQ(GetArgs(L"\"C:\\Tools\\Net Setup\\drv.exe\" /s"), L"/s");
  EXPECT_EQ(GetArgs(L"C:\\drv.exe  -s x"), L" -s x");
  EXPECT_EQ(GetArgs(L"\"C:\\drv.exe\""), L"");
  EXPECT_EQ(GetArgs(L""), L"");
}

TEST(ShellPath, AppendJoinsAndResolvesDots) {
  EXPECT_EQ(Append(L"C:\\Program Files", L"VELTARO\\NetworkDriver"), L"C:\\Program Files\\VELTARO\\NetworkDriver");
  EXPECT_EQ(Append(L"C:\\a\\", L"\\b"), L"C:\\a\\b");
  EXPECT_EQ(Append(L"C:\\a\\b", L"..\\c"), L"C:\\a\\c");
  EXPECT_EQ(Append(L"C:\\a", L"..\\..\\..\\c"), L"C:\\c");
  EXPECT_EQ(Append(L"C:\\a", L"D:\\x"), L"D:\\x");
  EXPECT_FALSE(Append(std::wstring(250, L'a'), L"0123456789").has_value());
}

}  // namespace
}  // namespace tv::shell
