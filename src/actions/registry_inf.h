// Registry entries listed in a command section are written into a generated
// INF and applied by the system's INF installer.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// The frame of a generated INF: everything before the entry lines.
std::wstring InfFrame(std::uint32_t addCount, std::uint32_t deleteCount);

}  // namespace tv
