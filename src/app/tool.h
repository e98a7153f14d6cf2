// The run: the single-instance guard, the WOW64 entry points, the forced
// region and the command loop over the setup script's INIT section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "app/process_objects.h"
#include "devices/wow64_devices.h"
#include "platform/platform.h"
#include "script/dispatcher.h"

namespace tv {

// Exit codes of the tool.
inline constexpr int kExitNoRun = 0;  // no main window, or no Kernel32.dll
inline constexpr int kExitRan = 1;    // the command loop ran, or another instance is running

class CTool {
 public:
  // `routeThroughCompanion`: the device calls that 64-bit Windows refuses a
  // 32-bit process go to the companion at once (the Wine tests' 64-bit build).
  explicit CTool(const Platform& platform, bool routeThroughCompanion = false);

  // Everything after the process-wide objects are made; the exit code.
  int Run();

  CProcessObjects& objects() { return objects_; }

 private:
  void ApplyForcedRegion();
  void ReportChangeablePackage();
  void RunCommandLoop();
  void Ended(RunEnd end, std::size_t n);

  // What the tool does not do itself on 64-bit Windows, its companion does.
  CWow64Devices devices_;
  Platform platform_;
  CProcessObjects objects_;
  // Kept until the process ends: it is what refuses a second instance.
  std::unique_ptr<IKernelObject> instanceMutex_;
  std::unique_ptr<IKernel32> kernel32_;
};

}  // namespace tv
