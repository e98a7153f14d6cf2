// The Windows entry: the process-wide objects on the real platform, then the run.
#include <windows.h>

#include "app/tool.h"
#include "platform/product_cache.h"
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_platform.h"

// Only the Wine tests' build of the 64-bit tool sends the device calls that
// 64-bit Windows refuses to a 32-bit process straight to the companion, so
// that the companion is tested where no 32-bit program runs; the shipped tool
// has no way to be told so.
#ifdef TARNVALE_ROUTE_THROUGH_COMPANION
constexpr bool kRouteThroughCompanion = true;
#else
constexpr bool kRouteThroughCompanion = false;
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  tv::win32::LoadDllsFromSystemOnly();
  tv::win32::Win32Platform machine(instance);
  const tv::CProcessPlatform process(machine.get());
  tv::CTool tool(process.get(), kRouteThroughCompanion);
  return tool.Run();
}
