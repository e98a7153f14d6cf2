#include "script/file_commands.h"

#include "actions/action.h"

namespace tv {

void HandleRemoveFiles(const CommandCall& call) {
  call.trace().Trace(L"REMOVE FILE %s %s", call.scriptPath, call.section);
  call.objects.action.RemoveFiles(call.scriptPath, call.section);
}

void HandleCopyFolders(const CommandCall& call) {
  call.trace().Trace(L"COPY FOLDER %s %s", call.scriptPath, call.section);
  call.objects.action.CopyFolders(call.scriptPath, call.section);
}

}  // namespace tv
