#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/sim/ansi.h"
#include "platform/sim/sim_machine.h"
#include "script/command.h"
#include "sim/lint.h"

namespace tv::lint {
namespace {

using S = Severity;

std::vector<Finding> Lint(const std::string& script, const PackageLookup& package = {}) {
  return LintScript(FromUtf8(script), L"drv", package);
}

std::string Dump(const std::vector<Finding>& findings) { return FormatFindings("drv.ini", findings); }

bool Has(const std::vector<Finding>& findings, std::size_t line, S severity, const std::string& text,
         std::string_view rule = {}) {
  for (const auto& f : findings) {
    if (f.line == line && f.severity == severity && f.reason.find(text) != std::string::npos &&
        (rule.empty() || f.rule == rule)) {
      return true;
    }
  }
  return false;
}

struct Case {
  const char* name;
  std::string script;
  std::size_t line;
  S severity;
  const char* reason;
  const char* rule;
};

// One script per kind of finding; the line is where the author has to look.
const Case kCases[] = {
    {"no INIT", "[Other]\nA=1\n", 1, S::kError, "no [INIT] section", "TV001"},
    {"gap in the numbering", "[INIT]\nCMD1=CHECK_VENDOR\nCMD3=CHECK_WOW6432\n", 3, S::kError,
     "CMD3 never runs: CMD2 is missing", "TV003"},
    {"empty command ends the list", "[INIT]\nCMD1=CHECK_VENDOR\nCMD2=\nCMD3=CHECK_MODEM\n", 4, S::kError,
     "CMD2 is empty", "TV003"},
    {"unknown keyword", "[INIT]\nCMD1=CHECK_VENDER\n", 2, S::kError, "unknown keyword CHECK_VENDER", "TV005"},
    {"a command that changes the machine on every run", "[INIT]\nCMD1=CHECK_VENDOR\nCMD2=modem_homol.WOW64\n", 3,
     S::kWarning, "flips the first byte of HomolTimeStamp on every run", "TV054"},
    {"a Windows whose INSTALL_DRIVER section is not there",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=W\n[W_VISTA]\nDESTDIR=VELTARO\\W\n", 3, S::kError,
     "can run on Windows whose section is not there: Windows 2000 [W_2000], Windows XP [W_XP], 64-bit Windows XP "
     "(5.2) [W]; there it installs no driver and copies the package into the default folder",
     "TV055"},
    {"a suffix or a CHECK_WOW6432 keeps it off the Windows without a section",
     "[INIT]\nCMD1=INSTALL_DRIVER.X64\nCMD1_SECTION=W\nCMD2=CHECK_WOW6432\nCMD3=INSTALL_DRIVER\nCMD3_SECTION=V\n"
     "[W_VISTA]\nDESTDIR=VELTARO\\W\n[V_XP]\nDESTDIR=VELTARO\\V\n[V_VISTA]\nDESTDIR=VELTARO\\V\n",
     3, S::kError, "CMD1 (INSTALL_DRIVER) can run on Windows whose section is not there: 64-bit Windows XP (5.2) [W];",
     "TV055"},
    {"unknown suffix", "[INIT]\nCMD1=CHECK_VENDOR.x86\n", 2, S::kWarning, ".x86 is not a platform suffix", "TV006"},
    {"blank after the dot", "[INIT]\nCMD1=CHECK_VENDOR. X64\n", 2, S::kError, "a blank after the dot", "TV004"},
    {"missing section", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Settings\n", 3, S::kError, "section [Settings] is missing",
     "TV009"},
    {"no section named", "[INIT]\nCMD1=REMOVE_FILES\n", 2, S::kError, "CMD1_SECTION is missing or empty", "TV008"},
    {"every OS section missing", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=Drv\n[Drv_XP64]\nDEV=0\n", 3, S::kError,
     "none of the sections [Drv_2000], [Drv_XP], [Drv_VISTA], [Drv]", "TV011"},
    {"section given to a command that reads none", "[INIT]\nCMD1=CHECK_MODEM\nCMD1_SECTION=Modem\n", 3, S::kWarning,
     "CHECK_MODEM reads no section", "TV007"},
    {"numbered key missing", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=2\nFILE1=C:\\a.txt\n", 5,
     S::kWarning, "FILE=2 but FILE2 is missing", "TV026"},
    {"numbered key beyond the count", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=a\nFILE2=b\n", 7,
     S::kWarning, "FILE2 is never read: FILE=1 stops before it", "TV014"},
    {"numbered key without a count", "[INIT]\nCMD1=TPROCESS\nCMD1_SECTION=T\n[T]\nPROCESS1=tray.exe\n", 5, S::kWarning,
     "there is no TPROCESS count", "TV014"},
    {"leading zero", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=a\nFILE01=b\n", 7, S::kWarning,
     "no leading zeros", "TV014"},
    {"negative count", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=-1\n", 5, S::kWarning,
     "DEV=-1 is negative and means none", "TV021"},
    {"a count that is not a number", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=two\n", 5, S::kWarning,
     "DEV=two is not a number", "TV020"},
    {"key no command reads", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=0\nEXISTS_ONLY=1\n", 6, S::kWarning,
     "no command reads key EXISTS_ONLY in [R]", "TV013"},
    {"key in INIT no command reads", "[INIT]\nCMD1=CHECK_VENDOR\nCOMMENT=x\n", 3, S::kWarning,
     "no command reads key COMMENT in [INIT]", "TV013"},
    {"a misspelt numbered key, one edit away",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\nADDREG1_ENTRYNAM=A\n", 6, S::kWarning,
     "no command reads key ADDREG1_ENTRYNAM in [R] (read by CMD1 (REG_INI)); did you mean ADDREG1_ENTRYNAME?", "TV013"},
    {"two letters swapped", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDRGE=1\n", 5, S::kWarning,
     "did you mean ADDREG?", "TV013"},
    {"refused DESTDIR", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D_XP]\nDESTDIR=C:\\Drivers\n", 5, S::kError,
     "DESTDIR=C:\\Drivers is refused", "TV033"},
    {"refused DESTDIR climbing out", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=VELTARO\\..\\..\n", 5,
     S::kError, "is refused", "TV033"},
    {"empty hardware ID in a check", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=1\nHWID1=\n", 6, S::kError,
     "HWID1 in [H] is empty, which names no device: the tool refuses it", "TV028"},
    {"missing hardware ID in a check", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=2\nHWID1=PCI\\A\n", 5,
     S::kError, "HWID2 in [H] is missing and reads as empty, which names no device", "TV028"},
    {"empty hardware ID in an install",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDEV=1\nDEV1=\nDEVINF1=a.inf\n", 6, S::kError,
     "DEV1 in [D] is empty", "TV028"},
    {"empty hardware ID in the rescan step",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nREFRESH=1\nDETECTCOUNT=1\nDETECTDEV1=\n", 7, S::kError,
     "never keeps the rescan step from running", "TV028"},
    {"empty hardware ID for removal", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=\n", 6, S::kError,
     "the tool skips it and removes nothing", "TV050"},
    {"a bus alone for removal", "[INIT]\nCMD1=REMOVE_DRIVER\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\\n", 6, S::kError,
     "DEV1 in [R] is PCI\\, which names no device", "TV050"},
    {"a delete entry without a key path", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nDELREG=1\nDELREG1_ROOT=HKLM\n", 5,
     S::kError, "without a key path the entry names the root", "TV029"},
    {"a driver-key delete without a value name",
     "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n[R_PCI\\A]\nDELREG=1\nDELREG1_ENTRYNAME=\n", 9,
     S::kError, "the installer would delete the whole driver key", "TV030"},
    {"a ; in a value",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=A\n"
     "ADDREG1_VALUE=1;one\n",
     8, S::kWarning, "reads the rest of the line as a comment", "TV031"},
    {"a comment after a value",
     "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=1\nHWID1=PCI\\VEN_168C&DEV_002B   ; PX420\n", 6, S::kWarning,
     "a ';' after a value is part of it, so the value is not PCI\\VEN_168C&DEV_002B", "TV040"},
    {"INSTALL_DRIVER with only its plain section", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nINFCOPY=0\n", 3,
     S::kError, "only [D] is there: on Windows 2000, XP, Vista and later", "TV039"},
    {"flags written as a name",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\nADDREG1_ROOT=HKLM\n"
     "ADDREG1_SUBKEY=A\nADDREG1_FLAGS=REG_DWORD\n",
     8, S::kError, "REG_DWORD is not a number", "TV042"},
    {"a root the INF syntax does not know",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\n"
     "ADDREG1_ROOT=HKEY_LOCAL\nADDREG1_SUBKEY=A\n",
     6, S::kError, "is not a root the INF syntax knows", "TV043"},
    {"a pause with a unit", "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\n[C]\nCMD=0\nCMD_SLEEP=2s\n", 6, S::kWarning,
     "CMD_SLEEP=2s reads as 2", "TV044"},
    {"a file to delete that is another",
     "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\n"
     "FILE1=C:\\Program Files\\VELTARO\\NetworkDriver\\..\\..\\..\\WINDOWS\\win.ini\n",
     6, S::kWarning, "deletes C:\\WINDOWS\\win.ini", "TV052"},
    {"a file to delete with a closing dot",
     "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=C:\\a.txt.\n", 6, S::kWarning, "deletes C:\\a.txt",
     "TV052"},
    {"a file to delete in a folder any user makes at the drive root",
     "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=2\nFILE1=C:\\WINDOWS\\x.log\nFILE2=C:\\VELTARO\\old.log\n",
     7, S::kWarning, "FILE2=C:\\VELTARO\\old.log lies in C:\\VELTARO, which any user may make", "TV057"},
    {"a copy into a folder any user makes at the drive root",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=C:\\Tools\nFOLDER1_DEST=D:"
     "\\VELTARO\\Manuals\n",
     7, S::kWarning, "FOLDER1_DEST=D:\\VELTARO\\Manuals lies in D:\\VELTARO", "TV057"},
    {"an install folder through an 8.3 alias",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=COMMON~1\\Microsoft Shared\n", 5, S::kError,
     "has the component \"COMMON~1\", which Windows reads as another folder", "TV033"},
    {"an install folder with a closing dot",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=Common Files.\\System\n", 5, S::kError,
     "has the component \"Common Files.\"", "TV033"},
    {"a relative file to delete", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=1\nFILE1=old.log\n", 6,
     S::kWarning, "FILE1=old.log is relative", "TV052"},
    {"a relative source",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=manuals\n"
     "FOLDER1_DEST=C:\\x\n",
     6, S::kWarning, "FOLDER1_SRC=manuals is relative", "TV041"},
    {"a list in a section no command reads",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Setings\n[Settings]\nADDREG=3\n"
     "ADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=A\nADDREG2_ROOT=HKLM\nADDREG2_SUBKEY=B\n",
     5, S::kWarning, "ADDREG=3 but ADDREG3_ROOT is missing", "TV026"},
    {"a control character", "[INIT]\nCMD1=CHECK_VENDOR\x1b[2J\n", 2, S::kWarning, "control character \\x1b", "TV048"},
    {"an unknown rule in an ignore", "[INIT]\n; tvlint: ignore TV999\nCMD1=CHECK_VENDOR\n", 2, S::kWarning,
     "TV999, which is no rule ID", "TV047"},
    {"a count past its bound", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=0x7fffffff\n", 5, S::kError,
     "is more than the 100000 entries the tool reads", "TV022"},
    {"a count that wraps", "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\n[F]\nFILE=99999999999\n", 5, S::kError,
     "(99999999999 wraps to 1215752191)", "TV022"},
    {"a pause past its bound", "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\n[C]\nCMD=0\nCMD_SLEEP=700000\n", 6, S::kError,
     "the tool pauses 600000 ms", "TV023"},
    {"DESTDIR a folder Windows keeps", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=Common Files\n", 5,
     S::kError, "a folder that Windows keeps under Program Files", "TV033"},
    {"DESTDIR of one folder", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=VELTARO\n", 5, S::kError,
     "is one folder: a maker's folder of several products", "TV034"},
    {"a count with an upper-case prefix", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=0X1\n", 5, S::kWarning,
     "ADDREG=0X1 reads as 0: the number ends at \"X1\"", "TV044"},
    {"an add entry that deletes a key",
     "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=R\n[R]\nADDREG=1\nADDREG1_ROOT=HKCU\nADDREG1_SUBKEY=Software\\X\n"
     "ADDREG1_FLAGS=0x00000004\n",
     8, S::kError, "FLG_ADDREG_DELVAL without a value name", "TV058"},
    {"DESTDIR of one folder in Common Files",
     "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDESTDIR=Common Files\\VELTARO\n", 5, S::kError,
     "is one folder: a maker's folder of several products", "TV034"},
    {"COPY_FOLDERS out of Program Files",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=1\nFOLDER1_SRC=C:\\x\n"
     "FOLDER1_DEST=..\\WINDOWS\\system32\n",
     8, S::kError, "must be a folder under Program Files", "TV036"},
    {"COPY_FOLDERS into its own source",
     "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=C:\\x\nFOLDER1_DEST=C:\\x\\copy\n", 7,
     S::kError, "lies in its source C:\\x", "TV036"},
    {"rescan keys without REFRESH", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D]\nDETECTCOUNT=1\nDETECTDEV1=X\n",
     5, S::kWarning, "read only with REFRESH=1", "TV035"},
    {"CHECK_HWID without a count", "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID1=PCI\\VEN_1\n", 4, S::kError,
     "the check always fails", "TV025"},
    {"region variant of two letters", "[INIT]\nCMD1=CMD_REGION\nCMD1_SECTION=T\n[T]\nCMD=0\n[T_JP]\nCMD=0\n", 6,
     S::kWarning, "[T_JP] is never selected", "TV037"},
    {"language variant of three digits", "[INIT]\nCMD1=REG_INI_UILANG\nCMD1_SECTION=H\n[H]\nADDREG=0\n[H_411]\n", 6,
     S::kWarning, "four hexadecimal digits", "TV037"},
    {"variant of a command that takes none", "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=S\n[S]\nDELREG=0\n[S_J]\n", 6,
     S::kWarning, "reads [S] and no variant of it", "TV037"},
    {"OS ending that does not exist", "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=D\n[D_XP]\n[D_WIN7]\n", 5, S::kWarning,
     "reads only the endings _2000, _XP and _VISTA", "TV037"},
    {"driver key section of an ID no DEV lists",
     "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n[R_PCI\\A]\n[R_PCI\\B]\n", 8, S::kWarning,
     "only for the IDs its DEV keys list", "TV037"},
    {"driver key section missing", "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\nDEV1=PCI\\A\n", 6, S::kWarning,
     "no section [R_PCI\\A]", "TV012"},
    {"DEV missing reads DEFAULT_ID", "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=R\n[R]\nDEV=1\n", 5, S::kWarning,
     "read as the hardware ID DEFAULT_ID", "TV026"},
    {"plain section of a region command missing", "[INIT]\nCMD1=CMD_REGION\nCMD1_SECTION=T\n[T_J]\nCMD=0\n", 3,
     S::kWarning, "no section [T]: on a machine of another region", "TV010"},
    {"section nobody reads", "[INIT]\nCMD1=CHECK_VENDOR\n[Leftover]\nA=1\n", 3, S::kWarning,
     "section [Leftover] is not read by any command", "TV038"},
    {"repeated key", "[INIT]\nCMD1=CHECK_VENDOR\nCMD1=CHECK_MODEM\n", 3, S::kWarning,
     "only the first, at line 2, is read", "TV019"},
    {"repeated section", "[INIT]\nCMD1=CHECK_VENDOR\n[INIT]\nCMD2=CHECK_MODEM\n", 3, S::kWarning,
     "section [INIT] appears again", "TV018"},
    {"value longer than its room",
     "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\n[C]\nCMD=0\nCMD_PLUSARG=" + std::string(300, 'x') + "\n", 6, S::kWarning,
     "cut to 259", "TV024"},
    {"only the first character of the forced region", "[INIT]\nFORCE_REGION=JP\nCMD1=CHECK_VENDOR\n", 2, S::kWarning,
     "only its first character, J", "TV016"},
    {"a section for a command without its command", "[INIT]\nCMD1=CHECK_VENDOR\nCMD5_SECTION=X\n", 3, S::kWarning,
     "CMD5_SECTION has no CMD5", "TV015"},
};

