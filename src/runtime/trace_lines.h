// Every message the tool can trace, with what it means for the run: progress,
// a benign finding, a failure, or the reason a check ends the run. The run
// summary and the trace-line reference of the docs both come from this table.
#pragma once

#include <span>
#include <string_view>

namespace tv {

enum class LineKind {
  kProgress,  // what the tool does next, or did
  kBenign,    // reads like an error, but is what a sound run on such a machine says
  kFailure,   // an operation failed or was refused: something the script asked for was not done
  kCheck,     // a check found the machine is not one the script is for: the run ends
  kRestart,   // a change was made and waits for a restart of Windows to take effect
};

std::string_view KindName(LineKind kind);  // "progress", "benign", "failure", "check", "restart"

struct TraceLine {
  // The message as the tool formats it (wsprintf conversions: %s, %d, %u,
  // %x, %04x); a row without conversions may single out one value of a
  // row that has them ("erro code 259" of "erro code %d").
  std::wstring_view format;
  LineKind kind;
};

std::span<const TraceLine> TraceLines();

// Does the message read as this format? Conversions match what they print.
bool MatchesFormat(std::wstring_view format, std::wstring_view message);

// The row the message is made from, the most specific when several match
// (most literal characters); none for a message of no row.
const TraceLine* Classify(std::wstring_view message);

}  // namespace tv
