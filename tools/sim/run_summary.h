// The run summary of a simulated run: the tool run on the machine with its
// trace messages and run events handed to the summary that tarnvale-run
// makes on Windows, plus the simulator's own ends (a wait for ever, a
// process ended after a number of calls), and the summary as JSON.
#pragma once

#include <nlohmann/json.hpp>

#include "platform/sim/sim_machine.h"
#include "runtime/run_summary.h"

namespace tv::sim {

using tv::CommandSummary;
using tv::EndText;
using tv::OutcomeName;
using tv::RunSummary;
using tv::SummaryText;

// Runs the tool on the machine as RunTool does, with the run ending at a
// wait that would never end; the tool's exit code (kToolNeverExits there,
// kToolProcessEnded when the machine's fault plan ends the process) goes to
// `exitCode`. `also` is told each command as well.
RunSummary RunWithSummary(SimMachine& machine, int& exitCode, IRunObserver* also = nullptr);

nlohmann::json SummaryJson(const RunSummary& summary);

}  // namespace tv::sim
