// The rules of the driver installation that its command and the linter share:
// the section a Windows version reads and the install folders it accepts.
#pragma once

#include <string>

#include "runtime/run_context.h"

namespace tv {

// The section ending by Windows version: "_2000", "_XP", "_VISTA" or none.
std::wstring OsClassSectionEnding(std::uint32_t osClass);

// Refuses an install folder that is empty, absolute or climbs out of the
// install root: it is deleted before the copy.
bool IsSafeInstallSubfolder(std::wstring_view destination);

}  // namespace tv
