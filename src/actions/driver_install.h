// INSTALL_DRIVER: the driver package under Program Files, then a driver update
// for each present listed device, or the INF files staged in the driver store.
#pragma once

#include <string>

#include "script/command.h"

namespace tv {

// The section ending by Windows version: "_2000", "_XP", "_VISTA" or none.
std::wstring OsClassSectionEnding(std::uint32_t osClass);

// Refuses an install folder that is empty, absolute or climbs out of the
// install root: it is deleted before the copy.
bool IsSafeInstallSubfolder(std::wstring_view destination);

void HandleInstallDriver(const CommandCall& call);

}  // namespace tv
