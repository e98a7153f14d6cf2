// Runs the shared conformance table through Windows' own functions and through
// the tool's portable code, on Windows or under Wine. Prints each row whose
// answer differs from the table; the exit code is the number of such rows.
#include <shlwapi.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <setupapi.h>
#include <shellapi.h>

#include "../conformance/tables.h"
#include "devices/companion_protocol.h"
#include "platform/format.h"
#include "platform/profile_text.h"
#include "platform/shell_path.h"
#include "platform/sim/inf_file.h"
#include "platform/text.h"
#include "platform/win32/win32_parts.h"

namespace {

using namespace tv::conformance;

int g_failures = 0;

void Check(const char* implementation, const std::wstring& what, const std::wstring& got,
           const std::wstring& expected) {
  if (got == expected) return;
  ++g_failures;
  std::printf("FAIL %s %s: got \"%s\", expected \"%s\"\n", implementation, tv::ToUtf8(what).c_str(),
              tv::ToUtf8(got).c_str(), tv::ToUtf8(expected).c_str());
}

std::wstring Joined(const std::vector<std::wstring>& names) {
  std::wstring out;
  for (const auto& n : names) out += L"[" + n + L"]";
  return out;
}

std::wstring g_folder;

std::wstring PathOf(int file) { return g_folder + ProfileFiles()[static_cast<std::size_t>(file)].name; }

std::string FileBytes(const ProfileFile& f) {
  std::string bytes;
  switch (f.encoding) {
    case Encoding::kAnsi:
      for (wchar_t c : f.text) bytes += static_cast<char>(c);
      break;
    case Encoding::kUtf16Le:
      bytes = "\xFF\xFE";
      for (wchar_t c : f.text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
      }
      break;
    case Encoding::kUtf8Bom: bytes = "\xEF\xBB\xBF" + tv::ToUtf8(f.text); break;
    case Encoding::kMissing: break;
  }
  return bytes;
}

// The tool's reading rules over the same bytes, decoded as Windows decodes them.
tv::ParsedProfile PortableParse(const ProfileFile& f) {
  const std::string bytes = FileBytes(f);
  if (f.encoding == Encoding::kUtf16Le) return tv::ParsedProfile::Parse(f.text);
  std::wstring text(bytes.size(), L'\0');
  const int n = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                      static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return tv::ParsedProfile::Parse(text);
}

void WriteFiles() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  g_folder = std::wstring(temp) + L"tarnvale-conformance\\";
  ::CreateDirectoryW(g_folder.c_str(), nullptr);
  for (std::size_t i = 0; i < ProfileFiles().size(); ++i) {
    const auto& f = ProfileFiles()[i];
    const std::wstring path = PathOf(static_cast<int>(i));
    ::DeleteFileW(path.c_str());
    if (f.encoding == Encoding::kMissing) continue;
    const std::string bytes = FileBytes(f);
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
  }
}

void Profiles() {
  std::vector<tv::ParsedProfile> parsed;
  for (const auto& f : ProfileFiles()) parsed.push_back(PortableParse(f));
  for (const auto& c : StringCases()) {
    const std::wstring what = std::wstring(ProfileFiles()[c.file].name) + L" [" + c.section + L"] " + c.key + L" (" +
                              std::to_wstring(c.bufferChars) + L")";
    std::vector<wchar_t> buffer(c.bufferChars + 1, L'\0');
    const DWORD n = ::GetPrivateProfileStringW(c.section, c.key, c.defaultValue, buffer.data(), c.bufferChars,
                                               PathOf(c.file).c_str());
    // Where Wine answers otherwise than Windows, the row says so and why.
    Check("GetPrivateProfileStringW", what, std::wstring(buffer.data(), n), c.wine.value_or(c.expected));
    Check("host reader", what, parsed[c.file].String(c.section, c.key, c.defaultValue, c.bufferChars), c.expected);
  }
  for (const auto& c : IntCases()) {
    const std::wstring what = std::wstring(ProfileFiles()[c.file].name) + L" [" + c.section + L"] " + c.key;
    const UINT real = ::GetPrivateProfileIntW(c.section, c.key, c.defaultValue, PathOf(c.file).c_str());
    Check("GetPrivateProfileIntW", what, std::to_wstring(real), std::to_wstring(c.expected));
    Check("host reader", what, std::to_wstring(parsed[c.file].Int(c.section, c.key, c.defaultValue)),
          std::to_wstring(c.expected));
  }
  for (const auto& c : NamesCases()) {
    const std::wstring what = std::wstring(ProfileFiles()[c.file].name) + L" (" + std::to_wstring(c.bufferChars) + L")";
    std::vector<wchar_t> buffer(c.bufferChars + 2, L'\0');
    const DWORD n = ::GetPrivateProfileSectionNamesW(buffer.data(), c.bufferChars, PathOf(c.file).c_str());
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < n;) {
      std::wstring name(buffer.data() + i);
      if (name.empty()) break;
      i += static_cast<DWORD>(name.size()) + 1;
      names.push_back(name);
    }
    Check("GetPrivateProfileSectionNamesW", what, Joined(names), Joined(c.expected));
    Check("host reader", what, Joined(parsed[c.file].SectionNames(c.bufferChars)), Joined(c.expected));
  }
}

