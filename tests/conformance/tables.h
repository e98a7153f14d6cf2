// One table of inputs with the answers Windows gives, run through every
// implementation: the host code in the unit tests, and under Wine both the
// host code and Windows' own functions. A row that an implementation answers
// differently fails there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tv::conformance {

enum class Encoding { kAnsi, kUtf16Le, kUtf8Bom, kMissing };

struct ProfileFile {
  const wchar_t* name;
  Encoding encoding;
  std::wstring text;  // for kAnsi: each character stands for one byte of the file
};

inline const std::vector<ProfileFile>& ProfileFiles() {
  static const std::vector<ProfileFile> files = {
      {L"rules.ini", Encoding::kAnsi,
       L"; a comment line\r\n"
       L"  [Init]  \r\n"
       L"  cmd1_section =  Reg  \r\n"
       L"CMD2=\"quoted value\"\r\n"
       L"CMD3='single'\r\n"
       L"CMD4=\"unbalanced\r\n"
       L"CMD5=\r\n"
       L"CMD6\r\n"
       L";CMD7=commented\r\n"
       L"CMD8=first\r\n"
       L"CMD8=second\r\n"
       L"CMD9=\t tabbed \t\r\n"
       L"CMD11=PCI\\VEN_168C&DEV_002B   ; a comment after the value\r\n"
       L"Q=\"abcdef\"\r\n"
       L"LONG=" +
           std::wstring(600, L'v') +
           L"\r\n"
           L"[INIT]\r\n"
           L"CMD10=in a second section of the same name\r\n"
           L"[Numbers]\r\n"
           L"A=12\r\nB=-1\r\nC= "
           L"42abc\r\nD=0x10\r\nE=\r\nF=+5\r\nG=abc\r\nH=4294967297\r\nI=0o17\r\nJ=-0x1F\r\nK=0b101\r\nL=017\r\nM="
           L"0X1\r\nN=0XfF\r\n"
           L"[ Spaced ]\r\n"
           L"K=spaced section\r\n"
           L"[Unclosed\r\n"
           L"K=after an unclosed header\r\n"},
      {L"wide.ini", Encoding::kUtf16Le, L"[S]\r\nK=\x30E2\x30C7\x30E0\r\nL=caf\xE9\r\n"},
      {L"utf8.ini", Encoding::kUtf8Bom, L"[S]\nK=caf\xE9\n"},
      {L"ansi.ini", Encoding::kAnsi, L"[S]\nK=caf\xE9\n"},
      {L"missing.ini", Encoding::kMissing, L""},
      {L"utf8-late.ini", Encoding::kUtf8Bom, L"\n[S]\nK=caf\xE9\n"},
  };
  return files;
}

struct StringCase {
  int file;
  const wchar_t* section;
  const wchar_t* key;
  const wchar_t* defaultValue;
  unsigned bufferChars;
  std::wstring expected;
  // Wine's own answer where it differs from Windows' (the reason beside the row).
  std::optional<std::wstring> wine{};
};

