// tracecap PROGRAM [ARGS...]: runs PROGRAM as its debuggee and writes every
// string that it sends to the debugger output to standard output, in UTF-8,
// exactly as sent. Its exit code is the program's. On a notebook without a
// debugger this is how the tool's trace is read. PROGRAM, and the programs it
// starts (the registry editor's messages, a setup program's output), get NUL
// as their standard handles: what tracecap prints is the trace alone.
#include <windows.h>

#include <string>

#include "debuggee/debuggee.h"
#include "platform/win32/dll_search.h"

namespace {

void WriteOut(const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteErr(const wchar_t* text) {
  DWORD written = 0;
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), n, nullptr, nullptr);
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  tv::win32::LoadDllsFromSystemOnly();
  if (argc < 2) {
    WriteErr(L"usage: tracecap PROGRAM [ARGS...]\n");
    return 2;
  }
  std::wstring commandLine = tv::debuggee::Quote(argv[1]);
  for (int i = 2; i < argc; ++i) commandLine += L" " + tv::debuggee::Quote(argv[i]);

  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (nul != INVALID_HANDLE_VALUE) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
  }
  PROCESS_INFORMATION pi = {};
  const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, nul != INVALID_HANDLE_VALUE,
                                        DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &pi);
  if (nul != INVALID_HANDLE_VALUE) ::CloseHandle(nul);
  if (!started) {
    WriteErr(L"tracecap: cannot start the program\n");
    return 2;
  }
  tv::debuggee::KeepDebuggeeWhenDebuggerEnds();

  const DWORD exitCode =
      tv::debuggee::DebugUntilExit(pi, [](const std::wstring& text, DWORD) { WriteOut(ToUtf8(text)); });
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return static_cast<int>(exitCode);
}
