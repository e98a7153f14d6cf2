#include "app/tool.h"

#include "devices/companion_protocol.h"
#include "runtime/setup_script.h"
#include "script/dispatcher.h"

namespace tv {

namespace {
Platform WithDevices(Platform platform, IDevices& devices) {
  return Platform{platform.profile, platform.registry, platform.product,   platform.system,
                  platform.debug,   platform.files,    platform.processes, devices};
}
}  // namespace

CTool::CTool(const Platform& platform, bool routeThroughCompanion)
    : devices_(platform, routeThroughCompanion), platform_(WithDevices(platform, devices_)), objects_(platform_) {
  devices_.SetTrace([this](std::wstring_view line) { objects_.trace.Trace(L"%s", line); });
}

int CTool::Run() {
  ISystem& sys = platform_.system;
  if (!sys.CreateHiddenMainWindow()) {
    Ended(RunEnd::kNoWindow, 0);
    return kExitNoRun;
  }

  // A path cut to the room of the tool's buffers would name another setup
  // script, or none: the run reads nothing rather than the wrong file.
  if (objects_.runContext.modulePathCut) {
    objects_.trace.Trace(L"The tool's path is longer than %u characters: no setup script is read",
                         static_cast<unsigned>(kRoomPath));
    Ended(RunEnd::kPathTooLong, 0);
    return kExitRan;
  }

  const std::wstring& mutexName = objects_.runContext.exeFileName;
  NamedMutex mutex = sys.CreateNamedMutex(mutexName);
  instanceMutex_ = std::move(mutex.handle);
  // Another instance holds the name; one that runs elevated denies a copy that
  // does not even the opening of it, and is running all the same. A mutex that
  // someone who is no administrator made is no copy of the tool: any user could
  // make one to stop every later run.
  if (mutex.lastError == err::kAlreadyExists || mutex.lastError == err::kAccessDenied) {
    if (mutex.madeByAdministrators) {
      objects_.trace.Trace(L"Error to avoid execute doubly");
      Ended(RunEnd::kSecondInstance, 0);
      return kExitRan;
    }
    objects_.trace.Trace(
        L"The mutex %s was made by a user who is no administrator: it is no copy of this tool, which runs", mutexName);
  }

  auto kernel32 = sys.LoadKernel32();
  if (!kernel32) {
    objects_.trace.Trace(L"Not found Kernel32.dll");
    Ended(RunEnd::kNoKernel32, 0);
    return kExitNoRun;
  }
  kernel32_ = std::move(*kernel32);

  objects_.trace.Trace(L"Version=%s Region=%s", objects_.runContext.version, objects_.modem.regionCode);
  ApplyForcedRegion();
  ReportChangeablePackage();
  // A device that a run ended from outside left disabled is on again before
  // anything else is done to it.
  objects_.action.lookup.EnableRecordedDevices();
  RunCommandLoop();

  kernel32_.reset();
  return kExitRan;
}

void CTool::ApplyForcedRegion() {
  CRunContext& context = objects_.runContext;
  const std::wstring forced =
      ReadScriptString(platform_.profile, context.setupScriptPath, kInitSection, kForceRegionKey);
  if (forced.empty()) return;
  // Only the first character counts; it becomes the whole region code.
  objects_.modem.regionCode = forced.substr(0, 1);
  if (context.version.size() > kRegionCodeIndex) context.version[kRegionCodeIndex] = forced[0];
  objects_.trace.Trace(L"FORCE REGION MODE!! Version=%s Region=%s", context.version, objects_.modem.regionCode);
}

// The tool runs what lies beside it with an administrator's rights: where
// anyone else may change the package, anyone may change what the run does.
void CTool::ReportChangeablePackage() {
  if (!objects_.trace.Heard()) return;  // the rights are read for the line alone
  const CRunContext& context = objects_.runContext;
  IFileSystem& files = platform_.files;
  std::wstring changeable;
  for (const std::wstring& path :
       {context.moduleDirectory, context.setupScriptPath, CompanionPath(context.modulePath)}) {
    if (!files.Exists(path)) continue;
    const auto answer = files.ChangeableByOthers(path);
    if (!answer || !*answer) continue;
    changeable += (changeable.empty() ? L"" : L", ") + path;
  }
  if (changeable.empty()) return;
  objects_.trace.Trace(
      L"Warning: users who are no administrators can change %s: any of them can change what this run does", changeable);
}

void CTool::RunCommandLoop() {
  const std::wstring& script = objects_.runContext.setupScriptPath;
  const DispatchEnv env{platform_, objects_, kernel32_.get()};
  std::int32_t stopFlag = 0;
  for (std::size_t n = 1; n <= kMaxCommands; ++n) {
    const std::wstring command = ReadScriptString(platform_.profile, script, kInitSection, Format(L"CMD%d", n));
    // A gap in the numbering ends the list.
    if (command.empty()) {
      Ended(RunEnd::kListEnded, n);
      return;
    }
    const std::wstring section = ReadScriptString(platform_.profile, script, kInitSection, Format(L"CMD%d_SECTION", n));
    // What the run does, command by command, goes to whoever watches it as run events.
    platform_.debug.RunEvent(CommandStartsEvent(n, command, section));
    CommandOutcome outcome = CommandOutcome::kRan;
    DispatchCommand(env, command, section, stopFlag, &outcome);
    platform_.debug.RunEvent(CommandEndsEvent(n, outcome, stopFlag != 0));
    if (stopFlag != 0) {
      Ended(RunEnd::kStopped, n);
      return;
    }
  }
  Ended(RunEnd::kAllCommands, kMaxCommands);
}

void CTool::Ended(RunEnd end, std::size_t n) { platform_.debug.RunEvent(RunEndsEvent(end, n)); }

}  // namespace tv
