#include "devices/disabled_record.h"

#include <array>

namespace tv {

WinError RecordDisabledDevice(IRegistry& registry, std::wstring_view instance) {
  auto key = registry.CreateKey(RegRoot::kLocalMachine, kDisabledDevicesKey, reg::kSetValue);
  if (!key) return key.error();
  const std::array<std::uint8_t, 4> one{1, 0, 0, 0};
  return (*key)->SetValue(instance, reg::kTypeDword, one);
}

void ForgetDisabledDevice(IRegistry& registry, std::wstring_view instance) {
  {
    auto key = registry.OpenKey(RegRoot::kLocalMachine, kDisabledDevicesKey, reg::kKeyRead | reg::kSetValue);
    if (!key) return;
    if ((*key)->DeleteValue(instance) != err::kSuccess) return;
    // Another device is still recorded: the key stays.
    if ((*key)->EnumValue(0).error() != err::kNoMoreItems) return;
  }
  // The handle to the key is closed before the key is deleted.
  auto parent = registry.OpenKey(RegRoot::kLocalMachine, kSwitchKey, reg::kKeyRead);
  if (parent) (*parent)->DeleteSubKey(kDisabledDevicesName);
}

std::vector<std::wstring> RecordedDisabledDevices(IRegistry& registry) {
  std::vector<std::wstring> recorded;
  auto key = registry.OpenKey(RegRoot::kLocalMachine, kDisabledDevicesKey, reg::kKeyRead);
  if (!key) return recorded;
  // A record cannot outnumber the devices a run can disable; the bound keeps
  // a key full of values from holding up the start.
  constexpr std::uint32_t kMostRecords = 1024;
  for (std::uint32_t i = 0; i < kMostRecords; ++i) {
    auto value = (*key)->EnumValue(i);
    if (!value) break;
    if (!value->first.empty()) recorded.push_back(value->first);
  }
  return recorded;
}

}  // namespace tv
