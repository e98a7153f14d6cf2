#include "script/driver_commands.h"

#include "actions/action.h"
#include "actions/driver_install.h"

namespace tv {

namespace {
constexpr std::uint32_t kWaitAfterInstall = 20000;
}

void HandleInstallDriver(const CommandCall& call) {
  const std::wstring section = CutTo(call.section + OsClassSectionEnding(call.objects.runContext.osClass), kRoomLong);
  call.trace().Trace(L"Install Driver Section=%s", section);
  call.objects.action.InstallDriver(call.scriptPath, section);
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
