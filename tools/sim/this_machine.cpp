#include "sim/this_machine.h"

#include <windows.h>

#include "capture/capture.h"
#include "platform/text.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"

namespace tv::sim {

void LoadDllsFromSystemOnly() { win32::LoadDllsFromSystemOnly(); }

std::string DescribeThisMachine(const std::string& script, bool tool64) {
  capture::Options options;
  options.process64 = sizeof(void*) == 8;
  options.tool64 = tool64;
  options.version = TARNVALE_VERSION;
  // The profile functions read a relative name from the Windows folder.
  const std::wstring name = FromUtf8(script);
  wchar_t full[MAX_PATH];
  const DWORD n = ::GetFullPathNameW(name.c_str(), MAX_PATH, full, nullptr);
  options.script = n > 0 && n < MAX_PATH ? std::wstring(full, n) : name;
  win32::Win32Platform machine(::GetModuleHandleW(nullptr));
  return capture::CaptureMachine(machine.get(), options);
}

}  // namespace tv::sim
