// CMD_CP, CMD_REGION and CMD_UILANG start the programs that a command section
// lists; TPROCESS ends running programs by the file name of their executable.
#pragma once

#include "script/command.h"

namespace tv {

void HandleCmdCp(const CommandCall& call);
void HandleCmdRegion(const CommandCall& call);
void HandleCmdUiLang(const CommandCall& call);
void HandleTerminateProcess(const CommandCall& call);

}  // namespace tv
