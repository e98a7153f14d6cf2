#include "script/device_commands.h"

#include "actions/action.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {
constexpr std::size_t kRoomHwidValue = 521;
}

void HandleCheckModem(const CommandCall& call) {
  if (call.objects.modem.IsExist() != 0) return;
  call.trace().Trace(L"Could not find modem device");
  call.Stop();
}

void HandleCheckWModem(const CommandCall& call) {
  if (call.objects.wmodem.IsExist() != 0) return;
  call.trace().Trace(L"Could not find wireless modem device");
  call.Stop();
}

void HandleCheckWifi(const CommandCall& call) {
  if (call.objects.wlan.Open() != 0) return;
  call.trace().Trace(L"Could not find wireless LAN device");
  call.Stop();
}

void HandleCheckHwid(const CommandCall& call) {
  IProfile& profile = call.platform.profile;
  // A negative count is none, as -1 always was here.
  const std::uint32_t count = ReadScriptCount(profile, call.scriptPath, call.section, L"HWID", call.trace());
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring key = Format(L"HWID%d", n);
    const std::wstring id = ReadScriptString(profile, call.scriptPath, call.section, key, kRoomHwidValue);
    const int found = call.objects.action.lookup.IsExistById(id);
    call.trace().Trace(L"CHECK_HWID:%s\n", id);
    if (found != 0) {
      call.trace().Trace(L"Detect HWID %s=%s", key, id);
      return;
    }
  }
  call.trace().Trace(L"Error did not find any HWID!");
  call.Stop();
}

void HandleModemRegion(const CommandCall& call) {
  call.trace().Trace(L"Initialize modem region");
  call.objects.modem.InitRegion(call.section);
}

void HandleTelephonyRegion(const CommandCall& call) {
  call.trace().Trace(L"Initialize telephony region");
  call.objects.modem.InitRegion(call.section);
}

void HandleModemHomol(const CommandCall& call) {
  const std::wstring& suffix = call.state.suffix;
  std::uint32_t access = kHomolAccess;
  if (call.state.wow64 && EqualsNoCase(suffix, L".WOW6432")) {
    call.trace().Trace(L"Initialize homol time stamp wow6432");
    access = kHomolAccess64;
  } else if (call.state.wow64 && EqualsNoCase(suffix, L".WOW64")) {
    call.trace().Trace(L"Initialize homol time stamp wow64");
    access = kHomolAccess64;
  } else {
    call.trace().Trace(L"Initialize homol time stamp");
  }
  call.objects.modem.InitHomolTime(access);
}

void HandleEnableWorWModem(const CommandCall& call) {
  CWModemCtrl& wmodem = call.objects.wmodem;
  if (wmodem.Open() == 0) {
    call.trace().Trace(L"Could not open wireless modem device");
    call.state.result = 0;
    return;
  }
  const bool silent = IsSilentMode(call.objects.runContext);
  if (!silent) wmodem.EnableDevice(0);
  wmodem.SetWakeOnRing();
  if (!silent) wmodem.EnableDevice(1);
  // Nothing this command switched off stays off, whatever failed on the way.
  wmodem.lookup.RestoreDisabledDevices();
}

void HandleDisableIwlanAspm(const CommandCall& call) {
  CWLANCtrl& wlan = call.objects.wlan;
  if (wlan.Open() == 0) {
    call.trace().Trace(L"Could not open wireless LAN device");
    call.state.result = 0;
    return;
  }
  const bool silent = IsSilentMode(call.objects.runContext);
  if (!silent) wlan.EnableDevice(0);
  wlan.SetASPMOptIn(0);
  if (!silent) wlan.EnableDevice(1);
  wlan.lookup.RestoreDisabledDevices();
}

void HandleDriverReg(const CommandCall& call) {
  IProfile& profile = call.platform.profile;
  const std::uint32_t count = ReadScriptCount(profile, call.scriptPath, call.section, L"DEV", call.trace());
  const std::uint32_t before = ReadScriptPause(profile, call.scriptPath, call.section, L"PRESLEEP", call.trace());
  const std::uint32_t after = ReadScriptPause(profile, call.scriptPath, call.section, L"AFTERSLEEP", call.trace());
  for (std::uint32_t n = 1; n <= count; ++n) {
    // Nothing carries over from one entry to the next.
    CAction action(call.platform);
    CDevLookup lookup(call.platform);
    const std::wstring id =
        ReadScriptString(profile, call.scriptPath, call.section, Format(L"DEV%d", n), kRoomLong, L"DEFAULT_ID");
    const std::wstring variant = CutTo(call.section + L"_" + id, kRoomLong);
    if (lookup.IsExistById(id) == 0) continue;
    const bool silent = IsSilentMode(call.objects.runContext);
    if (!silent) {
      lookup.DisabledProperty(id);
      if (before > 0) call.platform.system.Pause(before);
    }
    action.DriverRegRoutine(call.scriptPath, variant, id);
    if (!silent) {
      if (after > 0) call.platform.system.Pause(after);
      lookup.EnabledProperty(id);
    }
    lookup.RestoreDisabledDevices();
  }
}

}  // namespace tv