inline const std::vector<StringCase>& StringCases() {
  static const std::vector<StringCase> cases = {
      {0, L"INIT", L"CMD1_SECTION", L"", 520, L"Reg"},
      {0, L"init", L"Cmd1_Section", L"", 520, L"Reg"},
      {0, L" INIT ", L" CMD1_SECTION ", L"", 520, L"Reg"},
      {0, L"INIT", L"CMD2", L"", 520, L"quoted value"},
      {0, L"INIT", L"CMD3", L"", 520, L"single"},
      {0, L"INIT", L"CMD4", L"", 520, L"\"unbalanced"},
      {0, L"INIT", L"CMD5", L"dflt", 520, L""},
      {0, L"INIT", L"CMD6", L"dflt", 520, L"dflt"},
      {0, L"INIT", L"CMD7", L"dflt", 520, L"dflt"},
      {0, L"INIT", L"CMD8", L"", 520, L"first"},
      {0, L"INIT", L"CMD9", L"", 520, L"tabbed"},
      // A ';' after a value is part of it: only a line that begins with one is a comment.
      {0, L"INIT", L"CMD11", L"", 520, L"PCI\\VEN_168C&DEV_002B   ; a comment after the value"},
      {0, L"INIT", L"CMD10", L"dflt", 520, L"dflt"},
      {0, L"INIT", L"MISSING", L"dflt", 520, L"dflt"},
      {0, L"INIT", L"MISSING", L"dflt  ", 520, L"dflt"},
      {0, L"INIT", L"MISSING", L"\"quoted dflt\"", 520, L"quoted dflt"},
      {0, L"INIT", L"MISSING", L"long default", 4, L"lon"},
      {0, L"NOSUCH", L"CMD1_SECTION", L"dflt", 520, L"dflt"},
      {0, L"INIT", L"LONG", L"", 520, std::wstring(519, L'v')},
      {0, L"INIT", L"Q", L"", 4, L"abc"},
      {0, L"INIT", L"Q", L"", 7, L"abcde"},
      {0, L"INIT", L"Q", L"", 8, L"abcdef"},
      {0, L"Spaced", L"K", L"dflt", 520, L"spaced section"},
      {0, L"Unclosed", L"K", L"dflt", 520, L"dflt"},
      {1, L"S", L"K", L"", 520, L"\x30E2\x30C7\x30E0"},
      {1, L"S", L"L", L"", 520, L"caf\xE9"},
      // Windows' profile functions know no UTF-8: the byte-order mark is read
      // as three ANSI characters in front of "[S]", so the first section of a
      // script saved as UTF-8 with a mark is lost, and UTF-8 text reads as
      // ANSI text. Wine reads UTF-8 after the mark.
      {2, L"S", L"K", L"dflt", 520, L"dflt", L"caf\xE9"},
      {3, L"S", L"K", L"", 520, L"caf\xE9"},
      {5, L"S", L"K", L"", 520, L"caf\xC3\xA9", L"caf\xE9"},
      {4, L"INIT", L"CMD1", L"", 520, L""},
      {4, L"INIT", L"CMD1", L"dflt", 520, L"dflt"},
  };
  return cases;
}

struct IntCase {
  int file;
  const wchar_t* section;
  const wchar_t* key;
  std::int32_t defaultValue;
  std::uint32_t expected;
};

inline const std::vector<IntCase>& IntCases() {
  static const std::vector<IntCase> cases = {
      {0, L"Numbers", L"A", 0, 12},
      {0, L"Numbers", L"B", 0, 0xFFFFFFFFU},
      {0, L"Numbers", L"C", 0, 42},
      {0, L"Numbers", L"D", 0, 16},
      {0, L"Numbers", L"E", 9, 9},
      {0, L"Numbers", L"F", 0, 5},
      {0, L"Numbers", L"G", 3, 0},
      {0, L"Numbers", L"MISSING", 7, 7},
      {0, L"Numbers", L"MISSING", -1, 0xFFFFFFFFU},
      {4, L"Numbers", L"A", 5, 5},
      {0, L"Numbers", L"H", 0, 1},
      {0, L"Numbers", L"I", 0, 15},
      {0, L"Numbers", L"J", 0, 0xFFFFFFE1U},
      {0, L"Numbers", L"K", 0, 5},
      {0, L"Numbers", L"L", 0, 17},
      {0, L"Numbers", L"M", 5, 0},
      {0, L"Numbers", L"N", 5, 0},
  };
  return cases;
}

struct NamesCase {
  int file;
  unsigned bufferChars;
  std::vector<std::wstring> expected;
};

inline const std::vector<NamesCase>& NamesCases() {
  static const std::vector<NamesCase> cases = {
      {0, 1024, {L"Init", L"INIT", L"Numbers", L"Spaced"}},
      {0, 12, {L"Init", L"INIT"}},
      {0, 13, {L"Init", L"INIT", L"N"}},
      {1, 1024, {L"S"}},
      {4, 1024, {}},
  };
  return cases;
}

// ---- shell path functions ----

enum class PathFunction {
  kStripPath,
  kRemoveFileSpec,
  kFindExtension,
  kRemoveExtension,
  kGetArgs,
  kRenameExtensionIni
};

struct PathCase {
  PathFunction function;
  const wchar_t* input;
  const wchar_t* expected;
};

