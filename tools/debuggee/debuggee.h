// What tracecap and tarnvale-run share as debuggers of the tool: its command
// line quoted as the C run-time splits it, and the strings it sends to the
// debugger output read back from its memory. Windows builds only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace tv::debuggee {

// Quotes an argument the way the C run-time splits a command line, so that
// the program gets each argument as it was given.
inline std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
    } else if (c == L'"') {
      out.append(slashes * 2 + 1, L'\\');
      slashes = 0;
    } else {
      slashes = 0;
    }
    out += c;
  }
  out.append(slashes, L'\\');
  return out + L"\"";
}

// The string of one OUTPUT_DEBUG_STRING_EVENT, read from the debuggee's memory.
// Windows 10 and later send the Unicode form; older Windows and Wine the ANSI
// form, converted with the ANSI code page.
inline std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  const std::size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
  std::vector<char> raw(static_cast<std::size_t>(info.nDebugStringLength) * unit);
  SIZE_T got = 0;
  if (raw.empty() || !::ReadProcessMemory(process, info.lpDebugStringData, raw.data(), raw.size(), &got)) return {};
  raw.resize(got);
  std::wstring text;
  if (info.fUnicode) {
    text.assign(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t));
  } else {
    const int n = ::MultiByteToWideChar(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
    text.resize(static_cast<std::size_t>(n));
    ::MultiByteToWideChar(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), text.data(), n);
  }
  // The length counts the terminator.
  const auto end = text.find(L'\0');
  if (end != std::wstring::npos) text.resize(end);
  return text;
}

// After the debuggee is started: when the debugger exits or is ended (its
// console closed, a time-out), the debuggee runs on to its own end instead
// of being killed in the middle of an install. Windows 2000 lacks the call.
inline void KeepDebuggeeWhenDebuggerEnds() {
  using KillOnExit = BOOL(WINAPI*)(BOOL);
  auto keep = reinterpret_cast<KillOnExit>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "DebugSetProcessKillOnExit")));
  if (keep != nullptr) keep(FALSE);
}

// How to go on after an exception in the debuggee: a breakpoint is the
// debugger's to pass, the loader's first one included, which a 32-bit
// program under WOW64 raises as STATUS_WX86_BREAKPOINT; any other exception
// is the program's own.
inline DWORD ContinueStatus(const EXCEPTION_DEBUG_INFO& exception) {
  constexpr DWORD kWx86Breakpoint = 0x4000001F;
  const DWORD code = exception.ExceptionRecord.ExceptionCode;
  return code == EXCEPTION_BREAKPOINT || code == kWx86Breakpoint ? DBG_CONTINUE : DBG_EXCEPTION_NOT_HANDLED;
}

// Serves the debuggee until it exits: each string it sends to the debugger
// goes to `onString` with the thread that sent it. The debuggee's exit code
// (2 when the loop could not wait for it).
inline DWORD DebugUntilExit(const PROCESS_INFORMATION& pi,
                            const std::function<void(const std::wstring& text, DWORD thread)>& onString) {
  DWORD exitCode = 2;
  bool running = true;
  while (running) {
    DEBUG_EVENT event = {};
    if (!::WaitForDebugEvent(&event, INFINITE)) break;
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT:
        onString(ReadDebugString(pi.hProcess, event.u.DebugString), event.dwThreadId);
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) ::CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) ::CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT: status = ContinueStatus(event.u.Exception); break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exitCode = event.u.ExitProcess.dwExitCode;
        running = false;
        break;
      default: break;
    }
    ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
  }
  return exitCode;
}

}  // namespace tv::debuggee
