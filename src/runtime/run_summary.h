// What a run did, command by command: the keyword, the section (and the
// variant of it that was chosen), whether it ran, was skipped by the platform
// gate, failed or stopped the run and why, where the run ended, every failure
// the trace names, and what that means to a deployment system. Made from the
// tool's trace messages and run events, in the simulator and in tarnvale-run
// alike: one classifier of trace lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/run_events.h"

namespace tv {

struct CommandSummary {
  enum class Outcome {
    kRan,                 // ran, and no operation of it failed
    kFailed,              // ran; an operation of it failed (its lines are in `failures`)
    kSkippedByPlatform,   // its suffix names another bitness of Windows
    kUnknownKeyword,      // names no command: does nothing
    kRedirectionRefused,  // did not run: redirection could not be turned off around it
    kStoppedTheRun,       // ran and ended the run (`why`)
    kNeverEnds,           // waits for a program that never ends: the real tool would wait for ever
    kProcessEnded,        // the tool's process was ended while it ran
  };
  std::size_t n = 0;
  std::wstring command;  // CMDn as written
  std::wstring keyword;
  std::wstring suffix;
  std::wstring section;
  std::wstring chosenSection;  // the section read, where the trace names it (a variant, an OS section)
  bool fellBack = false;       // a command of variants that found none for this machine: the plain section
  Outcome outcome = Outcome::kRan;
  std::wstring why;                    // the line that says why the run stopped, or the program waited for
  bool waitsOnDialog = false;          // `why` is a dialog of Windows, not a program
  std::vector<std::wstring> failures;  // its failure lines
  std::vector<std::wstring> restarts;  // changes that wait for a restart of Windows
  std::vector<std::wstring> notes;     // what the trace does not say (a program TPROCESS did not end)
};

struct RunSummary {
  enum class End {
    kListEnded,       // CMDn missing or empty
    kAllCommands,     // the tool runs 64 commands at most
    kStopped,         // a command stopped the run
    kSecondInstance,  // another instance held the name
    kNoWindow,
    kNoKernel32,
    kPathTooLong,   // the tool's path is too long to name its script: nothing ran
    kNeverEnds,     // the run would wait for ever at a command
    kProcessEnded,  // the process was ended from outside (a kill, a power cut)
    kUnknown,       // the run's end was not told (no run events)
  };
  std::vector<CommandSummary> commands;
  End end = End::kUnknown;
  std::size_t endAt = 0;         // the command the run ended at; 0 before the command loop
  std::size_t callsMade = 0;     // kProcessEnded, in the simulator: the calls to Windows it made
  bool betweenCommands = false;  // kProcessEnded: after command `endAt` had ended
  struct Failure {
    std::size_t command;  // 0: before the command loop
    std::wstring line;
  };
  std::vector<Failure> failures;
  std::vector<Failure> restarts;           // lines that say a change waits for a restart
  std::vector<std::wstring> unclassified;  // lines of no row of the trace-line table

  bool Stopped() const;         // ended before its list did: a check, an error, the second instance, a hang
  bool Failed() const;          // a failure line, an unknown keyword, a refused command or a hang
  bool StoppedByCheck() const;  // a machine check ended the run: the script is not for this machine
};

// Builds a summary from what a run tells: trace messages (without the
// "<name>:" in front) and run events.
class CRunRecorder final : public IRunObserver {
 public:
  void Message(std::wstring_view message);
  void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) override;
  void CommandEnds(std::size_t n, CommandOutcome outcome, bool stopsTheRun) override;
  void RunEnds(RunEnd end, std::size_t n) override;
  void Note(std::wstring_view text) override;
  // The simulator's own ends of a run.
  // The run waits for good at the current command: for a program that
  // never ends, or on a dialog that no one answers.
  void NeverEnds(const std::wstring& image, bool dialog = false);
  void ProcessEnded(std::size_t calls);
  RunSummary Take() { return std::move(summary_); }

 private:
  CommandSummary* Current();
  RunSummary summary_;
  bool open_ = false;
  std::wstring lastCheck_;
  std::wstring lastFailure_;
};

// What a deployment system (Configuration Manager, Intune, a factory image
// step) is told of a run, and what the code means.
struct DeploymentResult {
  int code;
  std::string_view meaning;
};
inline constexpr int kDeploySuccess = 0;
inline constexpr int kDeployRestart = 3010;
inline constexpr int kDeployAnotherRunning = 1618;
inline constexpr int kDeployFailed = 1603;
inline constexpr int kDeployNotForThisMachine = 4;
// `restartPending`: Windows says, apart from the trace, that a restart is due
// (files to be replaced at the next start, a device that needs one).
DeploymentResult DeploymentExitCode(const RunSummary& summary, bool restartPending = false);

std::string_view OutcomeName(CommandSummary::Outcome outcome);
std::string_view EndName(RunSummary::End end);
std::string EndText(const RunSummary& summary);
// "CMD3=REG_INI [Settings]", with the chosen variant when there is one.
std::string CommandTitle(const CommandSummary& command);
// The summary as the simulator's report and tarnvale-run's log show it (UTF-8).
std::string SummaryText(const RunSummary& summary);

}  // namespace tv