TEST(Lint, EachFindingIsReportedAtItsLine) {
  for (const auto& c : kCases) {
    const auto findings = Lint(c.script);
    EXPECT_TRUE(Has(findings, c.line, c.severity, c.reason, c.rule)) << c.name << ":\n" << Dump(findings);
  }
}

// A package whose device commands can run on 64-bit Windows needs the
// companion beside the tool; a suffix or CHECK_WOW6432 keeps them off it.
TEST(Lint, DeviceCommandsOn64BitWindowsNeedTheCompanion) {
  const std::string script = "[INIT]\nCMD1=DISABLE_IWLAN_ASPM\nCMD2=ENABLE_WOR_WMODEM\n";
  std::set<std::wstring> present{L"drv.ini"};
  const PackageLookup lookup = [&](std::wstring_view path) { return present.contains(std::wstring(path)); };
  auto findings = Lint(script, lookup);
  ASSERT_EQ(findings.size(), 1U) << Dump(findings);
  EXPECT_TRUE(Has(findings, 2, S::kWarning, "the package has no drv64.exe, so the command fails there", "TV056"));
  present.insert(L"drv64.exe");
  EXPECT_TRUE(Lint(script, lookup).empty());
  present.erase(L"drv64.exe");
  EXPECT_TRUE(Lint("[INIT]\nCMD1=CHECK_WOW6432\nCMD2=DISABLE_IWLAN_ASPM\nCMD3=DRIVER_REG.X32\nCMD3_SECTION=D\n"
                   "[D]\nDEV=0\n",
                   lookup)
                  .empty());
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
      "[D_XP]\nDEV=1\nDEV1=PCI\\A\nDEVINF1=drv\\a.inf\nINFCOPY=1\nINF1=drv\\b.inf\n"
      "[D_2000]\nDESTDIR=VELTARO\\D\n[D_VISTA]\nDESTDIR=VELTARO\\D\n[D]\nDESTDIR=VELTARO\\D\n";
  const std::set<std::wstring> present{L"tools\\setup.exe", L"drv\\a.inf", L"drv64.exe"};
  const PackageLookup lookup = [&](std::wstring_view path) { return present.contains(std::wstring(path)); };
  const auto findings = Lint(script, lookup);
  EXPECT_TRUE(Has(findings, 6, S::kWarning, "REG_FILE imports drv.reg, which is not beside the script"));
  EXPECT_TRUE(Has(findings, 10, S::kWarning, "tools\\gone.exe is not in the package"));
  EXPECT_TRUE(Has(findings, 16, S::kWarning, "drv\\b.inf is not in the package"));
  EXPECT_EQ(findings.size(), 3U) << Dump(findings);
  // Without a package nothing is looked up.
  EXPECT_TRUE(Lint(script).empty()) << Dump(Lint(script));
}