void Paths() {
  for (const auto& c : PathCases()) {
    wchar_t buffer[MAX_PATH * 2];
    lstrcpynW(buffer, c.input, MAX_PATH);
    std::wstring real;
    std::wstring host;
    const wchar_t* name = L"";
    switch (c.function) {
      case PathFunction::kStripPath:
        name = L"PathStripPathW";
        ::PathStripPathW(buffer);
        real = buffer;
        host = tv::shell::StripPath(c.input);
        break;
      case PathFunction::kRemoveFileSpec:
        name = L"PathRemoveFileSpecW";
        ::PathRemoveFileSpecW(buffer);
        real = buffer;
        host = tv::shell::RemoveFileSpec(c.input);
        break;
      case PathFunction::kFindExtension:
        name = L"PathFindExtensionW";
        real = ::PathFindExtensionW(buffer);
        host = tv::shell::Extension(c.input);
        break;
      case PathFunction::kRemoveExtension:
        name = L"PathRemoveExtensionW";
        ::PathRemoveExtensionW(buffer);
        real = buffer;
        host = tv::shell::RemoveExtension(c.input);
        break;
      case PathFunction::kGetArgs:
        name = L"PathGetArgsW";
        real = ::PathGetArgsW(buffer);
        host = tv::shell::GetArgs(c.input);
        break;
      case PathFunction::kRenameExtensionIni:
        name = L"PathRenameExtensionW";
        real = ::PathRenameExtensionW(buffer, L".ini") ? buffer : L"<failed>";
        host = tv::shell::RenameExtension(c.input, L".ini").value_or(L"<failed>");
        break;
    }
    const std::wstring what = std::wstring(name) + L"(" + c.input + L")";
    Check("shlwapi", what, real, c.expected);
    Check("host path helper", what, host, c.expected);
  }
}

void Formats() {
  for (const auto& c : FormatCases()) {
    wchar_t buffer[1025] = {};
    tv::fmt::Arg arg{tv::fmt::ArgKind::kInteger, {}, c.number};
    if (c.stringArgument) {
      ::wsprintfW(buffer, c.format, c.text);
      arg = tv::fmt::Arg{tv::fmt::ArgKind::kString, c.text, 0};
    } else {
      ::wsprintfW(buffer, c.format, static_cast<int>(c.number));
    }
    Check("wsprintfW", c.format, buffer, c.expected);
    Check("host formatter", c.format, tv::fmt::FormatArgs(c.format, std::span(&arg, 1), tv::kRoomFormatter),
          c.expected);
  }
}

// CommandLineToArgvW reads back what the tool quotes for its companion; so does the tool's own splitter.
void CompanionCommandLines() {
  for (const auto& arg : tv::conformance::CompanionArguments()) {
    const std::wstring line = L"\"C:\\x\\tool64.exe\" op " + tv::QuoteArgument(arg) + L" last";
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(line.c_str(), &count);
    const std::wstring got = argv != nullptr && count == 4 ? std::wstring(argv[2]) + L"|" + argv[3] : L"<split wrong>";
    ::LocalFree(argv);
    Check("CommandLineToArgvW", line, got, arg + L"|last");
    const auto host = tv::SplitArguments(tv::QuoteArgument(arg) + L" last");
    Check("host splitter", line, host.size() == 2 ? host[0] + L"|" + host[1] : L"<split wrong>", arg + L"|last");
  }
}

// Windows' own answer to each spelling of a file's name; the simulator's file
// system is held to the same rows in the unit tests.
void FileNames() {
  const std::wstring folder = g_folder + L"net";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\wlan.inf";
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ::CloseHandle(h);
  for (const auto& c : FileNameCases()) {
    const bool found = ::GetFileAttributesW((g_folder + c.lookup).c_str()) != INVALID_FILE_ATTRIBUTES;
    Check("GetFileAttributesW", c.lookup, found ? L"found" : L"not found", c.found ? L"found" : L"not found");
  }
}

