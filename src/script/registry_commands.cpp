#include "script/registry_commands.h"

#include "actions/action.h"
#include "runtime/section_variant.h"

namespace tv {

void HandleRegIni(const CommandCall& call) {
  call.trace().Trace(L"Add registry from ini file %s", call.scriptPath);
  call.objects.action.AddDelRegFromIni(call.scriptPath, call.section, L"");
}

void HandleRegIniUiLang(const CommandCall& call) {
  const std::wstring language = UiLanguageSuffix(call.objects.runContext.uiLanguage);
  call.trace().Trace(L"Add registry from ini file with UI LANG %s", language);
  call.objects.action.AddDelRegFromIni(call.scriptPath, call.section, language);
}

void HandleRegFile(const CommandCall& call) {
  const CRunContext& rc = call.objects.runContext;
  call.trace().Trace(L"Add registry from reg file %s", rc.registryFilePath);
  call.objects.action.AddRegFromRegFile(rc.registryFilePath);
}

void HandleRegFileUiLang(const CommandCall& call) {
  const CRunContext& rc = call.objects.runContext;
  const std::wstring path = rc.moduleDirectory + L"\\" + UiLanguageSuffix(rc.uiLanguage) + L".reg";
  call.trace().Trace(L"Add registry from registry file with UI LANG %s", path);
  call.objects.action.AddRegFromRegFile(path);
}

}  // namespace tv
