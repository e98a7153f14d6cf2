// The tool's 64-bit companion: one device operation that 64-bit Windows
// refuses to the 32-bit tool, made when the tool asks and answered with the
// exit code. It reads no setup script, takes no instance mutex and writes no
// trace; a 64-bit process is not WOW64, and a script run there would turn
// the platform gate upside down.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// The exit code for a command line that names no operation the companion knows.
inline constexpr std::uint32_t kCompanionUsage = 87;  // ERROR_INVALID_PARAMETER

struct CompanionOutcome {
  std::uint32_t exitCode = 0;  // the Windows error of the operation, or kCompanionUsage
  std::wstring message;        // for a person who started it by hand: why it refused
};

// Runs the operation that `commandLine` (the companion's own, program path
// first) names.
CompanionOutcome RunCompanionOperation(const Platform& platform, std::wstring_view commandLine);

}  // namespace tv
