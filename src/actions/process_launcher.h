// CMD_CP, CMD_REGION and CMD_UILANG: start the programs that a command section
// lists, beside the tool, with the tool's arguments.
#pragma once

#include "script/command.h"

namespace tv {

void HandleCmdCp(const CommandCall& call);
void HandleCmdRegion(const CommandCall& call);
void HandleCmdUiLang(const CommandCall& call);

}  // namespace tv
