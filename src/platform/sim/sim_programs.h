// The system programs that the tool starts, as the simulated machine runs
// them: the INF installer applies a generated INF to the registry, and the
// registry editor imports a registry file.
#pragma once

#include <string>
#include <string_view>

#include "platform/sim/sim_registry.h"

namespace tv::sim {

// The folders that directory IDs in an INF's fields stand for (%10%, %11%,
// %1% ...): the Windows folder, the INF's own path and the user's profile.
struct InfDirectories {
  std::wstring windows = L"C:\\WINDOWS";
  std::wstring infFile;
  std::wstring userProfile;
};

// [DefaultInstall] AddReg and DelReg of an INF, applied to the registry the
// way a 32-bit (on 64-bit Windows: redirected) or a 64-bit installer sees it.
void ApplyInf(SimRegistry& registry, std::wstring_view infText, bool installerIs64Bit,
              const InfDirectories& dirs = {});

// A REGEDIT4 or version 5.00 registry file, imported the way a 32-bit (on
// 64-bit Windows: redirected) or a 64-bit registry editor sees the registry;
// paths in the file as they stand with `editorIs64Bit`. False when the text
// is neither format.
bool ImportRegFile(SimRegistry& registry, std::wstring_view text, bool editorIs64Bit = true);

}  // namespace tv::sim
