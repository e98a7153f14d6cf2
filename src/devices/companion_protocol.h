// What the 32-bit tool asks of its 64-bit companion, and how: the program's
// name beside the tool, its operations and their arguments on a command line
// that survives any hardware ID or path (blanks, quotation marks, &).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tv {

// The companion of a tool: "<base name>64.exe" in the tool's folder, so that
// a tool renamed for its script finds its own companion.
std::wstring CompanionPath(std::wstring_view toolModulePath);

// The operations, by their command-line names.
inline constexpr std::wstring_view kOpUpdateDriver = L"update-driver";      // hardware ID, INF path, flags
inline constexpr std::wstring_view kOpPropertyChange = L"property-change";  // instance ID, state, scope, profile
inline constexpr std::wstring_view kOpRemove = L"remove";                   // instance ID

// The companion's exit code for a property change that is made but waits
// for a restart of Windows (ERROR_SUCCESS_REBOOT_REQUIRED).
inline constexpr std::uint32_t kCompanionNeedsRestart = 3010;

// One argument as the C run-time and CommandLineToArgvW read it back:
// quoted when it holds a blank or a quotation mark or is empty, with the
// backslashes before a quotation mark doubled.
std::wstring QuoteArgument(std::wstring_view argument);
// The arguments after the program's own path, split by the same rules.
std::vector<std::wstring> SplitArguments(std::wstring_view arguments);

// The command line that starts the companion at `path` for one operation.
std::wstring CompanionCommandLine(std::wstring_view path, std::wstring_view operation,
                                  const std::vector<std::wstring>& arguments);

}  // namespace tv