TEST(Lint, WhatThePackageAndTheMachinesHold) {
  const std::string script =
      "[INIT]\nCMD1=CMD_CP\nCMD1_SECTION=C\nCMD2=REG_FILE_UILANG\nCMD3=COPY_FOLDERS\nCMD3_SECTION=F\n"
      "[C]\nCMD=1\nCMD1=tools\\wltray.exe /startup\n"
      "[F]\nFOLDER=2\nFOLDER1_SRC=C:\\Manuals\nFOLDER1_DEST=C:\\Docs\nFOLDER2_SRC=D:\\Gone\nFOLDER2_DEST=C:\\Docs2\n";
  const PackageLookup lookup = [](std::wstring_view path) { return path == L"tools\\wltray.exe"; };
  const PackageListing noLanguages = [] { return std::vector<std::wstring>{L"drv.ini", L"drv.reg", L"tools"}; };
  const PathLookup machines = [](std::wstring_view path) { return path == L"C:\\Manuals"; };
  const auto findings = LintScript(FromUtf8(script), L"drv", lookup, noLanguages, machines);
  // The program is there: the blank starts arguments, which the tool would take as part of the path.
  EXPECT_TRUE(Has(findings, 9, S::kWarning, "its arguments belong in CMD_PLUSARG (/startup)", "TV046"))
      << Dump(findings);
  EXPECT_FALSE(Has(findings, 9, S::kWarning, "not in the package")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 4, S::kWarning, "and the package has none", "TV045")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 14, S::kWarning, "FOLDER2_SRC=D:\\Gone is on none of the described machines", "TV049"))
      << Dump(findings);
  EXPECT_EQ(findings.size(), 3U) << Dump(findings);
  // One language file is enough; without machines no source is looked up.
  const PackageListing languages = [] { return std::vector<std::wstring>{L"drv.ini", L"0411.reg"}; };
  EXPECT_EQ(LintScript(FromUtf8(script), L"drv", lookup, languages).size(), 1U);
}

