// The names of the registry roots, as .reg files, machine descriptions and
// setup scripts write them.
#pragma once

#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// "HKEY_LOCAL_MACHINE", ...
std::wstring_view RegRootName(RegRoot root);
// "HKLM", "HKCU", "HKCR", "HKU", "HKCC".
std::wstring_view RegRootShortName(RegRoot root);
// A root by either name, without regard to case; none for another name.
std::optional<RegRoot> RegRootFromName(std::wstring_view name);

}  // namespace tv
