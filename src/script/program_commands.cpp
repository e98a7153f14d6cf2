#include "script/program_commands.h"

#include "actions/action.h"
#include "runtime/section_variant.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {
constexpr std::size_t kProcessNameRoom = 521;
}

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
    call.objects.action.TerminateProcessByName(name);
    call.trace().Trace(L"TerminateProcess:%s\n", name);
  }
}

}  // namespace tv