// A script without a byte-order mark is read in the notebook's code page.
TEST(Lint, TextThatNotebooksReadOtherwise) {
  const std::string utf8 = "[INIT]\nCMD1=CHECK_VENDOR\n; caf\xC3\xA9\n";
  auto findings = LintScript(FromUtf8(utf8), L"drv", {}, {}, {}, utf8);
  EXPECT_TRUE(Has(findings, 3, S::kWarning, "UTF-8 text without a byte-order mark", "TV051")) << Dump(findings);
  const std::string ansi = "[INIT]\nCMD1=CHECK_VENDOR\n; caf\xE9\n";
  findings = LintScript(L"[INIT]\nCMD1=CHECK_VENDOR\n; caf\xE9\n", L"drv", {}, {}, {}, ansi);
  EXPECT_TRUE(Has(findings, 3, S::kWarning, "text of an ANSI code page", "TV051")) << Dump(findings);
  // ASCII, or Unicode with its mark, reads the same everywhere.
  const std::string plain = "[INIT]\nCMD1=CHECK_VENDOR\n";
  EXPECT_TRUE(LintScript(FromUtf8(plain), L"drv", {}, {}, {}, plain).empty());
  const std::string wide("\xFF\xFE[\0I\0", 6);
  EXPECT_TRUE(LintScript(L"[INIT]\nCMD1=CHECK_VENDOR\n", L"drv", {}, {}, {}, wide).empty());
  // A UTF-8 mark is read as three characters: the first section is lost, and
  // the UTF-8 text after it still reads as ANSI.
  const std::string marked = "\xEF\xBB\xBF[INIT]\nCMD1=CHECK_VENDOR\n; caf\xC3\xA9\n";
  findings =
      LintScript(sim::DecodeProfileFile({reinterpret_cast<const std::uint8_t*>(marked.data()), marked.size()}, 1252),
                 L"drv", {}, {}, {}, marked);
  EXPECT_TRUE(Has(findings, 1, S::kError, "begins with a UTF-8 byte-order mark", "TV053")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 1, S::kError, "no [INIT] section", "TV001")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 3, S::kWarning, "holds UTF-8 text: Windows reads", "TV051")) << Dump(findings);
  const std::string markedComment = "\xEF\xBB\xBF; setup\n[INIT]\nCMD1=CHECK_VENDOR\n";
  // In front of a comment the mark only spoils the comment, which is then
  // read as a key before the first section.
  findings = LintScript(L"\xEF\xBB\xBF; setup\n[INIT]\nCMD1=CHECK_VENDOR\n", L"drv", {}, {}, {}, markedComment);
  ASSERT_EQ(findings.size(), 1U) << Dump(findings);
  EXPECT_TRUE(Has(findings, 1, S::kWarning, "stands before the first section header", "TV017")) << Dump(findings);
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
      "DETECTCOUNT=1\nDETECTDEV1=PCI\\VEN_1\n[Pkg_2000]\nDESTDIR=\"VELTARO\\Net\"\n[Pkg]\nDESTDIR=\"VELTARO\\Net\"\n";
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
  const std::vector<Finding> warnings{{4, S::kWarning, "w", "TV013"}};
  EXPECT_EQ(ExitCode(warnings), 1);
  const std::vector<Finding> both{{4, S::kWarning, "w", "TV013"}, {2, S::kError, "e\x1b[2J", "TV005"}};
  EXPECT_EQ(ExitCode(both), 2);
  // A control character of the script never reaches the terminal raw.
  EXPECT_EQ(FormatFindings("a.ini", both), "a.ini:4: warning TV013: w\na.ini:2: error TV005: e\\x1b[2J\n");
  // Findings come back in line order.
  const auto findings = Lint("[INIT]\nCMD1=NOPE\nCMD3=NOPE\nX=1\n");
  ASSERT_GE(findings.size(), 2U);
  for (std::size_t i = 1; i < findings.size(); ++i) EXPECT_LE(findings[i - 1].line, findings[i].line);
}

