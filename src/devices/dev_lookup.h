// The hardware-ID device lookup: which devices are there, by hardware ID from
// a caller or from a list in the registry, and enabling, disabling and
// removing them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/debug_trace.h"

namespace tv {

inline constexpr std::size_t kIdListCapacity = 256;
// Room of a hardware-ID list entry and of the matched IDs.
inline constexpr std::size_t kRoomIdEntry = 127;
// The registry key of the hardware-ID lists, one string value per entry.
inline constexpr std::wstring_view kDeviceIdKey = L"Software\\Veltaro\\WirelessDeviceID";

class CDevLookup {
 public:
  explicit CDevLookup(const Platform& platform) : trace(platform), platform_(platform) {}

  // 1 when a device in the set has a hardware ID that begins with `id`.
  int IsExistById(std::wstring_view id, std::wstring_view classGuid = L"", std::wstring_view enumerator = L"");
  // Loads the list named by `prefix` from the registry and matches it.
  int IsExistByReg(std::wstring_view prefix, std::wstring_view classGuid = L"", std::wstring_view enumerator = L"");
  int IsExistByList(std::wstring_view classGuid = L"", std::wstring_view enumerator = L"");
  // Reads value "<prefix><index>"; 1 when it was read.
  int ReadRegId(std::wstring_view prefix, std::uint32_t index, std::wstring& entry);
  int StateChange(std::uint32_t state, IDeviceSet& set, std::uint32_t device);
  int EnabledProperty(std::wstring_view id);
  int DisabledProperty(std::wstring_view id);
  int EnableAllProperty(std::wstring_view id);
  int DisableAllProperty(std::wstring_view id);
  int RemoveDevice(std::wstring_view id);
  // Enables again every device that this lookup disabled and that is still
  // off, whatever failed since; 1 when none is left disabled.
  int RestoreDisabledDevices();
  // Enables each device that a run ended from outside left disabled (the
  // tool's record of what it disabled) and drops its record; 1 when none is
  // left disabled.
  int EnableRecordedDevices();

  // The hardware-ID list: prefixes that identify a controller's device.
  std::array<std::wstring, kIdListCapacity> idList{};
  // After a match: the device's first hardware ID and the list entry.
  std::wstring matchedDeviceId;
  std::wstring matchedEntry;
  std::uint32_t idCount = 0;
  CDebugTrace trace;

 private:
  enum class Direction { kEnable, kDisable };
  int ChangeState(std::wstring_view id, Direction direction, bool all);
  bool IsDisabledHere(std::wstring_view instance) const;
  // Enables the device when it is off, with `line` traced; whether it is off
  // now (none when its status cannot be read).
  std::optional<bool> EnableIfOff(IDeviceSet& set, std::uint32_t device, FormatString<std::wstring_view> line,
                                  std::wstring_view instance);
  void ForgetDisabled(std::wstring_view instance);
  // The instance IDs of the devices this lookup disabled and has not yet seen enabled again.
  std::vector<std::wstring> disabledHere_;
  Platform platform_;
};

}  // namespace tv
