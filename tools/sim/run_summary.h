// What a simulated run did, command by command: the keyword, the section,
// whether it ran, was skipped by the platform gate, failed or stopped the run
// and why, where the run ended, and every failure the trace names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/tool.h"
#include "platform/sim/sim_machine.h"

namespace tv::sim {

struct CommandSummary {
  enum class Outcome {
    kRan,                 // ran, and no operation of it failed
    kFailed,              // ran; an operation of it failed (its lines are in `failures`)
    kSkippedByPlatform,   // its suffix names another bitness of Windows
    kUnknownKeyword,      // names no command: does nothing
    kRedirectionRefused,  // did not run: redirection could not be turned off around it
    kStoppedTheRun,       // ran and ended the run (`why`)
    kNeverEnds,           // waits for a program that never ends: the real tool would wait for ever
    kProcessEnded,        // the tool's process was ended while it ran (--stop-after)
  };
  std::size_t n = 0;
  std::wstring command;  // CMDn as written
  std::wstring keyword;
  std::wstring suffix;
  std::wstring section;
  Outcome outcome = Outcome::kRan;
  std::wstring why;                    // the line that says why the run stopped, or the program waited for
  std::vector<std::wstring> failures;  // its failure lines
};

struct RunSummary {
  enum class End {
    kListEnded,       // CMDn missing or empty
    kAllCommands,     // the tool runs 64 commands at most
    kStopped,         // a command stopped the run
    kSecondInstance,  // another instance held the name
    kNoWindow,
    kNoKernel32,
    kNeverEnds,      // the run would wait for ever at a command
    kProcessEnded,   // the process was ended from outside (a kill, a power cut)
  };
  std::vector<CommandSummary> commands;
  End end = End::kListEnded;
  std::size_t endAt = 0;  // the command the run ended at; 0 before the command loop
  std::size_t callsMade = 0;  // kProcessEnded: the calls to Windows it made before it was ended
  bool betweenCommands = false;  // kProcessEnded: after command `endAt` had ended
  struct Failure {
    std::size_t command;  // 0: before the command loop
    std::wstring line;
  };
  std::vector<Failure> failures;
  std::vector<std::wstring> unclassified;  // lines of no row of the trace-line table

  bool Stopped() const;  // ended before its list did: a check, an error, the second instance, a hang
  bool Failed() const;   // a failure line, an unknown keyword, a refused command or a hang
};

// Runs the tool on the machine as RunTool does, with the run ending at a
// wait that would never end; the tool's exit code (kToolNeverExits there,
// kToolProcessEnded when the machine's fault plan ends the process) goes to
// `exitCode`. `also` is told each command as well.
RunSummary RunWithSummary(SimMachine& machine, int& exitCode, IRunObserver* also = nullptr);

std::string SummaryText(const RunSummary& summary);
nlohmann::json SummaryJson(const RunSummary& summary);
std::string_view OutcomeName(CommandSummary::Outcome outcome);

}  // namespace tv::sim
