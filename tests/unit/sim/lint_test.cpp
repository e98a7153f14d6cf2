#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "script/command.h"
#include "sim/lint.h"

namespace tv::lint {
namespace {

using S = Severity;

std::vector<Finding> Lint(const std::string& script, const PackageLookup& package = {}) {
  return LintScript(FromUtf8(script), L"drv", package);
}

std::string Dump(const std::vector<Finding>& findings) { return FormatFindings("drv.ini", findings); }

bool Has(const std::vector<Finding>& findings, std::size_t line, S severity, const std::string& text) {
  for (const auto& f : findings) {
    if (f.line == line && f.severity == severity && f.reason.find(text) != std::string::npos) return true;
  }
  return false;
}

struct Case {
  const char* name;
  std::string script;
  std::size_t line;
  S severity;
  const char* reason;
};

// One script per kind of finding; the line is where the author has to look.
const Case kCases[] = {
    {"no INIT", "[Other]\nA=1\n", 1, S::kError, "no [INIT] section"},
    {"gap in the numbering", "[INIT]\nCMD1=CHECK_VENDOR\nCMD3=CHECK_WOW6432\n", 3, S::kError,
     "CMD3 never runs: CMD2 is missing"},
    {"empty command ends the list", "[INIT]\nCMD1=CHECK_VENDOR\nCMD2=\nCMD3=CHECK_MODEM\n", 4, S::kError,
     "CMD2 is empty"},
    {"unknown keyword", "[INIT]\nCMD1=CHECK_VENDER\n", 2, S::kError, "unknown keyword CHECK_VENDER"},
    {"unknown suffix", "[INIT]\nCMD1=CHECK_VENDOR.x86\n", 2, S::kWarning, ".x86 is not a platform suffix"},
    {"blank after the dot", "[INIT]\nCMD1=CHECK_VENDOR. X64\n", 2, S::kError, "a blank after the dot"},
    {"missing section", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Settings\n", 3, S::kError, "section [Settings] is missing"},
    {"no section named", "[INIT]\nCMD1=REMOVE_FILES\n", 2, S::kError, "CMD1_SECTION is missing or empty"},
    {"every OS section missing", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_XP64]\nDEV=0\n", 3, S::kError,
     "none of the sections [Drv_2000], [Drv_XP], [Drv_VISTA], [Drv]"},
    {"section given to a command that reads none", "[INIT]\nCMD1=CHECK_MODEM\nCMD1_SECTION=Modem\n", 3, S::kWarning,
     "CHECK_MODEM reads no section"},
    {"numbered key missing", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=2\nFILE1=C:\\a.txt\n", 5,
     S::kWarning, "FILE=2 but FILE2 is missing"},
    {"numbered key beyond the count", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=a\nFILE2=b\n", 7,
     S::kWarning, "FILE2 is never read: FILE=1 stops before it"},
    {"numbered key without a count", "[INIT]\nCMD1=TPROCESS\nCMD1_SECTION=T\n[T]\nPROCESS1=tray.exe\n", 5, S::kWarning,
     "there is no TPROCESS count"},
    {"leading zero", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=a\nFILE01=b\n", 7, S::kWarning,
     "no leading zeros"},
    {"negative count", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=-1\n", 5, S::kWarning,
     "DEV=-1 is negative and means none"},
    {"a count that is not a number", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=two\n", 5, S::kWarning,
     "DEV=two is not a number"},
    {"key no command reads", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=0\nEXISTS_ONLY=1\n", 6, S::kWarning,
     "no command reads key EXISTS_ONLY in [R]"},
    {"key in INIT no command reads", "[INIT]\nCMD1=CHECK_VENDOR\nCOMMENT=x\n", 3, S::kWarning,
     "no command reads key COMMENT in [INIT]"},
    {"refused DESTDIR", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D_XP]\nDESTDIR=C:\\Drivers\n", 5, S::kError,
     "DESTDIR=C:\\Drivers is refused"},
    {"refused DESTDIR climbing out", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=VELTARO\\..\\..\n", 5,
     S::kError, "is refused"},
    {"empty hardware ID in a check", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=1\nHWID1=\n", 6, S::kError,
     "HWID1 in [H] is empty, which names no device: the tool refuses it"},
    {"missing hardware ID in a check", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=2\nHWID1=PCI\\A\n", 5,
     S::kError, "HWID2 in [H] is missing and reads as empty, which names no device"},
    {"empty hardware ID in an install",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDEV=1\nDEV1=\nDEVINF1=a.inf\n", 6, S::kError,
     "DEV1 in [D] is empty"},
    {"empty hardware ID in the rescan step",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nREFRESH=1\nDETECTCOUNT=1\nDETECTDEV1=\n", 7, S::kError,
     "never keeps the rescan step from running"},
    {"empty hardware ID for removal", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=\n", 6, S::kError,
     "the tool skips it and removes nothing"},
    {"a bus alone for removal", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\\n", 6, S::kError,
     "DEV1 in [R] is PCI\\, which names no device"},
    {"a delete entry without a key path", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nDELREG=1\nDELREG1_ROOT=HKLM\n", 5,
     S::kError, "without a key path the entry names the root"},
    {"a driver-key delete without a value name",
     "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n[R_PCI\\A]\nDELREG=1\nDELREG1_ENTRYNAME=\n", 9,
     S::kError, "the installer would delete the whole driver key"},
    {"a ; in a value",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=A\n"
     "ADDREG1_VALUE=1 ; one\n",
     8, S::kWarning, "reads the rest of the line as a comment"},
    {"a count past its bound", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=0x7fffffff\n", 5, S::kError,
     "is more than the 100000 entries the tool reads"},
    {"a count that wraps", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=99999999999\n", 5, S::kError,
     "(99999999999 wraps to 1215752191)"},
    {"a pause past its bound", "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\n[C]\nCMD=0\nCMD_SLEEP=700000\n", 6, S::kError,
     "the tool pauses 600000 ms"},
    {"DESTDIR a folder Windows keeps", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=Common Files\n", 5,
     S::kError, "a folder that Windows keeps under Program Files"},
    {"DESTDIR of one folder", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=VELTARO\n", 5, S::kWarning,
     "is one folder: a maker's folder of several products"},
    {"COPY_FOLDERS out of Program Files",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=1\nFOLDER1_SRC=C:\\x\n"
     "FOLDER1_DEST=..\\WINDOWS\\system32\n",
     8, S::kError, "must be a folder under Program Files"},
    {"COPY_FOLDERS into its own source",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=C:\\x\nFOLDER1_DEST=C:\\x\\copy\n", 7,
     S::kError, "lies in its source C:\\x"},
    {"rescan keys without REFRESH", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDETECTCOUNT=1\nDETECTDEV1=X\n",
     5, S::kWarning, "read only with REFRESH=1"},
    {"CHECK_HWID without a count", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID1=PCI\\VEN_1\n", 4, S::kError,
     "the check always fails"},
    {"region variant of two letters", "[INIT]\nCMD1=CMD_REGION\nCMD1_SECTION=T\n[T]\nCMD=0\n[T_JP]\nCMD=0\n", 6,
     S::kWarning, "[T_JP] is never selected"},
    {"language variant of three digits", "[INIT]\nCMD1=REG_INI_UILANG\nCMD1_SECTION=H\n[H]\nADDREG=0\n[H_411]\n", 6,
     S::kWarning, "four hexadecimal digits"},
    {"variant of a command that takes none", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=S\n[S]\nDELREG=0\n[S_J]\n", 6,
     S::kWarning, "reads [S] and no variant of it"},
    {"OS ending that does not exist", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D_XP]\n[D_WIN7]\n", 5, S::kWarning,
     "reads only the endings _2000, _XP and _VISTA"},
    {"driver key section of an ID no DEV lists",
     "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n[R_PCI\\A]\n[R_PCI\\B]\n", 8, S::kWarning,
     "only for the IDs its DEV keys list"},
    {"driver key section missing", "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n", 6, S::kWarning,
     "no section [R_PCI\\A]"},
    {"DEV missing reads DEFAULT_ID", "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\n", 5, S::kWarning,
     "read as the hardware ID DEFAULT_ID"},
    {"plain section of a region command missing", "[INIT]\nCMD1=CMD_REGION\nCMD1_SECTION=T\n[T_J]\nCMD=0\n", 3,
     S::kWarning, "no section [T]: on a machine of another region"},
    {"section nobody reads", "[INIT]\nCMD1=CHECK_VENDOR\n[Leftover]\nA=1\n", 3, S::kWarning,
     "section [Leftover] is not read by any command"},
    {"repeated key", "[INIT]\nCMD1=CHECK_VENDOR\nCMD1=CHECK_MODEM\n", 3, S::kWarning,
     "only the first, at line 2, is read"},
    {"repeated section", "[INIT]\nCMD1=CHECK_VENDOR\n[INIT]\nCMD2=CHECK_MODEM\n", 3, S::kWarning,
     "section [INIT] appears again"},
    {"value longer than its room",
     "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\n[C]\nCMD=0\nCMD_PLUSARG=" + std::string(300, 'x') + "\n", 6, S::kWarning,
     "cut to 259"},
    {"only the first character of the forced region", "[INIT]\nFORCE_REGION=JP\nCMD1=CHECK_VENDOR\n", 2, S::kWarning,
     "only its first character, J"},
    {"a section for a command without its command", "[INIT]\nCMD1=CHECK_VENDOR\nCMD5_SECTION=X\n", 3, S::kWarning,
     "CMD5_SECTION has no CMD5"},
};