inline const std::vector<PathCase>& PathCases() {
  static const std::vector<PathCase> cases = {
      {PathFunction::kStripPath, L"C:\\Tools\\Net Setup\\drv.EXE", L"drv.EXE"},
      {PathFunction::kStripPath, L"C:\\dir\\", L"dir\\"},
      {PathFunction::kStripPath, L"name", L"name"},
      {PathFunction::kRemoveFileSpec, L"C:\\Tools\\Net Setup\\drv.EXE", L"C:\\Tools\\Net Setup"},
      {PathFunction::kRemoveFileSpec, L"C:\\tool.exe", L"C:\\"},
      {PathFunction::kRemoveFileSpec, L"\\\\server\\share\\a.b", L"\\\\server\\share"},
      {PathFunction::kRemoveFileSpec, L"tool.exe", L""},
      {PathFunction::kFindExtension, L"C:\\a.b\\name", L""},
      {PathFunction::kFindExtension, L"reg_ini.x64", L".x64"},
      {PathFunction::kFindExtension, L"CMD_CP. X64", L""},
      {PathFunction::kFindExtension, L"a.b.WOW6432", L".WOW6432"},
      {PathFunction::kRemoveExtension, L"CHECK_VENDOR.X32", L"CHECK_VENDOR"},
      {PathFunction::kRemoveExtension, L"CHECK_VENDOR", L"CHECK_VENDOR"},
      {PathFunction::kGetArgs, L"\"C:\\Tools\\Net Setup\\drv.exe\" /s", L"/s"},
      {PathFunction::kGetArgs, L"C:\\drv.exe  -s x", L" -s x"},
      {PathFunction::kGetArgs, L"\"C:\\drv.exe\"", L""},
      {PathFunction::kRenameExtensionIni, L"C:\\X\\tool.EXE", L"C:\\X\\tool.ini"},
      {PathFunction::kRenameExtensionIni, L"C:\\X\\tool", L"C:\\X\\tool.ini"},
  };
  return cases;
}

// ---- the formatter ----

struct FormatCase {
  const wchar_t* format;
  bool stringArgument;
  std::int64_t number;
  const wchar_t* text;
  const wchar_t* expected;
};

inline const std::vector<FormatCase>& FormatCases() {
  static const std::vector<FormatCase> cases = {
      {L"CMD%d_SECTION", false, 12, nullptr, L"CMD12_SECTION"},
      {L"%04x", false, 0x411, nullptr, L"0411"},
      {L"%d", false, -1, nullptr, L"-1"},
      {L"%u", false, -1, nullptr, L"4294967295"},
      {L"%x", false, -1, nullptr, L"ffffffff"},
      {L"%X", false, 255, nullptr, L"FF"},
      {L"[%5d]", false, 42, nullptr, L"[   42]"},
      {L"[%-5d]", false, 42, nullptr, L"[42   ]"},
      {L"[%05d]", false, -42, nullptr, L"[-0042]"},
      {L"%#x", false, 0x1f, nullptr, L"0x1f"},
      {L"%c", false, L'J', nullptr, L"J"},
      {L"100%%", false, 0, nullptr, L"100%"},
      {L"Error check Vendor %s", true, 0, L"The Wine Project", L"Error check Vendor The Wine Project"},
      {L"[%8s]", true, 0, L"ab", L"[      ab]"},
      {L"[%-4s]", true, 0, L"ab", L"[ab  ]"},
      {L"[%.2s]", true, 0, L"abcdef", L"[ab]"},
  };
  return cases;
}

// ---- file names ----

// A file written as folder\\"net\\wlan.inf", then looked for under another
// spelling of the same name: is it found there?
struct FileNameCase {
  const wchar_t* lookup;
  bool found;
};

inline const std::vector<FileNameCase>& FileNameCases() {
  static const std::vector<FileNameCase> cases = {
      {L"net\\wlan.inf", true},          {L"NET\\WLAN.INF", true},
      {L"net/wlan.inf", true},           {L"net\\\\wlan.inf", true},  // a run of separators reads as one
      {L"net\\\\\\wlan.inf", true},      {L"net\\wlan", false},
      {L"net\\..\\net\\wlan.inf", true}, {L"net\\.\\wlan.inf", true},
      {L"net\\wlan.inf.", true},  // trailing dots and blanks are dropped
      {L"net\\wlan.inf  ", true},        {L"net\\wlan.inf . .", true},
      {L"net\\wlan.inf\\", false},  // a closing separator asks for a folder
  };
  return cases;
}

