#include "actions/action.h"
#include "platform/shell_path.h"
#include "runtime/section_variant.h"
#include "runtime/setup_script.h"

namespace tv {

std::wstring QuotedIfBlank(std::wstring_view path) {
  if (path.find(L' ') == std::wstring_view::npos) return std::wstring(path);
  return L"\"" + std::wstring(path) + L"\"";
}

int CAction::CreateProcessFromIni(std::wstring_view script, std::wstring_view section, std::wstring_view variant,
                                  std::wstring_view arguments) {
  IProfile& profile = platform().profile;
  trace.Trace(L"CreateProcessFromIni(%s,%s,%s,%s) ", script, section, variant, arguments);
  if (!platform().files.Exists(script)) {
    trace.Trace(L"CreateProcessFromIni:Error iregal ini file =%s", script);
    return 0;
  }
  const std::wstring chosen = CutTo(SelectSectionVariant(profile, script, section, variant), kRoomPath);
  trace.Trace(L"CreateProcessFromIni:section name =%s", chosen);

  const std::uint32_t count = ReadScriptCount(profile, script, chosen, L"CMD", trace);
  const std::uint32_t pause = ReadScriptPause(profile, script, chosen, L"CMD_SLEEP", trace);
  const auto async = static_cast<std::int32_t>(ReadScriptInt(profile, script, chosen, L"CMD_ASYNCFLAG"));
  const auto longForm = static_cast<std::int32_t>(ReadScriptInt(profile, script, chosen, L"CMD_LONGFLAG"));
  trace.Trace(L"CreateProcessFromIni:CMD=%d", count);

  std::wstring parameters = CutTo(arguments, kRoomPath);
  const std::wstring plusKey = ReadScriptString(profile, script, chosen, L"CMD_PLUSARGKEY", kRoomPath);
  const std::wstring plus = ReadScriptString(profile, script, chosen, L"CMD_PLUSARG", kRoomPath);
  if (plusKey.empty() || (!plus.empty() && parameters.find(plusKey) != std::wstring::npos)) {
    // A parameter string that would not fit its room is left as it was
    // rather than cut in the middle of an argument.
    const std::wstring extended = parameters + L" " + plus;
    if (extended.size() <= kRoomPath) {
      trace.Trace(L"CreateProcessFromIni() Param was changed %s->%s", parameters, extended);
      parameters = extended;
    }
  }

  const CRunContext& rc = context;
  // Without a short form of the folder (no 8.3 names on the volume) the long
  // form is the same folder; an empty base would make every path relative.
  const std::wstring& base =
      (longForm == 1 || rc.shortModuleDirectory.empty()) ? rc.moduleDirectory : rc.shortModuleDirectory;
  for (std::uint32_t i = 1; i <= count; ++i) {
    const std::wstring value = ReadScriptString(profile, script, chosen, Format(L"CMD%d", i), kRoomPath);
    const auto launch = shell::Append(base, value);
    if (!launch || !platform().files.Exists(*launch)) {
      trace.Trace(L"CreateProcessFromIni:Could not find CMD=%s", launch.value_or(base + L"\\" + value));
      continue;
    }
    std::wstring commandLine = QuotedIfBlank(*launch);
    if (!parameters.empty()) commandLine += L" " + parameters;
    trace.Trace(L"CreateProcessFromIni:sCmdExecute==%s", commandLine);
    auto process = platform().processes.Create(commandLine, process::kCreateNoWindow, rc.moduleDirectory);
    if (process && async == 0) {
      trace.Trace(L"CreateProcessFromIni:Waiting for the end of process");
      (*process)->WaitForExit();
    }
    if (pause > 0) platform().system.Pause(pause);
  }
  trace.Trace(L"CreateProcessFromIni:End");
  return 1;
}

}  // namespace tv
