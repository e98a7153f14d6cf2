// The Windows entry: the process-wide objects on the real platform, then the run.
#include <windows.h>

#include "app/tool.h"
#include "platform/product_cache.h"
#include "platform/win32/win32_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  tv::win32::Win32Platform machine(instance);
  const tv::CProcessPlatform process(machine.get());
  tv::CTool tool(process.get());
  return tool.Run();
}