// GetFullPathNameW with the current directory C:\windows.
struct FullPathCase {
  const wchar_t* path;
  const wchar_t* full;
};

inline const std::vector<FullPathCase>& FullPathCases() {
  static const std::vector<FullPathCase> cases = {
      {L"C:\\Program Files\\VELTARO\\NetworkDriver\\..\\..\\..\\windows\\win.ini", L"C:\\windows\\win.ini"},
      {L"C:\\windows\\win.ini.", L"C:\\windows\\win.ini"},
      {L"C:\\windows\\win.ini ", L"C:\\windows\\win.ini"},
      {L"C:\\windows\\win.ini . .", L"C:\\windows\\win.ini"},
      {L"\\\\?\\C:\\windows\\win.ini", L"\\\\?\\C:\\windows\\win.ini"},
      {L"win.ini", L"C:\\windows\\win.ini"},
      {L"..\\windows\\win.ini", L"C:\\windows\\win.ini"},
      {L".\\win.ini", L"C:\\windows\\win.ini"},
      {L"\\windows\\win.ini", L"C:\\windows\\win.ini"},
      {L"C:win.ini", L"C:\\windows\\win.ini"},
      {L"c:/windows//system32/../win.ini", L"c:\\windows\\win.ini"},
      {L"C:\\..", L"C:\\"},
      {L"C:\\windows\\", L"C:\\windows\\"},
      {L"...", L"C:\\windows\\"},
      {L"\\\\server\\share\\..\\x", L"\\\\server\\share\\x"},
  };
  return cases;
}

// Arguments that the tool hands its 64-bit companion: quoted by the tool, they
// must come back whole from the command-line splitter of Windows.
inline const std::vector<std::wstring>& CompanionArguments() {
  static const std::vector<std::wstring> args = {
      L"",
      L"plain",
      L"PCI\\VEN_8086&DEV_4229&SUBSYS_11118086",
      L"ROOT\\MODEM\\0000 with blanks",
      L"C:\\Program Files\\VELTARO\\NetworkDriver\\",
      L"say \"hi\" & exit",
      L"back\\\\\"slash",
      L"%PATH%|<>^",
  };
  return args;
}

// A value read into a room of so many bytes, through the registry seam: the
// data and its size when it fits, ERROR_MORE_DATA (234) when it does not,
// also for a room of none.
struct RegistryRoomCase {
  std::vector<std::uint8_t> data;  // a REG_BINARY value
  std::uint32_t room;
  std::wstring answer;  // "ok N" or the error
};

inline const std::vector<RegistryRoomCase>& RegistryRoomCases() {
  static const std::vector<RegistryRoomCase> cases = {
      {{1, 2, 3, 4}, 0, L"234"},  {{1, 2, 3, 4}, 3, L"234"}, {{1, 2, 3, 4}, 4, L"ok 4"},
      {{1, 2, 3, 4}, 8, L"ok 4"}, {{}, 0, L"ok 0"},          {{}, 4, L"ok 0"},
  };
  return cases;
}

// ---- INF files as SetupAPI reads them ----

// An INF written in the test folder; for kAnsi each character stands for one byte.
struct InfFileRow {
  const wchar_t* name;
  Encoding encoding;
  std::wstring text;
};

