#include "actions/action.h"
#include "devices/hardware_id.h"
#include "runtime/setup_script.h"

namespace tv {

int CAction::RemoveDriver(std::wstring_view script, std::wstring_view section) {
  IProfile& profile = platform().profile;
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"DEV", trace);
  const auto existOnly = static_cast<std::int32_t>(ReadScriptInt(profile, script, section, L"EXISTONLY"));
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring id = ReadScriptString(profile, script, section, Format(L"DEV%d", n), kRoomLong);
    // An empty ID, or a bus or wildcard alone, is a prefix of the hardware IDs
    // of every device on it: it would remove any of them, the buses too.
    if (!NamesDevices(id)) {
      trace.Trace(L"RemoveDriver:Skip DEV%d=%s, it names no device", n, id);
      continue;
    }
    if (existOnly == 0 || lookup.IsExistById(id) != 0) lookup.RemoveDevice(id);
  }
  return 1;
}

int CAction::ScanDevice(std::wstring_view script, std::wstring_view section, int force) {
  IProfile& profile = platform().profile;
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"DETECTCOUNT", trace);
  bool found = false;
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring id = ReadScriptString(profile, script, section, Format(L"DETECTDEV%d", n), kRoomLong);
    if (lookup.IsExistById(id) != 0) found = true;
  }
  if (force == 0 && found) return 1;
  auto root = platform().devices.LocateRoot();
  if (!root) return 0;
  return platform().devices.Reenumerate(*root) == dev::kCrSuccess ? 1 : 0;
}

}  // namespace tv
