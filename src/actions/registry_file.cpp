#include "actions/action.h"
#include "runtime/section_variant.h"

namespace tv {

int CAction::AddRegFromRegFile(std::wstring_view path) {
  trace.Trace(L"AddRegFromRegFile:Start");
  if (!platform().files.Exists(path)) {
    trace.Trace(L"AddRegFromRegFile:Error could not find %s.", path);
    return 0;
  }
  // The registry editor by its full path: a bare "regedit" would be looked for
  // in the tool's own folder first, where anyone who can write there could
  // put a program of that name.
  const auto systemRoot = platform().system.Environment(L"SystemRoot");
  if (!systemRoot || systemRoot->empty()) {
    trace.Trace(L"AddRegFromRegFile:Error SystemRoot is not set");
    return 0;
  }
  const std::wstring commandLine =
      QuotedIfBlank(*systemRoot + L"\\regedit.exe") + L" /s \"" + std::wstring(path) + L"\"";
  trace.Trace(L"AddRegFromRegFile:CMD=%s", commandLine);
  if (auto process = platform().processes.Create(commandLine, 0, L"")) {
    trace.Trace(L"AddRegFromRegFile:Waiting for the end of process");
    (*process)->WaitForExit();
  }
  trace.Trace(L"AddRegFromRegFile:End");
  return 1;
}

}  // namespace tv
