// REG_FILE and REG_FILE_UILANG: import a registry file with the registry editor.
#pragma once

#include "script/command.h"

namespace tv {

void HandleRegFile(const CommandCall& call);
void HandleRegFileUiLang(const CommandCall& call);

}  // namespace tv
