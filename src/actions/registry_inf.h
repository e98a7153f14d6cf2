// REG_INI and REG_INI_UILANG: registry entries listed in a command section,
// written into a generated INF and applied by the system's INF installer.
#pragma once

#include <string>
#include <string_view>

#include "script/command.h"

namespace tv {

void HandleRegIni(const CommandCall& call);
void HandleRegIniUiLang(const CommandCall& call);

// The frame of a generated INF: everything before the entry lines.
std::wstring InfFrame(std::uint32_t addCount, std::uint32_t deleteCount);

}  // namespace tv
