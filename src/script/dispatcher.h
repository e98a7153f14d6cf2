// Executes one command of the setup script: splits the platform suffix off,
// gates the command by the bitness of Windows, turns WOW64 file-system
// redirection off around it where asked, and runs the keyword's handler.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "runtime/run_events.h"
#include "script/command.h"

namespace tv {

struct DispatchEnv {
  const Platform& platform;
  CommandObjects objects;
  IKernel32* kernel32;  // none when Kernel32.dll was not loaded
};

// Clears the stop flag, runs the command, returns 1 or the handler's 0.
int DispatchCommand(const DispatchEnv& env, std::wstring_view command, std::wstring_view section,
                    std::int32_t& stopFlag, CommandOutcome* outcome = nullptr);

}  // namespace tv
