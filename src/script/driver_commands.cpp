#include "script/driver_commands.h"

#include <algorithm>

#include "actions/action.h"
#include "actions/driver_install.h"
#include "runtime/run_events.h"
#include "runtime/section_variant.h"

namespace tv {

namespace {
constexpr std::uint32_t kWaitAfterInstall = 20000;
}

void HandleInstallDriver(const CommandCall& call) {
  const std::wstring section = CutTo(call.section + OsClassSectionEnding(call.objects.runContext.osClass), kRoomLong);
  call.trace().Trace(L"Install Driver Section=%s", section);
  // A section that is not in the script reads as all defaults: the package
  // goes into the default folder, which is emptied first. The trace does not
  // say so; a watcher of the run is told.
  const auto names = call.platform.profile.ReadSectionNames(call.scriptPath, kSectionListChars);
  const bool there =
      std::any_of(names.begin(), names.end(), [&](const std::wstring& name) { return EqualsNoCase(name, section); });
  call.objects.action.InstallDriver(call.scriptPath, section);
  if (!there) {
    call.platform.debug.RunEvent(
        NoteEvent(L"[" + section +
                  L"] is not in the setup script: INSTALL_DRIVER read no keys, so the package went "
                  L"into the default folder " +
                  std::wstring(kDefaultInstallFolder) + L", emptied first"));
  }
  call.platform.system.Pause(kWaitAfterInstall);
}

void HandleRemoveDriver(const CommandCall& call) {
  call.trace().Trace(L"REMOVE_DRIVER %s %s", call.scriptPath, call.section);
  call.objects.action.RemoveDriver(call.scriptPath, call.section);
}

void HandleScanDevice(const CommandCall& call) {
  call.trace().Trace(L"SCAN DEVICE %s %s", call.scriptPath, call.section);
  call.objects.action.ScanDevice(call.scriptPath, call.section, 1);
}

}  // namespace tv
