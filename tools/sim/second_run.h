// A second run of a setup script on the machine its first run left: what it
// changes, command by command. A script that is safe to run again changes
// nothing the second time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_machine.h"
#include "sim/run_summary.h"

namespace tv::sim {

struct SecondRun {
  RunSummary summary;
  int exitCode = 0;
  struct Change {
    std::size_t command = 0;  // 0: before the first command (after the last one: `afterCommands`)
    bool afterCommands = false;
    std::wstring commandText;  // CMDn as written, with its section
    std::string line;          // what changed, one line
  };
  // What the second run changed in the end, each with the last command that changed it.
  std::vector<Change> changes;
  // Changes that a later command of the same run put back.
  std::size_t putBack = 0;
};

// Runs the tool once more on `machine` and finds what each command changes on
// its state: registry, files and devices (programs started and pauses are not
// the machine's state; what a started program writes is its own).
SecondRun RunAgain(SimMachine& machine);

std::string SecondRunText(const SecondRun& run);
nlohmann::json SecondRunJson(const SecondRun& run);

}  // namespace tv::sim
