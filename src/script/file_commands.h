// REMOVE_FILES and COPY_FOLDERS: delete listed files and copy folder trees.
#pragma once

#include "script/command.h"

namespace tv {

void HandleRemoveFiles(const CommandCall& call);
void HandleCopyFolders(const CommandCall& call);

}  // namespace tv
