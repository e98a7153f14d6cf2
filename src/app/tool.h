// The run: the single-instance guard, the WOW64 entry points, the forced
// region and the command loop over the setup script's INIT section.
#pragma once

#include <cstdint>
#include <memory>

#include "app/process_objects.h"
#include "platform/platform.h"

namespace tv {

// Exit codes of the tool.
inline constexpr int kExitNoRun = 0;  // no main window, or no Kernel32.dll
inline constexpr int kExitRan = 1;    // the command loop ran, or another instance is running

class CTool {
 public:
  explicit CTool(const Platform& platform);

  // Everything after the process-wide objects are made; the exit code.
  int Run();

  CProcessObjects& objects() { return objects_; }

 private:
  void ApplyForcedRegion();
  void RunCommandLoop();

  Platform platform_;
  CProcessObjects objects_;
  // Kept until the process ends: it is what refuses a second instance.
  std::unique_ptr<IKernelObject> instanceMutex_;
  std::unique_ptr<IKernel32> kernel32_;
};

}  // namespace tv
