#include "controllers/wireless_ctrl.h"

#include "controllers/modem_ctrl.h"

namespace tv {

namespace {

constexpr std::uint32_t kMaxSubkeys = 201;
constexpr std::uint32_t kReadWrite = 0x2001F;

std::uint8_t Byte(std::uint32_t v, int i) { return static_cast<std::uint8_t>(v >> (8 * i)); }

WinError SetDword(IRegKey& key, std::wstring_view name, std::uint32_t value) {
  const std::uint8_t data[4] = {Byte(value, 0), Byte(value, 1), Byte(value, 2), Byte(value, 3)};
  return key.SetValue(name, reg::kTypeDword, data);
}

// A key path, or none when it would not fit its room: a longer path is
// skipped, never cut into the path of another key.
std::optional<std::wstring> KeyPath(std::wstring path) {
  if (path.size() > kRoomPath) return std::nullopt;
  return path;
}

}  // namespace

int CWLANCtrl::IsExist() { return lookup.IsExistByReg(L"DevID_SupportRL", kNetClass, L"PCI") != 0 ? 1 : 0; }

int CWLANCtrl::Open() {
  openResult = IsExist();
  deviceEntry = lookup.matchedEntry;
  deviceId = lookup.matchedDeviceId;
  return openResult;
}

int CWLANCtrl::EnableDevice(int enable) {
  if (enable != 0) {
    trace.Trace(L"EnableAllProperty %s", deviceEntry);
    return lookup.EnabledProperty(deviceEntry);
  }
  trace.Trace(L"DisableAllProperty %s", deviceEntry);
  return lookup.DisabledProperty(deviceEntry);
}

int CWLANCtrl::SetASPMOptIn(int enable) { return WriteASPMReg(deviceId, L"ASPMOptIn", enable != 0 ? 1 : 0); }

int CWLANCtrl::WriteASPMReg(std::wstring_view id, std::wstring_view valueName, std::uint32_t value) {
  IRegistry& registry = platform_.registry;
  const auto devicePath = KeyPath(std::wstring(kEnumRoot) + std::wstring(id));
  if (!devicePath) return 0;
  auto device = registry.OpenKey(RegRoot::kLocalMachine, *devicePath, reg::kEnumerateSubKeys);
  if (!device) return 0;
  int result = 0;
  for (std::uint32_t i = 0; i < kMaxSubkeys; ++i) {
    auto instance = (*device)->EnumSubKey(i);
    if (!instance) {
      if (instance.error() == err::kNoMoreItems) break;
      continue;
    }
    const auto parametersPath = KeyPath(*devicePath + L"\\" + *instance + L"\\Device Parameters");
    if (!parametersPath) continue;
    auto parameters = registry.OpenKey(RegRoot::kLocalMachine, *parametersPath, reg::kEnumerateSubKeys);
    if (!parameters) continue;
    for (std::uint32_t j = 0; j < kMaxSubkeys; ++j) {
      auto name = (*parameters)->EnumSubKey(j);
      if (!name) {
        if (name.error() == err::kNoMoreItems) break;
        continue;
      }
      const auto subPath = KeyPath(*parametersPath + L"\\" + *name);
      if (!subPath) continue;
      auto sub = registry.OpenKey(RegRoot::kLocalMachine, *subPath, kReadWrite);
      if (!sub) continue;
      if ((*sub)->QueryValue(L"ASPMOptIn", 0).error() != err::kFileNotFound &&
          SetDword(**sub, valueName, value) == err::kSuccess) {
        result = 1;
      }
    }
  }
  return result;
}

int CWModemCtrl::IsExist() { return lookup.IsExistByReg(L"3GID_SupportRL", kModemClass, L"") != 0 ? 1 : 0; }

int CWModemCtrl::Open() {
  openResult = IsExist();
  deviceEntry = lookup.matchedEntry;
  return openResult;
}

int CWModemCtrl::EnableDevice(int enable) {
  if (enable != 0) {
    trace.Trace(L"EnableAllProperty %s", deviceEntry);
    return lookup.EnableAllProperty(deviceEntry);
  }
  trace.Trace(L"DisableAllProperty %s", deviceEntry);
  return lookup.DisableAllProperty(deviceEntry);
}

void CWModemCtrl::SetWakeOnRing() { WriteWORReg(deviceEntry, L"WakeOnRing", 1); }

void CWModemCtrl::WriteWORReg(std::wstring_view entry, std::wstring_view valueName, std::uint32_t value) {
  IRegistry& registry = platform_.registry;
  const auto interfacePath = KeyPath(std::wstring(kEnumRoot) + std::wstring(entry) + L"&MI_00");
  if (!interfacePath) return;
  auto modemInterface = registry.OpenKey(RegRoot::kLocalMachine, *interfacePath, reg::kEnumerateSubKeys);
  if (!modemInterface) return;
  for (std::uint32_t i = 0; i < kMaxSubkeys; ++i) {
    auto instance = (*modemInterface)->EnumSubKey(i);
    if (!instance) {
      if (instance.error() == err::kNoMoreItems) break;
      continue;
    }
    const auto instancePath = KeyPath(*interfacePath + L"\\" + *instance);
    if (!instancePath) continue;
    auto instanceKey = registry.OpenKey(RegRoot::kLocalMachine, *instancePath, reg::kKeyRead);
    if (!instanceKey) return;
    const auto parametersPath = KeyPath(*instancePath + L"\\Device Parameters");
    if (!parametersPath) continue;
    trace.Trace(L"WriteWORReg TargetPath=%s", *parametersPath);
    if (auto parameters = registry.OpenKey(RegRoot::kLocalMachine, *parametersPath, kReadWrite)) {
      SetDword(**parameters, valueName, value);
    }
  }
}

}  // namespace tv
