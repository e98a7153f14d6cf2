#include "script/dispatcher.h"

#include "platform/shell_path.h"
#include "platform/text.h"
#include "script/command.h"

namespace tv {

namespace {
constexpr std::wstring_view kSuffixX32 = L".X32";
constexpr std::wstring_view kSuffixX64 = L".X64";
constexpr std::wstring_view kSuffixWow64 = L".WOW64";
constexpr std::wstring_view kSuffixWow6432 = L".WOW6432";
}  // namespace

int DispatchCommand(const DispatchEnv& env, std::wstring_view command, std::wstring_view section,
                    std::int32_t& stopFlag, CommandOutcome* outcome) {
  CommandOutcome unused = CommandOutcome::kRan;
  CommandOutcome& result = outcome != nullptr ? *outcome : unused;
  result = CommandOutcome::kRan;
  stopFlag = 0;
  CommandState state;
  state.keyword = CutTo(shell::RemoveExtension(command), kRoomPath);
  state.suffix = CutTo(shell::Extension(command), kRoomPath);
  // A failed IsWow64Process leaves the flag clear.
  if (auto wow64 = env.platform.system.IsWow64Process()) state.wow64 = *wow64;

  const bool redirectionSuffix = EqualsNoCase(state.suffix, kSuffixWow6432) || EqualsNoCase(state.suffix, kSuffixWow64);
  bool skip = false;
  if (state.wow64) {
    // Redirection is turned off only where it can be turned on again. Where
    // Windows lacks the entry points the command runs with redirection on,
    // as older Windows always ran it. A turn-off that is tried and fails
    // would send the command to the 32-bit programs and registry view it
    // asked to leave: that command does not run.
    if (redirectionSuffix && env.kernel32 != nullptr && env.kernel32->HasDisableRedirection() &&
        env.kernel32->HasRevertRedirection()) {
      state.redirectionOff = env.kernel32->DisableRedirection(state.oldRedirection);
      if (!state.redirectionOff) {
        env.objects.trace.Trace(L"ERROR:DispatchCommand->Wow64DisableWow64FsRedirection %s, the command does not run",
                                command);
        skip = true;
        result = CommandOutcome::kRedirectionRefused;
      }
    }
    if (!skip && EqualsNoCase(state.suffix, kSuffixX32)) {
      skip = true;
      result = CommandOutcome::kSkippedByPlatform;
    }
  } else if (EqualsNoCase(state.suffix, kSuffixWow64) || EqualsNoCase(state.suffix, kSuffixX64)) {
    result = CommandOutcome::kSkippedByPlatform;
    return 1;
  }

  if (!skip) {
    if (CommandHandler handler = FindHandler(state.keyword)) {
      const std::wstring& script = env.objects.runContext.setupScriptPath;
      const std::wstring sectionName(section);
      handler(CommandCall{env.platform, env.objects, state, script, sectionName, stopFlag});
    } else {
      result = CommandOutcome::kUnknownKeyword;
    }
  }

  // A turn-off that failed restores nothing. A restore that fails would leave
  // every later command with redirection off: the run ends here.
  if (state.redirectionOff && !env.kernel32->RevertRedirection(state.oldRedirection)) {
    env.objects.trace.Trace(L"ERROR:DispatchCommand->Wow64RevertWow64FsRedirection %s, the run stops", command);
    stopFlag = 1;
  }
  return state.result;
}

CommandHandler FindHandler(std::wstring_view keyword) {
  for (const auto& row : KeywordTable()) {
    if (EqualsNoCase(row.keyword, keyword)) return row.handler;
  }
  return nullptr;
}

bool IsSilentMode(const CRunContext& context) {
  for (std::wstring_view s : {L"/s", L"/S", L"-s", L"-S"}) {
    if (context.arguments.find(s) != std::wstring::npos) return true;
  }
  return false;
}

}  // namespace tv