TEST(Lint, ACommentNamingTheRuleSilencesItOnTheNextLine) {
  const std::string script =
      "[INIT]\nCMD1=CHECK_HWID\nCMD1_SECTION=H\n[H]\nHWID=2\nHWID1=PCI\\A\n; tvlint: ignore TV014\nHWID3=PCI\\C\n"
      "HWID4=PCI\\D\n";
  const auto findings = Lint(script);
  EXPECT_FALSE(Has(findings, 8, S::kWarning, "HWID3 is never read")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 9, S::kWarning, "HWID4 is never read")) << Dump(findings);
  EXPECT_TRUE(Has(findings, 5, S::kError, "HWID2 in [H] is missing")) << Dump(findings);
  // On a section header, after the "]", the rule is silenced on that line.
  const auto header = Lint("[INIT]\nCMD1=CHECK_VENDOR\n[Left] ; tvlint: ignore TV038\n");
  EXPECT_TRUE(header.empty()) << Dump(header);
}

TEST(Lint, EveryRuleHasAnIdAndIsInTheReference) {
  std::string reference;
  {
    std::ifstream in(std::string(TARNVALE_SOURCE_DIR) + "/docs/setup-script.md");
    std::ostringstream text;
    text << in.rdbuf();
    reference = text.str();
  }
  std::set<std::string_view> ids;
  for (const auto& r : Rules()) {
    EXPECT_TRUE(ids.insert(r.id).second) << r.id;
    const std::string row = "| " + std::string(r.id) + " | " + (r.severity == S::kError ? "error" : "warning") + " |";
    EXPECT_NE(reference.find(row), std::string::npos) << row << " is not in the reference";
    // SARIF's helpUri names the rule's own heading, which says why it matters.
    const std::string heading = "\n#### " + std::string(r.id) + "\n";
    const auto at = reference.find(heading);
    ASSERT_NE(at, std::string::npos) << heading << " is not in the reference";
    const auto next = reference.find("\n#### ", at + 1);
    const std::string body = reference.substr(at, next == std::string::npos ? std::string::npos : next - at);
    EXPECT_NE(body.find("Why it matters: "), std::string::npos) << r.id;
    EXPECT_NE(body.find("How to fix: "), std::string::npos) << r.id;
  }
  const std::vector<FileFindings> none;
  const auto sarif = FindingsSarif(none, "1.0.0");
  for (const auto& rule : sarif["runs"][0]["tool"]["driver"]["rules"]) {
    std::string fragment = rule["id"].get<std::string>();
    for (auto& c : fragment) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(rule["helpUri"], "docs/setup-script.md#" + fragment);
  }
}