TEST(Lint, EachFindingIsReportedAtItsLine) {
  for (const auto& c : kCases) {
    const auto findings = Lint(c.script);
    EXPECT_TRUE(Has(findings, c.line, c.severity, c.reason)) << c.name << ":\n" << Dump(findings);
  }
}

TEST(Lint, MoreThanSixtyFourCommands) {
  std::string script = "[INIT]\n";
  for (int n = 1; n <= 66; ++n) script += "CMD" + std::to_string(n) + "=CHECK_VENDOR\n";
  const auto findings = Lint(script);
  EXPECT_TRUE(Has(findings, 66, S::kError, "CMD65 never runs: the tool runs at most 64 commands")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 67, S::kError, "CMD66 never runs")) << Dump(findings);
  EXPECT_EQ(findings.size(), 2U) << Dump(findings);
}

TEST(Lint, FilesThatAreNotInThePackage) {
  const std::string script =
      "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\nCMD2=INSTALL_DRIVER\nCMD2_SECTION=D\nCMD3=REG_FILE\n"
      "[C]\nCMD=2\nCMD1=tools\\setup.exe\nCMD2=tools\\gone.exe\n"
      "[D]\nDEV=1\nDEV1=PCI\\A\nDEVINF1=drv\\a.inf\nINFCOPY=1\nINF1=drv\\b.inf\n";
  const std::set<std::wstring> present{L"tools\\setup.exe", L"drv\\a.inf"};
  const PackageLookup lookup = [&](std::wstring_view path) { return present.contains(std::wstring(path)); };
  const auto findings = Lint(script, lookup);
  EXPECT_TRUE(Has(findings, 6, S::kWarning, "REG_FILE imports drv.reg, which is not beside the script"));
  EXPECT_TRUE(Has(findings, 10, S::kWarning, "tools\\gone.exe is not in the package"));
  EXPECT_TRUE(Has(findings, 16, S::kWarning, "drv\\b.inf is not in the package"));
  EXPECT_EQ(findings.size(), 3U) << Dump(findings);
  // Without a package nothing is looked up.
  EXPECT_TRUE(Lint(script).empty()) << Dump(Lint(script));
}

