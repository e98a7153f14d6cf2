// The results of ending a running program by the file name of its executable.
#pragma once

#include "platform/platform.h"

namespace tv {

// Termination results.
namespace termination {
inline constexpr int kTerminated = 0;
inline constexpr int kTerminateFailed = 602;
inline constexpr int kNotRunning = 603;
inline constexpr int kOpenFailed = 604;
inline constexpr int kNoPsapi = 605;
inline constexpr int kNoVersion = 606;
inline constexpr int kUnknownPlatform = 607;
inline constexpr int kBadName = 632;
inline constexpr int kPsapiIncomplete = 700;
inline constexpr int kEnumFailed = 701;
inline constexpr int kNoKernel32 = 702;
inline constexpr int kToolhelpIncomplete = 703;
inline constexpr int kSnapshotFailed = 704;
}  // namespace termination

}  // namespace tv