TEST(Lint, SarifAndJson) {
  const std::vector<FileFindings> files{{"drv.ini", Lint("[INIT]\nCMD1=CHECK_VENDER\nCMD3=NOPE\n")}};
  const auto sarif = FindingsSarif(files, "1.0.0");
  // The members SARIF 2.1.0 requires of a log, a run, a tool and a result.
  EXPECT_EQ(sarif["version"], "2.1.0");
  ASSERT_EQ(sarif["runs"].size(), 1U);
  const auto& run = sarif["runs"][0];
  EXPECT_EQ(run["tool"]["driver"]["name"], "tarnvale-sim lint");
  EXPECT_EQ(run["tool"]["driver"]["rules"].size(), Rules().size());
  ASSERT_EQ(run["results"].size(), files[0].findings.size());
  for (const auto& result : run["results"]) {
    EXPECT_TRUE(result.contains("message") && result["message"].contains("text"));
    EXPECT_TRUE(result["level"] == "error" || result["level"] == "warning");
    const auto& rule = run["tool"]["driver"]["rules"][result["ruleIndex"].get<std::size_t>()];
    EXPECT_EQ(rule["id"], result["ruleId"]);
    EXPECT_GE(result["locations"][0]["physicalLocation"]["region"]["startLine"].get<int>(), 1);
  }
  // JSON gives back what the findings hold.
  const auto again = nlohmann::json::parse(FindingsJson(files).dump());
  ASSERT_EQ(again.size(), files[0].findings.size());
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i]["line"], files[0].findings[i].line);
    EXPECT_EQ(again[i]["rule"], files[0].findings[i].rule);
    EXPECT_EQ(again[i]["message"], files[0].findings[i].reason);
  }
}

}  // namespace
}  // namespace tv::lint

