// The Windows entry of the 64-bit companion: one device operation on the real
// platform, its result as the exit code.
#include <windows.h>

#include <cstdio>

#include "app/companion.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"

int wmain() {
  tv::win32::LoadDllsFromSystemOnly();
  tv::win32::Win32Platform machine(::GetModuleHandleW(nullptr));
  const tv::CompanionOutcome outcome = tv::RunCompanionOperation(machine.get(), ::GetCommandLineW());
  if (!outcome.message.empty()) std::fwprintf(stderr, L"%ls\n", outcome.message.c_str());
  return static_cast<int>(outcome.exitCode);
}