TEST(Lint, AScriptThatDoesWhatItSaysIsClean) {
  // Variants that are selected, shared sections, suffixes, case and blanks as Windows reads them.
  const std::string script =
      "; comment\n"
      "[INIT]\nFORCE_REGION=\ncmd1=Check_Vendor\nCMD2=REG_INI_UILANG\nCMD2_SECTION=Help\n"
      "CMD3=CMD_REGION.X32\nCMD3_SECTION=Tool\nCMD4=MODEM_REGION.wow6432\nCMD4_SECTION=Tool\n"
      "CMD5=DRIVER_REG\nCMD5_SECTION=Drv\nCMD6=INSTALL_DRIVER\nCMD6_SECTION=Pkg\n"
      "[Help]\nADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=Software\\X\nADDREG1_ENTRYNAME=Help\nADDREG1_VALUE=en\n"
      "[help_0411]\nADDREG=0\n"
      "[ Tool ]\nCMD=0\nADDREG=0\n[Tool_J]\nCMD=0\nDELREG=1\nDELREG1_ROOT=HKLM\nDELREG1_SUBKEY=SOFTWARE\\X\n"
      "[Drv]\nDEV=1\nDEV1=PCI\\VEN_1\nPRESLEEP=100\n[Drv_PCI\\VEN_1]\nDELREG=1\nDELREG1_ENTRYNAME=Old\n"
      "[Pkg_XP]\nDESTDIR=\"VELTARO\\Net\"\nDEV=1\nDEV1=PCI\\VEN_1\nDEVINF1=a.inf\n[Pkg_VISTA]\nREFRESH=1\n"
      "DETECTCOUNT=1\nDETECTDEV1=PCI\\VEN_1\n";
  const auto findings = Lint(script);
  EXPECT_TRUE(findings.empty()) << Dump(findings);
}

