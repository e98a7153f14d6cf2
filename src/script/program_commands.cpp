#include "script/program_commands.h"

#include "actions/action.h"
#include "actions/process_termination.h"
#include "runtime/run_events.h"
#include "runtime/section_variant.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {
constexpr std::size_t kProcessNameRoom = 521;

// Why TPROCESS did not end a program, in the words of the run summary.
std::wstring NotEndedNote(std::wstring_view name, int result) {
  const std::wstring program(name);
  switch (result) {
    case termination::kNotRunning:
      return program +
             L" was not ended: no process of that name was found (the 32-bit tool does not see the "
             L"names of 64-bit processes)";
    case termination::kTerminateFailed: return program + L" was not ended: Windows refused to end it";
    case termination::kOpenFailed: return program + L" was not ended: its process could not be opened";
    case termination::kBadName: return program + L" was not ended: the name is no program file name";
    default:
      return program + L" was not ended: the running processes could not be listed (code " + std::to_wstring(result) +
             L")";
  }
}
}  // namespace

void HandleCmdCp(const CommandCall& call) {
  const CRunContext& rc = call.objects.runContext;
  call.trace().Trace(L"CreateProcessFromIni");
  call.objects.action.CreateProcessFromIni(call.scriptPath, call.section, L"", rc.arguments);
}

void HandleCmdRegion(const CommandCall& call) {
  const CRunContext& rc = call.objects.runContext;
  call.trace().Trace(L"CreateProcessFromIni-per region");
  call.objects.action.CreateProcessFromIni(call.scriptPath, call.section, rc.RegionCode(), rc.arguments);
}

void HandleCmdUiLang(const CommandCall& call) {
  const CRunContext& rc = call.objects.runContext;
  const std::wstring language = UiLanguageSuffix(rc.uiLanguage);
  call.trace().Trace(L"CreateProcessFromIni-per UI Language %s", language);
  call.objects.action.CreateProcessFromIni(call.scriptPath, call.section, language, rc.arguments);
}

void HandleTerminateProcess(const CommandCall& call) {
  IProfile& profile = call.platform.profile;
  const std::uint32_t count = ReadScriptCount(profile, call.scriptPath, call.section, L"TPROCESS", call.trace());
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring name =
        ReadScriptString(profile, call.scriptPath, call.section, Format(L"PROCESS%d", n), kProcessNameRoom);
    const int result = call.objects.action.TerminateProcessByName(name);
    call.trace().Trace(L"TerminateProcess:%s\n", name);
    // The trace does not say whether the program was ended; a watcher of the run is told.
    if (result != termination::kTerminated) call.platform.debug.RunEvent(NoteEvent(NotEndedNote(name, result)));
  }
}

}  // namespace tv
