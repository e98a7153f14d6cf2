// The frame of the setup script: its INIT section and the reading of values
// into the rooms that the tool gives them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/text.h"

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

// A count of a list in the setup script. The reader answers an unsigned
// number, so a negative count such as -1 would be four billion entries: it
// means none.
inline std::uint32_t ReadScriptCount(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                     std::wstring_view key) {
  const std::uint32_t n = profile.ReadInt(script, section, key, 0);
  return static_cast<std::int32_t>(n) < 0 ? 0 : n;
}

// A pause in milliseconds; a negative one is no pause, not a wait of 49 days.
inline std::uint32_t ReadScriptPause(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                     std::wstring_view key) {
  return ReadScriptCount(profile, script, section, key);
}

}  // namespace tv
