// tarnvale-capture: writes the machine description of the Windows it runs on,
// for `tarnvale-sim --machine`. Changes nothing on the machine.
//
//   tarnvale-capture [--script FILE.ini] [--folder PATH]... [--with-contents] [--tool-bits 32|64] [--out FILE]
//                    [--registry-dump FILE]
#include <windows.h>

#include <cstdio>
#include <string>

#include "capture/capture.h"
#include "platform/text.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tarnvale-capture [--script FILE.ini] [--folder PATH]... [--with-contents] [--tool-bits 32|64] [--out "
      "FILE]\n"
      "                        [--registry-dump FILE]\n"
      "Writes the machine description (JSON for tarnvale-sim --machine) of this machine to standard output\n"
      "or FILE: Windows, UI language, code page, WMI product, the tool's switches, the registry keys the\n"
      "tool and the script name, every present device, running processes, and the named folders.\n"
      "--registry-dump FILE also writes every key and value of HKLM and HKCU, a JSON array a line\n"
      "(what tarnvale-sim --registry-dump-after writes of the simulated machine).\n",
      stderr);
  return 2;
}

// The capture goes into a new file beside the output, which is then renamed
// over it: what lies at the output path (a link someone laid there, another
// program's file) is replaced, never written through, and a capture that
// fails half way leaves the old output as it was.
bool WriteOutput(const std::wstring& out, const std::string& text) {
  wchar_t full[MAX_PATH];
  const DWORD n = ::GetFullPathNameW(out.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return false;
  const std::wstring target(full, n);
  const std::wstring temporary =
      target + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount());
  const HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool whole = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                     written == text.size() && ::FlushFileBuffers(file);
  const bool closed = ::CloseHandle(file) != FALSE;
  if (whole && closed &&
      ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  ::DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  tv::win32::LoadDllsFromSystemOnly();
  tv::capture::Options options;
  options.process64 = sizeof(void*) == 8;
  options.version = TARNVALE_VERSION;
  std::wstring out;
  std::wstring dump;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"--script" && hasValue) {
      options.script = argv[++i];
    } else if (arg == L"--folder" && hasValue) {
      std::wstring folder = argv[++i];
      while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
      options.folders.push_back(folder);
    } else if (arg == L"--tool-bits" && hasValue &&
               (std::wstring(argv[i + 1]) == L"64" || std::wstring(argv[i + 1]) == L"32")) {
      options.tool64 = std::wstring(argv[++i]) == L"64";
    } else if (arg == L"--with-contents") {
      options.withContents = true;
    } else if (arg == L"--out" && hasValue) {
      out = argv[++i];
    } else if (arg == L"--registry-dump" && hasValue) {
      dump = argv[++i];
    } else {
      return Usage();
    }
  }
  if (!options.script.empty()) {
    // The profile functions read a relative name from the Windows folder.
    wchar_t full[MAX_PATH];
    const DWORD n = ::GetFullPathNameW(options.script.c_str(), MAX_PATH, full, nullptr);
    if (n > 0 && n < MAX_PATH) options.script = full;
  }
  tv::win32::Win32Platform machine(::GetModuleHandleW(nullptr));
  const std::string text = tv::capture::CaptureMachine(machine.get(), options);
  if (!dump.empty()) {
    // The whole native registry: a 32-bit capture on 64-bit Windows asks
    // for the 64-bit view, in which Wow6432Node is one more key.
    const auto wow64 = machine.get().system.IsWow64Process();
    const bool twoViews = options.process64 || (wow64 && *wow64);
    const std::string keys = tv::capture::DumpRegistry(machine.get(), twoViews ? KEY_WOW64_64KEY : 0);
    if (!WriteOutput(dump, keys)) {
      std::fprintf(stderr, "tarnvale-capture: cannot write %s (error %lu)\n", tv::ToUtf8(dump).c_str(),
                   static_cast<unsigned long>(::GetLastError()));
      return 1;
    }
  }
  if (out.empty()) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (!WriteOutput(out, text)) {
    std::fprintf(stderr, "tarnvale-capture: cannot write %s (error %lu)\n", tv::ToUtf8(out).c_str(),
                 static_cast<unsigned long>(::GetLastError()));
    return 1;
  }
  return 0;
}
