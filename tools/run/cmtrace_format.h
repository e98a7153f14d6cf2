// One entry of a log in the format of Configuration Manager's log viewer
// (CMTrace), which deployment admins read their installers' logs with:
//   <![LOG[text]LOG]!><time="HH:MM:SS.mmm+TZ" date="MM-DD-YYYY" component="c" context="" type="1" thread="N" file="">
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tv::run {

struct LogTime {
  int year, month, day, hour, minute, second, millisecond;
  int biasMinutes;  // UTC = local time + bias, as Windows gives it (480 on the US west coast)
};

// Entry types: 1 information, 2 warning (skips, refusals, a check that
// stops the run), 3 error (the failure lines of the trace).
std::string CmtraceEntry(std::wstring_view text, std::wstring_view component, int type, std::uint32_t thread,
                         const LogTime& time);

// At this size the log is renamed to .lo_ and a new one begun.
inline constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;

}  // namespace tv::run