inline const std::vector<InfFileRow>& InfFiles() {
  static const std::vector<InfFileRow> files = {
      {L"syntax.inf", Encoding::kAnsi,
       L"; a driver package's syntax\r\n"
       L"[Version]\r\n"
       L"Signature=\"$WINDOWS NT$\"\r\n"
       L"[Values]\r\n"
       L"Plain = value  with  inner   blanks   \r\n"
       L"Quoted = \"  kept  \" , second\r\n"
       L"Escaped = \"say \"\"hi\"\"\"\r\n"
       L"Joined = first\\\r\n"
       L"   continued\r\n"
       L"Fields = one, \\ ; a comment after the backslash\r\n"
       L"   two\r\n"
       L"Comment = before ; after\r\n"
       L"Percent = 100%%\r\n"
       L"Subst = %Name%-%Missing%\r\n"
       L"Dir = %10%\\inf\r\n"
       L"Upper = %NAME%\r\n"
       L"Accent = caf\xE9\r\n"
       L"[Strings]\r\n"
       L"Name = \"from strings\"\r\n"
       L"[Strings.0409]\r\n"
       L"Name = \"from 0409\"\r\n"},
      {L"nosig.inf", Encoding::kAnsi, L"[Version]\r\nSignature=$Windows 2000$\r\n[Values]\r\nA=1\r\n"},
      {L"unclosed.inf", Encoding::kAnsi, L"[Version]\r\nSignature=$Chicago$\r\n[Broken\r\nA=1\r\n"},
      {L"early.inf", Encoding::kAnsi, L"A=1\r\n[Version]\r\nSignature=$Chicago$\r\n"},
      {L"wide.inf", Encoding::kUtf16Le, L"[Version]\r\nSignature=\"$Windows NT$\"\r\n[Values]\r\nW=caf\xE9 \x30E2\r\n"},
      {L"longname.inf", Encoding::kAnsi,
       L"[Version]\r\nSignature=$Chicago$\r\n[" + std::wstring(256, L'n') + L"]\r\nA=1\r\n"},
  };
  return files;
}

// SetupOpenInfFileW(INF_STYLE_WIN4): 0 when the file opens, else the error
// and the line SetupAPI names.
struct InfOpenCase {
  int file;
  std::uint32_t error;
  std::uint32_t line;
};

inline const std::vector<InfOpenCase>& InfOpenCases() {
  static const std::vector<InfOpenCase> cases = {
      {0, 0, 0}, {1, 0xE0000100, 0}, {2, 0xE0000001, 3}, {3, 0xE0000000, 1}, {4, 0, 0}, {5, 0xE0000002, 3},
  };
  return cases;
}

// SetupFindFirstLineW(section, key) and SetupGetStringFieldW(field): the
// text, substituted, or "<none>".
struct InfFieldCase {
  int file;
  const wchar_t* section;
  const wchar_t* key;
  unsigned field;
  std::wstring expected;
  std::optional<std::wstring> wine{};  // Wine's answer where it differs (the reason beside the row)
};

inline const std::vector<InfFieldCase>& InfFieldCases() {
  static const std::vector<InfFieldCase> cases = {
      {0, L"Values", L"Plain", 1, L"value  with  inner   blanks"},
      {0, L"values", L"PLAIN", 1, L"value  with  inner   blanks"},
      {0, L"Values", L"Quoted", 1, L"  kept  "},
      {0, L"Values", L"Quoted", 2, L"second"},
      {0, L"Values", L"Quoted", 3, L"<none>"},
      {0, L"Values", L"Escaped", 1, L"say \"hi\""},
      {0, L"Values", L"Joined", 1, L"firstcontinued"},
      {0, L"Values", L"Fields", 1, L"one"},
      {0, L"Values", L"Fields", 2, L"two"},
      {0, L"Values", L"Comment", 1, L"before"},
      {0, L"Values", L"Percent", 1, L"100%"},
      // Windows takes the strings section of the locale (WDK, "INF Strings
      // Section"): [Strings.0409] on an English-US Windows. Wine 8's parser
      // reads [Strings] only (dlls/setupapi/parser.c, get_string_subst).
      {0, L"Values", L"Subst", 1, L"from 0409-%Missing%", L"from strings-%Missing%"},
      {0, L"Values", L"Upper", 1, L"from 0409", L"from strings"},
      {0, L"Values", L"Dir", 1, L"%WINDOWS%\\inf"},
      {0, L"Values", L"Accent", 1, L"caf\xE9"},
      {0, L"Version", L"Signature", 1, L"$WINDOWS NT$"},
      {4, L"Values", L"W", 1, L"caf\xE9 \x30E2"},
  };
  return cases;
}

}  // namespace tv::conformance
