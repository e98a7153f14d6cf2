// One run of the tool on a simulated machine, made the way the executable
// makes it: one process, its WMI answers cached for the whole process.
#pragma once

#include <string>
#include <string_view>

#include "app/tool.h"
#include "platform/sim/sim_machine.h"

namespace tv::sim {

// Lays the tool and its setup script into the machine: the executable's path
// gives the setup script's path (same folder, same base name, ".ini").
void PlaceTool(SimMachine& machine, std::wstring_view exePath, std::string_view setupScript);

// Lays the tool's 64-bit companion beside it (<base name>64.exe), which the
// machine then runs as a 64-bit process when the tool starts it; a
// companion file the package holds is kept and run. Place the tool first.
void PlaceCompanion(SimMachine& machine);

// Runs the companion's operation on the machine as a 64-bit process; the exit code.
std::uint32_t RunCompanionProcess(SimMachine& machine, std::wstring_view commandLine);

// The exit code of a run that ended at a wait on a program that never ends:
// the real tool would still be waiting.
inline constexpr int kToolNeverExits = -1;

// The exit code of a run whose process the machine ended from outside
// (FaultPlan::stopAfter): a killed process gives none of the tool's own.
inline constexpr int kToolProcessEnded = -2;

// Runs the tool from start to exit; the exit code. What it tells a watcher
// of the run comes as run events (SimMachine::onRunEvent).
int RunTool(SimMachine& machine);

}  // namespace tv::sim
