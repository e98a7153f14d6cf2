#include "actions/action.h"
#include "runtime/section_variant.h"

namespace tv {

int CAction::AddRegFromRegFile(std::wstring_view path) {
  trace.Trace(L"AddRegFromRegFile:Start");
  if (!platform().files.Exists(path)) {
    trace.Trace(L"AddRegFromRegFile:Error could not find %s.", path);
    return 0;
  }
  // The registry editor by its full path, found as the system's search finds
  // a bare "regedit" among the system folders only: the system folder as this
  // process sees it (under WOW64 redirection that is SysWOW64, whose editor
  // writes the 32-bit view), then the Windows folder. Neither the tool's own
  // folder nor a SystemRoot from the environment can put another one first.
  std::optional<std::wstring> editor;
  for (auto folder : {platform().system.SystemDirectory(), platform().system.WindowsDirectory()}) {
    if (!folder || folder->empty()) continue;
    const std::wstring candidate = *folder + L"\\regedit.exe";
    if (platform().files.Exists(candidate)) {
      editor = candidate;
      break;
    }
  }
  if (!editor) {
    trace.Trace(L"AddRegFromRegFile:Error no registry editor in the system folders");
    return 0;
  }
  const std::wstring commandLine = QuotedIfBlank(*editor) + L" /s \"" + std::wstring(path) + L"\"";
  trace.Trace(L"AddRegFromRegFile:CMD=%s", commandLine);
  if (auto process = platform().processes.Create(commandLine, 0, SystemProgramFolder(platform().system))) {
    trace.Trace(L"AddRegFromRegFile:Waiting for the end of process");
    (*process)->WaitForExit();
  }
  trace.Trace(L"AddRegFromRegFile:End");
  return 1;
}

}  // namespace tv
