// One run of the tool on a simulated machine, made the way the executable
// makes it: one process, its WMI answers cached for the whole process.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/sim_machine.h"

namespace tv::sim {

// Lays the tool and its setup script into the machine: the executable's path
// gives the setup script's path (same folder, same base name, ".ini").
void PlaceTool(SimMachine& machine, std::wstring_view exePath, std::string_view setupScript);

// Runs the tool from start to exit; the exit code.
int RunTool(SimMachine& machine);

}  // namespace tv::sim
