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

// Where the run ended.
enum class RunEnd {
  kNoWindow,        // no hidden main window: nothing ran
  kSecondInstance,  // another instance of the tool holds its name
  kNoKernel32,      // Kernel32.dll could not be loaded: nothing ran
  kListEnded,       // CMDn is missing or empty
  kAllCommands,     // the last of the commands the tool runs
  kStopped,         // a command stopped the run
};

// Told what the run does, command by command (the simulator's run summary);
// the executable on Windows has none.
class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  virtual void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) = 0;
  virtual void CommandEnds(std::size_t n, CommandOutcome outcome, bool stopsTheRun) = 0;
  // `n`: the command the run ended at, 0 before the command loop.
  virtual void RunEnds(RunEnd end, std::size_t n) = 0;
};

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
  void SetObserver(IRunObserver* observer) { observer_ = observer; }

 private:
  void ApplyForcedRegion();
  void RunCommandLoop();
  void Ended(RunEnd end, std::size_t n);

  // What the tool does not do itself on 64-bit Windows, its companion does.
  CWow64Devices devices_;
  Platform platform_;
  CProcessObjects objects_;
  // Kept until the process ends: it is what refuses a second instance.
  std::unique_ptr<IKernelObject> instanceMutex_;
  std::unique_ptr<IKernel32> kernel32_;
  IRunObserver* observer_ = nullptr;
};

}  // namespace tv
