// The system programs that the tool starts, as the simulated machine runs
// them: the INF installer applies a generated INF to the registry, and the
// registry editor imports a registry file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/sim/inf_file.h"
#include "platform/sim/sim_registry.h"

namespace tv::sim {

// [DefaultInstall] AddReg and DelReg of an INF, applied to the registry the
// way a 32-bit (on 64-bit Windows: redirected) or a 64-bit installer sees it.
void ApplyInf(SimRegistry& registry, std::wstring_view infText, bool installerIs64Bit, const InfDirectories& dirs = {});

// The AddReg and DelReg directives of one install section of a parsed INF
// (DelReg first), as a 64-bit installer applies them; HKR is `dirs.relativeKey`.
void ApplyInstallSectionRegistry(SimRegistry& registry, const InfText& inf, const InfSection& install,
                                 const InfDirectories& dirs);

// A registry file (REGEDIT4, version 5.00 or the Windows 3.1 form) imported
// as the registry editor imports it, in the view of its bitness: the bytes as
// they are on disk (UTF-16 after FF FE, else ANSI text in the code page).
// False when the file has no header the editor knows.
bool ImportRegFile(SimRegistry& registry, std::span<const std::uint8_t> bytes, unsigned ansiCodePage,
                   bool editorIs64Bit);
// The same for text already decoded, read as a UTF-16 file.
bool ImportRegFile(SimRegistry& registry, std::wstring_view text, bool editorIs64Bit = true);

}  // namespace tv::sim
