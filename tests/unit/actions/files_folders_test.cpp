#include <gtest/gtest.h>

#include "actions/driver_install.h"
#include "app/process_objects.h"
#include "platform/product_cache.h"
#include "sim/lint.h"
#include "test_machine.h"

namespace tv {
namespace {

constexpr std::wstring_view kTool = L"C:\\Tools\\Net Setup";

// The action object of a notebook, for calling the file operations directly.
struct Actions {
  explicit Actions(std::string_view script = "") {
    test::SetUpNotebook(m, script);
    m.files.WriteFile(std::wstring(kTool) + L"\\driver\\net.inf", std::string_view("inf"));
    m.files.WriteFile(std::wstring(kTool) + L"\\driver\\sub\\net.sys", std::string_view("sys"));
    m.files.WriteFile(std::wstring(kTool) + L"\\driver\\sub\\drv.exe", std::string_view("MZ"));  // the tool's name
  }
  CAction& action() {
    if (!objects) {
      process = std::make_unique<CProcessPlatform>(m.platform());
      objects = std::make_unique<CProcessObjects>(process->get());
    }
    return objects->action;
  }
  std::string Read(std::wstring_view path) {
    auto bytes = m.files.ReadFile(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
  }
  sim::SimMachine m;
  std::unique_ptr<CProcessPlatform> process;
  std::unique_ptr<CProcessObjects> objects;
};

TEST(RemoveFiles, DeletesWhatItCanAndSaysWhatItCannot) {
  Actions t(
      "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\n[Rm]\nFILE=5\nFILE1=C:\\none.txt\nFILE2=C:\\a.txt\n"
      "FILE3=C:\\Tools\\Net Setup\\driver\nFILE4=C:\\ro.txt\nFILE5=\n");
  t.m.files.WriteFile(L"C:\\a.txt", std::string_view("a"));
  t.m.files.WriteFile(L"C:\\ro.txt", std::string_view("r"));
  t.m.files.SetAttributes(L"C:\\ro.txt", file::kReadOnly);
  sim::RunTool(t.m);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:REMOVE FILE C:\\Tools\\Net Setup\\drv.ini Rm"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Can not find File C:\\none.txt"));
  // An empty path names no file, not the current folder.
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Can not find File ")) << ToUtf8(t.m.DebugText());
  // Nor does a path of MAX_PATH characters or more, without \\?\, though the file is there.
  const std::wstring deep = L"C:\\tvfuzz\\" + std::wstring(120, L'd') + L"\\" + std::wstring(140, L'f') + L".txt";
  Actions longer("[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\n[Rm]\nFILE=1\nFILE1=" + ToUtf8(deep) + "\n");
  longer.m.files.WriteFile(deep, std::string_view("d"));
  sim::RunTool(longer.m);
  EXPECT_TRUE(test::HasLine(longer.m, L"drv:Can not find File " + deep)) << ToUtf8(longer.m.DebugText());
  EXPECT_TRUE(longer.m.files.Exists(deep));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Delete File C:\\a.txt"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error Delete File C:\\Tools\\Net Setup\\driver"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error Delete File C:\\ro.txt"));
  EXPECT_FALSE(t.m.files.Exists(L"C:\\a.txt"));
  EXPECT_TRUE(t.m.files.Exists(L"C:\\ro.txt"));
}

// The spellings Windows reads as the same file: a script that names
// win.ini so deletes it, however harmless the line looks.
TEST(RemoveFiles, PathsAreReadAsWindowsReadsThem) {
  for (const char* spelling : {"C:\\Program Files\\VELTARO\\NetworkDriver\\..\\..\\..\\WINDOWS\\win.ini",
                               "C:\\WINDOWS\\win.ini.", "C:\\WINDOWS\\win.ini  ", "\\\\?\\C:\\WINDOWS\\win.ini",
                               "..\\..\\WINDOWS\\win.ini", "\\WINDOWS\\win.ini", "C:/WINDOWS//win.ini"}) {
    Actions t(std::string("[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\n[Rm]\nFILE=1\nFILE1=") + spelling + "\n");
    t.m.files.WriteFile(L"C:\\WINDOWS\\win.ini", std::string_view("[windows]"));
    sim::RunTool(t.m);
    EXPECT_FALSE(t.m.files.Exists(L"C:\\WINDOWS\\win.ini")) << spelling << "\n" << ToUtf8(t.m.DebugText());
  }
  // A closing separator asks for a folder: the file stays.
  Actions folder("[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\n[Rm]\nFILE=1\nFILE1=C:\\a.txt\\\n");
  folder.m.files.WriteFile(L"C:\\a.txt", std::string_view("a"));
  sim::RunTool(folder.m);
  EXPECT_TRUE(folder.m.files.Exists(L"C:\\a.txt"));
  EXPECT_TRUE(test::HasLine(folder.m, L"drv:Can not find File C:\\a.txt\\")) << ToUtf8(folder.m.DebugText());
}

// The running tool's own executable and a file another program holds open
// are not deleted or overwritten.
TEST(RemoveFiles, FilesInUseStay) {
  Actions t(
      "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\nCMD2=COPY_FOLDERS\nCMD2_SECTION=Cp\n"
      "[Rm]\nFILE=2\nFILE1=C:\\Tools\\Net Setup\\drv.EXE\nFILE2=C:\\Log\\open.log\n"
      "[Cp]\nFOLDER=1\nFOLDER1_SRC=C:\\New\nFOLDER1_DEST=C:\\Log\n");
  t.m.files.WriteFile(L"C:\\Log\\open.log", std::string_view("old"));
  t.m.files.WriteFile(L"C:\\New\\open.log", std::string_view("new"));
  t.m.filesInUse.push_back(L"C:\\Log\\open.log");
  sim::RunTool(t.m);
  EXPECT_TRUE(t.m.files.Exists(L"C:\\Tools\\Net Setup\\drv.EXE"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error Delete File C:\\Tools\\Net Setup\\drv.EXE"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error Delete File C:\\Log\\open.log"));
  EXPECT_EQ(t.Read(L"C:\\Log\\open.log"), "old");
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:CopyFile C:\\Log\\open.log ERROR=32")) << ToUtf8(t.m.DebugText());
}

TEST(CopyFiles, CopiesTheTreeOverwritingAndLeavesTheToolOut) {
  Actions t;
  t.m.files.WriteFile(L"D:\\out\\net.inf", std::string_view("old"));
  t.m.files.WriteFile(L"D:\\out\\only-here.txt", std::string_view("keep"));
  EXPECT_EQ(t.action().CopyFiles(std::wstring(kTool) + L"\\driver", L"D:\\out"), 1);
  EXPECT_EQ(t.Read(L"D:\\out\\net.inf"), "inf");
  EXPECT_EQ(t.Read(L"D:\\out\\sub\\net.sys"), "sys");
  EXPECT_EQ(t.Read(L"D:\\out\\only-here.txt"), "keep");
  EXPECT_FALSE(t.m.files.Exists(L"D:\\out\\sub\\drv.exe"));

  t.m.files.CreateDirectories(L"C:\\empty");
  EXPECT_EQ(t.action().CopyFiles(L"C:\\empty", L"D:\\new\\deep\\dir\\"), 1);
  EXPECT_TRUE(t.m.files.IsDirectory(L"D:\\new\\deep\\dir"));

  EXPECT_EQ(t.action().CopyFiles(L"C:\\missing", L"D:\\x"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:FindFirstFile ERROR=InvalidHandle"));
  t.m.files.SetAttributes(L"D:\\out\\net.inf", file::kReadOnly);
  EXPECT_EQ(t.action().CopyFiles(std::wstring(kTool) + L"\\driver", L"D:\\out"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:CopyFile D:\\out\\net.inf ERROR=5"));
  t.m.faults.Fail("CreateDirectory", err::kAccessDenied);
  EXPECT_EQ(t.action().CopyFiles(L"C:\\empty", L"D:\\denied"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:CreateDirectory ERROR=5"));
}

TEST(CopyFiles, APathTooLongForItsRoomFailsInsteadOfBeingCut) {
  Actions t;
  const std::wstring deep = L"C:\\src\\" + std::wstring(240, L'd');
  t.m.files.WriteFile(deep + L"\\a-name-that-goes-past-the-room.txt", std::string_view("x"));
  t.m.files.CreateDirectories(L"D:\\");
  EXPECT_EQ(t.action().CopyFiles(L"C:\\src", L"D:\\dst"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:CopyFile D:\\dst\\" + std::wstring(240, L'd') +
                                     L"\\a-name-that-goes-past-the-room.txt ERROR=206"));
  EXPECT_FALSE(t.m.files.Exists(L"D:\\dst\\" + std::wstring(240, L'd') + L"\\a-name-that-goes-past-the-r"));

  // The room is 259 characters: a path of exactly that length is copied, one
  // more is refused.
  for (const std::size_t length : {259U, 260U}) {
    Actions b;
    const std::wstring folder = L"C:\\s";
    const std::wstring name(length - std::wstring(L"D:\\d\\").size(), L'n');
    b.m.files.WriteFile(folder + L"\\" + name, std::string_view("x"));
    b.m.files.CreateDirectories(L"D:\\");
    const std::wstring target = L"D:\\d\\" + name;
    ASSERT_EQ(target.size(), length);
    EXPECT_EQ(b.action().CopyFiles(folder, L"D:\\d"), length == 259 ? 1 : 0) << length;
    EXPECT_EQ(b.m.files.Exists(target), length == 259) << length;
  }
}

TEST(DeleteDirectory, ClearsAttributesAndTakesATrailingBackslash) {
  Actions t;
  t.m.files.WriteFile(L"C:\\old\\a\\ro.sys", std::string_view("x"));
  t.m.files.SetAttributes(L"C:\\old\\a\\ro.sys", file::kReadOnly | file::kHidden | file::kSystem);
  t.m.files.WriteFile(L"C:\\old\\drv.exe", std::string_view("MZ"));  // deleted too: only the copy skips it
  EXPECT_EQ(t.action().DeleteDirectory(L"C:\\old\\"), 1);
  EXPECT_FALSE(t.m.files.Exists(L"C:\\old"));
  EXPECT_EQ(t.action().DeleteDirectory(L"C:\\old"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:DeleteDirectory:FindFirstFile ERROR=InvalidHandle"));
  t.m.files.WriteFile(L"C:\\busy\\f.dll", std::string_view("x"));
  t.m.faults.Fail("DeleteFile", 32, L"C:\\busy\\f.dll");
  EXPECT_EQ(t.action().DeleteDirectory(L"C:\\busy"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:DeleteDirectory:DeleteFile C:\\busy\\f.dll ERROR=32"));
  EXPECT_TRUE(t.m.files.Exists(L"C:\\busy"));
  // A file that stays in a subfolder fails the whole deletion, which stops there.
  t.m.files.WriteFile(L"C:\\deep\\sub\\f.dll", std::string_view("x"));
  t.m.files.WriteFile(L"C:\\deep\\z.txt", std::string_view("z"));
  t.m.faults.Fail("DeleteFile", 32, L"C:\\deep\\sub\\f.dll");
  EXPECT_EQ(t.action().DeleteDirectory(L"C:\\deep"), 0);
  EXPECT_TRUE(t.m.files.Exists(L"C:\\deep\\z.txt"));
}

// The containment rule's edges: the same folder is inside itself, a longer
// name beside it is not, whatever the case and the closing separators.
TEST(PathIsInside, SameFolderSubfolderAndANameThatOnlyBeginsTheSame) {
  EXPECT_TRUE(PathIsInside(L"C:\\Tools\\Net Setup", L"C:\\Tools\\Net Setup"));
  EXPECT_TRUE(PathIsInside(L"c:\\tools\\net setup\\", L"C:\\Tools\\Net Setup"));
  EXPECT_TRUE(PathIsInside(L"C:\\Tools\\Net Setup\\driver", L"C:\\Tools\\Net Setup\\"));
  EXPECT_FALSE(PathIsInside(L"C:\\Tools\\Net Setup2", L"C:\\Tools\\Net Setup"));
  EXPECT_FALSE(PathIsInside(L"C:\\Tools", L"C:\\Tools\\Net Setup"));
  EXPECT_TRUE(PathIsInside(L"C:\\Tools", L"C:\\"));
  EXPECT_FALSE(PathIsInside(L"C:\\Tools", L""));
}

TEST(CopyFolders, PairsUnderTheInstallRootAndUnusablePairs) {
  Actions t(
      "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=Cp\n[Cp]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=3\n"
      "FOLDER1_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER1_DEST=Sub\\Dir\nFOLDER2_DEST=X\n"
      "FOLDER3_SRC=C:\\Tools\\Net Setup\\driver\n");
  sim::RunTool(t.m);
  EXPECT_EQ(t.Read(L"C:\\Program Files\\Sub\\Dir\\sub\\net.sys"), "sys");
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Success CopyFolders C:\\Tools\\Net Setup\\driver->C:\\Program Files\\Sub\\Dir"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error CopyFolders ->C:\\Program Files\\X"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Error CopyFolders C:\\Tools\\Net Setup\\driver->C:\\Program Files"));
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFolders:End"));
  EXPECT_FALSE(t.m.files.Exists(L"C:\\Program Files\\net.inf"));

  // Without any install root nothing is copied and nothing traced.
  Actions none("[Cp]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=1\n");
  none.m.faults.Fail("SHGetFolderPath", err::kFileNotFound);
  EXPECT_EQ(none.action().CopyFolders(std::wstring(test::kScriptPath), L"Cp"), 0);
  EXPECT_FALSE(test::HasLine(none.m, L"drv:CopyFolders:Start"));
}

// A destination is the folder PathAppendW makes of it: a leading backslash
// is dropped, a ".." that stays under the root is resolved; a drive, a share
// or a ".." that climbs out is refused.
TEST(CopyFolders, TheDestinationIsJudgedAsTheFolderItMakes) {
  Actions t(
      "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=Cp\n[Cp]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=4\n"
      "FOLDER1_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER1_DEST=\\VELTARO\\Manuals\n"
      "FOLDER2_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER2_DEST=VELTARO\\Old\\..\\Docs\n"
      "FOLDER3_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER3_DEST=VELTARO\\..\\..\\WINDOWS\n"
      "FOLDER4_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER4_DEST=\\\\server\\share\n");
  t.m.files.CreateDirectories(L"C:\\Program Files");
  sim::RunTool(t.m);
  EXPECT_EQ(t.Read(L"C:\\Program Files\\VELTARO\\Manuals\\net.inf"), "inf") << ToUtf8(t.m.DebugText());
  EXPECT_EQ(t.Read(L"C:\\Program Files\\VELTARO\\Docs\\net.inf"), "inf");
  EXPECT_FALSE(t.m.files.Exists(L"C:\\WINDOWS\\net.inf"));
  EXPECT_TRUE(test::HasLine(
      t.m, L"drv:CopyFolders:Error FOLDER3_DEST=VELTARO\\..\\..\\WINDOWS is not a folder under C:\\Program Files"));
  EXPECT_TRUE(test::HasLine(t.m,
                            L"drv:CopyFolders:Error FOLDER4_DEST=\\\\server\\share is not a folder under "
                            L"C:\\Program Files"));
  // The linter judges them the same way.
  const auto findings = lint::LintScript(
      L"[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=Cp\n[Cp]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=2\n"
      L"FOLDER1_SRC=C:\\A\nFOLDER1_DEST=\\VELTARO\\Manuals\nFOLDER2_SRC=C:\\A\nFOLDER2_DEST=VELTARO\\..\\..\\X\n",
      L"drv", {});
  ASSERT_EQ(findings.size(), 1U) << lint::FormatFindings("drv.ini", findings);
  EXPECT_EQ(findings[0].line, 10U);
  EXPECT_EQ(findings[0].rule, "TV036");
}

TEST(CopyFolders, ADestinationUnderTheInstallRootStaysUnderIt) {
  Actions t(
      "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=Cp\n[Cp]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=3\n"
      "FOLDER1_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER1_DEST=..\\WINDOWS\\system32\n"
      "FOLDER2_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER2_DEST=Common Files\\System\n"
      "FOLDER3_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER3_DEST=VELTARO\\Manuals\n");
  t.m.files.CreateDirectories(L"C:\\Program Files");
  sim::RunTool(t.m);
  EXPECT_FALSE(t.m.files.Exists(L"C:\\WINDOWS\\system32\\net.inf")) << t.m.files.ToString();
  // Nothing is emptied: a folder that Windows keeps there may receive files.
  EXPECT_EQ(t.Read(L"C:\\Program Files\\Common Files\\System\\net.inf"), "inf");
  EXPECT_EQ(t.Read(L"C:\\Program Files\\VELTARO\\Manuals\\net.inf"), "inf");
  EXPECT_TRUE(test::HasLine(
      t.m, L"drv:CopyFolders:Error FOLDER1_DEST=..\\WINDOWS\\system32 is not a folder under C:\\Program Files"));
  EXPECT_TRUE(test::HasLine(
      t.m, L"drv:Success CopyFolders C:\\Tools\\Net Setup\\driver->C:\\Program Files\\Common Files\\System"));
}

TEST(CopyFiles, DoesNotFollowALinkInTheSource) {
  // A junction in the package would copy whatever it points to.
  Actions t;
  t.m.files.WriteFile(L"C:\\Users\\me\\secret.txt", std::string_view("s"));
  t.m.files.CreateLink(std::wstring(kTool) + L"\\driver\\home", L"C:\\Users\\me");
  EXPECT_NE(t.action().CopyFiles(std::wstring(kTool) + L"\\driver", L"C:\\Out"), 0);
  EXPECT_EQ(t.Read(L"C:\\Out\\net.inf"), "inf");
  EXPECT_FALSE(t.m.files.Exists(L"C:\\Out\\home")) << t.m.files.ToString();
  EXPECT_TRUE(test::HasLine(t.m, L"drv:CopyFiles:Skip link " + std::wstring(kTool) + L"\\driver\\home"));
}

// Any user may make a folder at the root of a drive and turn it into a
// junction: a path the script names through it would delete or write in the
// folder it points to, as SYSTEM. Such a path is skipped, and said so.
TEST(RemoveFilesAndCopyFolders, APathThroughALinkIsSkipped) {
  Actions t(
      "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=Rm\nCMD2=COPY_FOLDERS\nCMD2_SECTION=Cp\n"
      "[Rm]\nFILE=2\nFILE1=C:\\VELTARO\\old.log\nFILE2=C:\\Real\\old.log\n"
      "[Cp]\nFOLDER=2\nFOLDER1_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER1_DEST=C:\\VELTARO\\Manuals\n"
      "FOLDER2_SRC=C:\\Tools\\Net Setup\\driver\nFOLDER2_DEST=C:\\Real\\Manuals\n");
  t.m.files.WriteFile(L"C:\\WINDOWS\\system32\\config\\old.log", std::string_view("hive log"));
  t.m.files.CreateLink(L"C:\\VELTARO", L"C:\\WINDOWS\\system32\\config");
  t.m.files.WriteFile(L"C:\\Real\\old.log", std::string_view("old"));
  sim::RunTool(t.m);
  EXPECT_EQ(t.Read(L"C:\\WINDOWS\\system32\\config\\old.log"), "hive log");
  EXPECT_FALSE(t.m.files.Exists(L"C:\\WINDOWS\\system32\\config\\Manuals")) << t.m.files.ToString();
  EXPECT_TRUE(test::HasLine(t.m, L"drv:Skip File C:\\VELTARO\\old.log: the folder C:\\VELTARO on its path is a link"));
  EXPECT_TRUE(test::HasLine(
      t.m, L"drv:CopyFolders:Error FOLDER1_DEST=C:\\VELTARO\\Manuals: the folder C:\\VELTARO on its path is a link"));
  // Paths without a link are done as before.
  EXPECT_FALSE(t.m.files.Exists(L"C:\\Real\\old.log"));
  EXPECT_EQ(t.Read(L"C:\\Real\\Manuals\\net.inf"), "inf");
}

TEST(DeleteDirectory, ALinkThatCannotBeRemovedEndsTheDeletion) {
  Actions t;
  t.m.files.WriteFile(L"C:\\Target\\kept.txt", std::string_view("k"));
  t.m.files.CreateLink(L"C:\\Old\\a-link", L"C:\\Target");
  t.m.files.WriteFile(L"C:\\Old\\z.txt", std::string_view("z"));
  t.m.faults.Fail("RemoveDirectory", err::kAccessDenied, L"C:\\Old\\a-link");
  EXPECT_EQ(t.action().DeleteDirectory(L"C:\\Old"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:DeleteDirectory:RemoveDirectory C:\\Old\\a-link ERROR=5"));
  EXPECT_TRUE(t.m.files.Exists(L"C:\\Old\\z.txt"));  // the deletion ends at the first failure
  EXPECT_TRUE(t.m.files.Exists(L"C:\\Target\\kept.txt"));
}

TEST(Actions, ResultsOfTheRefusals) {
  // The handlers do not look at these results, but the callers inside the tool and its tests do.
  Actions t("[Rm]\n[Drv]\nDESTDIR=Common Files\n");
  EXPECT_EQ(t.action().AddRegFromRegFile(L"C:\\none.reg"), 0);
  EXPECT_EQ(t.action().AddDelRegFromIni(std::wstring(test::kScriptPath), L"Rm", L""), 0);
  EXPECT_EQ(t.action().InstallDriver(std::wstring(test::kScriptPath), L"Drv"), 0);
  EXPECT_TRUE(test::HasLine(t.m, L"drv:AddDelRegFromIni:Start"));

  // An install folder that is the tool's own, or that lies under a link.
  Actions own("[Own]\nDESTDIR=Net Setup\n[Linked]\nDESTDIR=VELTARO\\X\n");
  own.m.programFilesFolder = L"C:\\Tools";
  own.m.files.CreateLink(L"C:\\Tools\\VELTARO", L"C:\\Elsewhere");
  EXPECT_EQ(own.action().InstallDriver(std::wstring(test::kScriptPath), L"Own"), 0);
  EXPECT_EQ(own.action().InstallDriver(std::wstring(test::kScriptPath), L"Linked"), 0);
  EXPECT_TRUE(own.m.files.Exists(std::wstring(kTool) + L"\\driver\\net.inf"));
}

// A relative path is judged from its first component, in the current folder.
TEST(LinkOnPath, ARelativePathAndTheLastComponent) {
  Actions t;
  t.m.files.CreateLink(std::wstring(kTool) + L"\\VELTARO", L"C:\\Elsewhere");
  IFileSystem& files = t.m.platform().files;
  EXPECT_EQ(LinkOnPath(files, L"VELTARO\\old.log", false), std::optional<std::wstring>(L"VELTARO"));
  EXPECT_EQ(LinkOnPath(files, std::wstring(kTool) + L"\\VELTARO", false), std::nullopt);
  EXPECT_EQ(LinkOnPath(files, std::wstring(kTool) + L"\\VELTARO\\", true),
            std::optional<std::wstring>(std::wstring(kTool) + L"\\VELTARO"));
  EXPECT_EQ(LinkOnPath(files, L"C:\\NotThere\\VELTARO\\x", true), std::nullopt);
}

// A path inside the folder that no longer fits its room stops the deletion
// with the error, rather than being cut into another path.
TEST(DeleteDirectory, AnEntryPastTheRoomOfAPathEndsTheDeletion) {
  Actions t;
  const std::wstring folder = L"C:\\" + std::wstring(240, L'd');
  t.m.files.WriteFile(folder + L"\\" + std::wstring(30, L'f') + L".txt", std::string_view("x"));
  EXPECT_EQ(t.action().DeleteDirectory(folder), 0);
  EXPECT_TRUE(test::HasLine(
      t.m, L"drv:DeleteDirectory:DeleteFile " + folder + L"\\" + std::wstring(30, L'f') + L".txt ERROR=206"));
}

}  // namespace
}  // namespace tv