void FullPaths() {
  wchar_t saved[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, saved);
  ::SetCurrentDirectoryW(L"C:\\windows");
  for (const auto& c : FullPathCases()) {
    wchar_t full[MAX_PATH];
    const DWORD n = ::GetFullPathNameW(c.path, MAX_PATH, full, nullptr);
    Check("GetFullPathNameW", c.path, std::wstring(full, n < MAX_PATH ? n : 0), c.full);
  }
  ::SetCurrentDirectoryW(saved);
}

// The registry seam's reading of one value into rooms of each size.
void RegistryRooms() {
  auto registry = tv::win32::MakeRegistry();
  int n = 0;
  for (const auto& c : RegistryRoomCases()) {
    const std::wstring path = L"Software\\TarnvaleConformance\\Room" + std::to_wstring(n++);
    auto key = registry->CreateKey(tv::RegRoot::kCurrentUser, path, tv::reg::kKeyAllAccess);
    if (!key) {
      Check("registry seam", path, L"no key", c.answer);
      continue;
    }
    (*key)->SetValue(L"V", tv::reg::kTypeBinary, c.data);
    const auto got = (*key)->QueryValue(L"V", c.room);
    Check("registry seam", path + L" room " + std::to_wstring(c.room),
          got ? L"ok " + std::to_wstring(got->data.size()) : std::to_wstring(got.error()), c.answer);
  }
  ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\TarnvaleConformance");
}

// SetupAPI's reading of INF files, and the simulator's reader over the same bytes.
void Infs() {
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  std::vector<tv::sim::InfParse> host;
  std::vector<HINF> real;
  for (const auto& f : InfFiles()) {
    std::string bytes;
    if (f.encoding == Encoding::kUtf16Le) {
      bytes = "\xFF\xFE";
      for (wchar_t c : f.text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
      }
    } else {
      for (wchar_t c : f.text) bytes += static_cast<char>(c);
    }
    const std::wstring path = g_folder + f.name;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    host.push_back(tv::sim::OpenInf({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, ::GetACP()));
    UINT line = 0;
    ::SetLastError(0);
    HINF inf = ::SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, &line);
    const DWORD error = inf == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    real.push_back(inf);
    for (const auto& c : InfOpenCases()) {
      if (InfFiles()[static_cast<std::size_t>(c.file)].name != f.name) continue;
      const std::wstring expected = std::to_wstring(c.error) + L" line " + std::to_wstring(c.error != 0 ? c.line : 0);
      Check("SetupOpenInfFileW", f.name, std::to_wstring(error) + L" line " + std::to_wstring(error != 0 ? line : 0),
            expected);
      const auto& o = host.back();
      Check("host INF reader", f.name,
            std::to_wstring(o.inf ? 0U : o.error) + L" line " + std::to_wstring(o.inf ? 0U : o.errorLine), expected);
    }
  }
  tv::sim::InfDirectories dirs;
  dirs.windows = windows;
  dirs.language = ::GetUserDefaultUILanguage();
  for (const auto& c : InfFieldCases()) {
    std::wstring expected = c.expected;
    std::wstring wine = c.wine.value_or(c.expected);
    for (auto* text : {&expected, &wine}) {
      if (const auto at = text->find(L"%WINDOWS%"); at != std::wstring::npos) text->replace(at, 9, windows);
    }
    const std::wstring what = std::wstring(InfFiles()[static_cast<std::size_t>(c.file)].name) + L" [" + c.section +
                              L"] " + c.key + L" field " + std::to_wstring(c.field);
    std::wstring got = L"<none>";
    INFCONTEXT context;
    HINF inf = real[static_cast<std::size_t>(c.file)];
    if (inf != INVALID_HANDLE_VALUE && ::SetupFindFirstLineW(inf, c.section, c.key, &context)) {
      wchar_t buffer[1024];
      DWORD need = 0;
      if (::SetupGetStringFieldW(&context, c.field, buffer, 1024, &need)) got = buffer;
    }
    Check("SetupGetStringFieldW", what, got, wine);
    std::wstring mine = L"<none>";
    const auto& o = host[static_cast<std::size_t>(c.file)];
    if (o.inf) {
      if (const auto* section = tv::sim::FindSection(*o.inf, c.section)) {
        if (const auto* line = tv::sim::FindLine(*section, c.key)) {
          mine = tv::sim::Field(*line, c.field, *o.inf, dirs).value_or(L"<none>");
        }
      }
    }
    Check("host INF reader", what, mine, expected);
  }
  for (HINF inf : real) {
    if (inf != INVALID_HANDLE_VALUE) ::SetupCloseInfFile(inf);
  }
}

}  // namespace

int wmain() {
  WriteFiles();
  Profiles();
  Paths();
  Formats();
  CompanionCommandLines();
  FileNames();
  FullPaths();
  RegistryRooms();
  Infs();
  std::printf("conformance: %d differences\n", g_failures);
  return g_failures;
}
