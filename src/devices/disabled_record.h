// The devices the tool switched off and has not yet switched on again, kept
// under the tool's own key: a run ended from outside (a kill, a deployment
// time-out, a power cut) while a device was off leaves its record, and the
// next run switches the device on before its first command. Only what the
// tool itself disables is recorded, never a device the user switched off.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "runtime/debug_trace.h"

namespace tv {

// One value a device, named by its instance ID. Only administrators can
// write under HKLM\SOFTWARE, so a standard user cannot make the tool enable
// a device of the user's choosing through it.
// A subkey of the tool's switch key.
inline constexpr std::wstring_view kDisabledDevicesName = L"DisabledDevices";
inline constexpr std::wstring_view kDisabledDevicesKey = L"SOFTWARE\\VELTARO\\Quillmark\\DisabledDevices";
static_assert(kDisabledDevicesKey.substr(0, kSwitchKey.size()) == kSwitchKey &&
              kDisabledDevicesKey.substr(kSwitchKey.size() + 1) == kDisabledDevicesName);

// Written before the device is disabled; the error when it could not be.
WinError RecordDisabledDevice(IRegistry& registry, std::wstring_view instance);
// Removed once the device is on again; the key goes with its last value.
void ForgetDisabledDevice(IRegistry& registry, std::wstring_view instance);
// The instance IDs recorded, in the order the registry gives them.
std::vector<std::wstring> RecordedDisabledDevices(IRegistry& registry);

}  // namespace tv
