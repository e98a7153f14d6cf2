// CHECK_WOW6432 and CHECK_VENDOR: the checks that need nothing but the run
// context; a failed check ends the run.
#pragma once

#include "script/command.h"

namespace tv {

inline constexpr std::wstring_view kMakerName = L"VELTARO";

void HandleCheckWow6432(const CommandCall& call);
void HandleCheckVendor(const CommandCall& call);

}  // namespace tv
