// Registry entries listed in a command section are written into a generated
// INF and applied by the system's INF installer.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// A delete entry of a command section is written only with a key path:
// without one it names the root, which the installer empties.
inline bool StaticDeleteEntryIsWritten(std::wstring_view keyPath) { return !keyPath.empty(); }
// A delete entry under a driver key is written only with a value name:
// without one the installer deletes the whole driver key.
inline bool DriverDeleteEntryIsWritten(std::wstring_view valueName) { return !valueName.empty(); }
// An add entry whose flags the installer reads as "delete the value"
// (FLG_ADDREG_DELVAL) deletes the whole key with everything below it when it
// names no value, or when FLG_ADDREG_KEYONLY_COMMON goes with it; such an
// entry is left out as a delete entry without its key is. The flags are read
// as the installer reads the field: a whole number, else 0.
bool AddEntryDeletesKey(std::wstring_view flags, std::wstring_view valueName);

// The frame of a generated INF: everything before the entry lines.
std::wstring InfFrame(std::uint32_t addCount, std::uint32_t deleteCount);

}  // namespace tv