TEST(Lint, TheShippedExamplesAreClean) {
  const std::filesystem::path examples = std::filesystem::path(TARNVALE_SOURCE_DIR) / "examples";
  int scripts = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(examples)) {
    if (entry.path().extension() != ".ini") continue;
    ++scripts;
    const auto findings = LintHostScript(entry.path());
    ASSERT_TRUE(findings.has_value()) << entry.path();
    EXPECT_TRUE(findings->empty()) << FormatFindings(entry.path().string(), *findings);
  }
  EXPECT_GE(scripts, 3);
}

TEST(Lint, KnowsEveryKeywordOfTheTool) {
  std::set<std::wstring> tool;
  for (const auto& row : KeywordTable()) tool.emplace(row.keyword);
  std::set<std::wstring> linter;
  for (auto k : KnownKeywords()) linter.emplace(k);
  EXPECT_EQ(tool, linter);
}

TEST(Lint, ExitCodeAndFormat) {
  EXPECT_EQ(ExitCode({}), 0);
  const std::vector<Finding> warnings{{4, S::kWarning, "w"}};
  EXPECT_EQ(ExitCode(warnings), 1);
  const std::vector<Finding> both{{4, S::kWarning, "w"}, {2, S::kError, "e"}};
  EXPECT_EQ(ExitCode(both), 2);
  EXPECT_EQ(FormatFindings("a.ini", both), "a.ini:4: warning: w\na.ini:2: error: e\n");
  // Findings come back in line order.
  const auto findings = Lint("[INIT]\nCMD1=NOPE\nCMD3=NOPE\nX=1\n");
  ASSERT_GE(findings.size(), 2U);
  for (std::size_t i = 1; i < findings.size(); ++i) EXPECT_LE(findings[i - 1].line, findings[i].line);
}

}  // namespace
}  // namespace tv::lint
