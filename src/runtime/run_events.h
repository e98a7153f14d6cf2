// What a run does, command by command, for whoever watches it: the
// simulator's summary, and tarnvale-run, which runs the tool as its debuggee
// and reads the same events from the debugger output. They are not trace
// lines: the tool sends them only to a watcher that asks for them (the
// environment variable TARNVALE_RUN_EVENTS=1 on Windows), never to a
// debugger that reads the trace.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tv {

// What became of a command.
enum class CommandOutcome {
  kRan,                 // its handler ran
  kSkippedByPlatform,   // its suffix names another bitness of Windows
  kUnknownKeyword,      // no handler: the command does nothing
  kRedirectionRefused,  // redirection could not be turned off around it
};

// Where the run ended.
enum class RunEnd {
  kNoWindow,        // no hidden main window: nothing ran
  kSecondInstance,  // another instance of the tool holds its name
  kNoKernel32,      // Kernel32.dll could not be loaded: nothing ran
  kListEnded,       // CMDn is missing or empty
  kAllCommands,     // the last of the commands the tool runs
  kStopped,         // a command stopped the run
  kPathTooLong,     // the tool's own path does not fit its room: its script cannot be named
};

class IRunObserver {
 public:
  virtual ~IRunObserver() = default;
  virtual void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) = 0;
  virtual void CommandEnds(std::size_t n, CommandOutcome outcome, bool stopsTheRun) = 0;
  // `n`: the command the run ended at, 0 before the command loop.
  virtual void RunEnds(RunEnd end, std::size_t n) = 0;
  // Something the trace does not say about the command that runs: a program
  // TPROCESS did not end, and why.
  virtual void Note(std::wstring_view /*text*/) {}
};

// The environment variable that asks the tool for its run events.
inline constexpr std::wstring_view kRunEventsVariable = L"TARNVALE_RUN_EVENTS";

// An event as the debugger output carries it: a mark no trace line begins
// with, the event's name and its fields, separated by tabs.
std::wstring CommandStartsEvent(std::size_t n, std::wstring_view command, std::wstring_view section);
std::wstring CommandEndsEvent(std::size_t n, CommandOutcome outcome, bool stopsTheRun);
std::wstring RunEndsEvent(RunEnd end, std::size_t n);
std::wstring NoteEvent(std::wstring_view text);

// Whether a debugger string is a run event.
bool IsRunEvent(std::wstring_view text);
// Hands a run event to the observer; false for a string that is none, or
// one whose fields do not read.
bool DeliverRunEvent(std::wstring_view text, IRunObserver& observer);

}  // namespace tv
