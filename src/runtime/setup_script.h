// The frame of the setup script: its INIT section and the reading of values
// into the rooms that the tool gives them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/text.h"
#include "runtime/debug_trace.h"

namespace tv {

inline constexpr std::wstring_view kInitSection = L"INIT";
inline constexpr std::wstring_view kForceRegionKey = L"FORCE_REGION";
inline constexpr std::size_t kMaxCommands = 64;

// A string value cut to `room` characters; the default when the key is missing.
inline std::wstring ReadScriptString(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                     std::wstring_view key, std::size_t room = kRoomScriptValue,
                                     std::wstring_view defaultValue = L"") {
  return profile.ReadString(script, section, key, defaultValue, BufferFor(room));
}

// A count or a number read from the setup script, as the profile reader answers it.
inline std::uint32_t ReadScriptInt(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                   std::wstring_view key, std::int32_t defaultValue = 0) {
  return profile.ReadInt(script, section, key, defaultValue);
}

// The most entries a count in a command section can ask for. No script of a
// notebook line comes near it, and even with every value at its room (about
// 1,300 characters an entry) the INF it makes stays far inside what a 32-bit
// process can hold; four billion entries would not.
inline constexpr std::uint32_t kMostListEntries = 100000;
// The longest pause a command section can ask for, in milliseconds: ten
// minutes, thirty times the tool's own wait after a driver installation.
inline constexpr std::uint32_t kLongestPause = 600000;

// A count of a list in the setup script. The reader answers an unsigned
// number, so a negative count such as -1 would be four billion entries: it
// means none. A count above the bound is cut to it, with a trace line.
inline std::uint32_t ReadScriptCount(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                     std::wstring_view key, const CDebugTrace& trace) {
  const std::uint32_t n = profile.ReadInt(script, section, key, 0);
  if (static_cast<std::int32_t>(n) < 0) return 0;
  if (n <= kMostListEntries) return n;
  trace.Trace(L"%s=%u in [%s] is more than %u: %u are read", key, n, section, kMostListEntries, kMostListEntries);
  return kMostListEntries;
}

// A pause in milliseconds; a negative one is no pause, not a wait of 49 days,
// and one above the bound is cut to it.
inline std::uint32_t ReadScriptPause(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                     std::wstring_view key, const CDebugTrace& trace) {
  const std::uint32_t n = profile.ReadInt(script, section, key, 0);
  if (static_cast<std::int32_t>(n) < 0) return 0;
  if (n <= kLongestPause) return n;
  trace.Trace(L"%s=%u in [%s] is more than %u ms: the pause is %u ms", key, n, section, kLongestPause, kLongestPause);
  return kLongestPause;
}

}  // namespace tv
