// REG_INI and REG_INI_UILANG write the registry entries of a command section
// through a generated INF; REG_FILE and REG_FILE_UILANG import registry files.
#pragma once

#include "script/command.h"

namespace tv {

void HandleRegIni(const CommandCall& call);
void HandleRegIniUiLang(const CommandCall& call);
void HandleRegFile(const CommandCall& call);
void HandleRegFileUiLang(const CommandCall& call);

}  // namespace tv