namespace tv::lint {
namespace {

// A package in memory: the script's INF and what it names.
struct MemoryPackage {
  std::map<std::wstring, std::string> files;
  PackageLookup Lookup() const {
    return [this](std::wstring_view p) { return files.contains(std::wstring(p)); };
  }
  PackageReader Reader() const {
    return [this](std::wstring_view p) -> std::optional<std::string> {
      auto it = files.find(std::wstring(p));
      if (it == files.end()) return std::nullopt;
      return it->second;
    };
  }
};

// A modem package with a models section for XP only, a catalog and one driver file.
std::string ModemInf(const std::string& decorations = "NTx86", const std::string& signature = "$Windows NT$") {
  return "[Version]\r\nSignature=\"" + signature +
         "\"\r\nClass=Modem\r\nCatalogFile=modem.cat\r\nDriverVer=03/14/2008,5.10.0.22\r\n"
         "[Manufacturer]\r\n%M%=Modems," +
         decorations +
         "\r\n[Modems.NTx86]\r\n%D%=Inst,PCI\\VEN_11C1&DEV_048C\r\n[Modems.NTamd64]\r\n%D%=Inst,PCI\\VEN_11C1&DEV_"
         "048C\r\n"
         "[Inst]\r\nCopyFiles=@pvmdm.sys\r\n[Strings]\r\nM=VELTARO\r\nD=Modem\r\n";
}

std::vector<Finding> LintDrivers(const std::string& section, const MemoryPackage& package,
                                 std::span<const DescribedMachine> described = {}) {
  const std::string script =
      "[INIT]\nCMD1=INSTALL_DRIVER.X32\nCMD1_SECTION=D\n[D_XP]\n" + section + "[D_2000]\n[D_VISTA]\n";
  return LintScript(FromUtf8(script), L"drv", package.Lookup(), {}, {}, {}, package.Reader(), described);
}

TEST(Lint, DriverPackagesAsWindowsReadsThem) {
  const std::string section = "DEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem\\modem.inf\n";
  MemoryPackage good;
  good.files = {{L"modem\\modem.inf", ModemInf()}, {L"modem\\modem.cat", "c"}, {L"modem\\pvmdm.sys", "d"}};
  // Only the XP section is filled; its INF fits XP: nothing to say about it.
  auto f = LintDrivers(section, good);
  for (const auto& finding : f) EXPECT_NE(finding.rule.substr(0, 4), "TV06") << Dump(f);

  MemoryPackage unreadable = good;
  unreadable.files[L"modem\\modem.inf"] = ModemInf("NTx86", "$Windows 2000$");
  f = LintDrivers(section, unreadable);
  EXPECT_TRUE(Has(f, 7, S::kError, "modem\\modem.inf: SetupAPI cannot open it (0xE0000100)", "TV059")) << Dump(f);

  MemoryPackage only64 = good;
  only64.files[L"modem\\modem.inf"] = ModemInf("NTamd64");
  f = LintDrivers(section, only64);
  EXPECT_TRUE(Has(f, 7, S::kWarning, "has no models section for Windows XP 32-bit", "TV060")) << Dump(f);

  f = LintDrivers("DEV=1\nDEV1=PCI\\VEN_14F1&DEV_2F20\nDEVINF1=modem\\modem.inf\n", good);
  EXPECT_TRUE(Has(f, 7, S::kWarning, "no models line carries PCI\\VEN_14F1&DEV_2F20 on Windows XP 32-bit", "TV061"))
      << Dump(f);

  MemoryPackage lacking = good;
  lacking.files.erase(L"modem\\pvmdm.sys");
  lacking.files.erase(L"modem\\modem.cat");
  f = LintDrivers(section, lacking);
  EXPECT_TRUE(
      Has(f, 7, S::kError, "the package lacks pvmdm.sys; the catalog [Version] names for Windows XP 32-bit", "TV062"))
      << Dump(f);
  // A staged INF is read the same way.
  f = LintDrivers("INFCOPY=1\nINF1=modem\\modem.inf\n", lacking);
  EXPECT_TRUE(Has(f, 6, S::kError, "the package lacks pvmdm.sys", "TV062")) << Dump(f);
}

TEST(Lint, WithAMachineTheWholeSelectionAndTheInstalledDriversRank) {
  MemoryPackage good;
  good.files = {{L"modem\\modem.inf", ModemInf()}, {L"modem\\modem.cat", "c"}, {L"modem\\pvmdm.sys", "d"}};
  sim::SimMachine xp;
  xp.os = OsVersionRecord{2, 5, 1, 2600};
  const auto modem = xp.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI",
                                  {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179", L"PCI\\VEN_11C1&DEV_048C"});
  const DescribedMachine described[] = {{"xp.json", &xp}};
  const std::string section = "DEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\nDEVINF1=modem\\modem.inf\n";
  auto f = LintDrivers(section, good, described);
  for (const auto& finding : f) EXPECT_NE(finding.rule, "TV063") << Dump(f);
  // The notebook's modem has a newer driver for its more specific ID.
  xp.devices[modem].driver = sim::SimMachine::SimDevice::Driver{
      L"oem3.inf", 20080601, {5, 10, 0, 30}, L"PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179", true, L""};
  f = LintDrivers(section, good, described);
  EXPECT_TRUE(Has(f, 7, S::kWarning,
                  "xp.json: the forced update puts modem\\modem.inf [Modems.NTx86] over the driver "
                  "oem3.inf",
                  "TV063"))
      << Dump(f);
}

}  // namespace
}  // namespace tv::lint
