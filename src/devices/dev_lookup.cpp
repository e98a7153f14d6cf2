#include "devices/dev_lookup.h"

#include "devices/device_walk.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "platform/text.h"

namespace tv {

namespace {

// Flags of a device set: present devices of one class, or of all classes.
std::uint32_t SetFlags(std::wstring_view classGuid) {
  return classGuid.empty() ? dev::kDigcfPresent | dev::kDigcfAllClasses : dev::kDigcfPresent;
}

// The messages of the enable and disable operations.
struct StateMessages {
  const wchar_t* noSet;
  const wchar_t* noDetail;
  const wchar_t* property;
  const wchar_t* status;
  const wchar_t* act;
  const wchar_t* leave;
  FormatString<std::uint32_t> lastError;
};

const StateMessages kEnableMessages{
    L"ERROR:EnabledProperty->SetupDiGetClassDevsEx",
    L"ERROR:EnabledProperty->SetupDiGetDeviceInfoListDetail",
    L"Unknown Fail:EnabledProperty->SetupDiGetDeviceRegistryProperty",
    L"ERROR:EnabledProperty->CM_Get_DevNode_Status",
    L"Detect:Device is disabled->Enable device.",
    L"Detect:Device is enabled->Do not enable device.",
    L"ERROR:EnabledProperty->erro code %d",
};

const StateMessages kDisableMessages{
    L"ERROR:DisabledProperty->SetupDiGetClassDevsEx",
    L"ERROR:DisabledProperty->SetupDiGetDeviceInfoListDetail",
    L"Unknown Fail:DisabledProperty->SetupDiGetDeviceRegistryProperty",
    L"ERROR:DisabledProperty->CM_Get_DevNode_Status",
    L"Detect:Device is enabled->Disalbe device.",
    L"Detect:Device is not enabled.Do not disable device.",
    L"ERROR:DisabledProperty->erro code %d",
};

std::wstring Utf16Value(const std::vector<std::uint8_t>& data) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    out += c;
  }
  return out;
}

}  // namespace

int CDevLookup::IsExistById(std::wstring_view id, std::wstring_view classGuid, std::wstring_view enumerator) {
  auto set = platform_.devices.ClassDevs(classGuid, enumerator, SetFlags(classGuid));
  if (!set) return 0;
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t, const std::vector<std::wstring>& ids) {
    for (const auto& hardwareId : ids) {
      trace.Trace(L"SetupAPI ID = %s, Compare ID = %s", hardwareId, id);
      if (StartsWithNoCase(hardwareId, id)) return Visit::kStop;
    }
    return Visit::kNext;
  });
  return end.stopped ? 1 : 0;
}

int CDevLookup::IsExistByList(std::wstring_view classGuid, std::wstring_view enumerator) {
  auto set = platform_.devices.ClassDevs(classGuid, enumerator, SetFlags(classGuid));
  if (!set) return 0;
  const bool tracing = trace.debugOn();
  // Without tracing, each hardware ID is looked up by its beginnings in the
  // case-folded list instead of being held against every entry in turn; the
  // first matching entry in list order is the same either way.
  std::vector<std::wstring> entries;
  std::unordered_map<std::wstring_view, std::uint32_t> firstByEntry;
  std::vector<std::size_t> lengths;
  if (!tracing) {
    entries.assign(idList.begin(), idList.begin() + idCount);
    for (auto& entry : entries) entry = ToLowerAscii(entry);
    for (std::uint32_t n = 0; n < idCount; ++n) {
      if (firstByEntry.emplace(entries[n], n).second &&
          std::find(lengths.begin(), lengths.end(), entries[n].size()) == lengths.end()) {
        lengths.push_back(entries[n].size());
      }
    }
  }
  auto firstMatch = [&](const std::wstring& hardwareId) -> std::optional<std::uint32_t> {
    if (tracing) {
      for (std::uint32_t n = 0; n < idCount; ++n) {
        trace.Trace(L"SetupAPI ID = %s, Compare ID = %s", hardwareId, idList[n]);
        if (StartsWithNoCase(hardwareId, idList[n])) return n;
      }
      return std::nullopt;
    }
    const std::wstring folded = ToLowerAscii(hardwareId);
    std::optional<std::uint32_t> best;
    for (const std::size_t length : lengths) {
      if (length > folded.size()) continue;
      auto it = firstByEntry.find(std::wstring_view(folded).substr(0, length));
      if (it != firstByEntry.end() && (!best || it->second < *best)) best = it->second;
    }
    return best;
  };
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t, const std::vector<std::wstring>& ids) {
    for (const auto& hardwareId : ids) {
      const auto n = firstMatch(hardwareId);
      if (!n) continue;
      matchedEntry = idList[*n];
      // Kept whole: a cut ID would no longer equal the device's own.
      matchedDeviceId = ids.front();
      return Visit::kStop;
    }
    return Visit::kNext;
  });
  return end.stopped ? 1 : 0;
}

int CDevLookup::ReadRegId(std::wstring_view prefix, std::uint32_t index, std::wstring& entry) {
  entry.clear();
  auto key = platform_.registry.OpenKey(RegRoot::kLocalMachine, kDeviceIdKey, reg::kKeyRead);
  if (!key) return 0;
  auto value = (*key)->QueryValue(Format(L"%s%u", prefix, index), 520);
  if (!value) return 0;
  entry = Utf16Value(value->data);
  return 1;
}

int CDevLookup::IsExistByReg(std::wstring_view prefix, std::wstring_view classGuid, std::wstring_view enumerator) {
  const std::uint32_t start = platform_.system.TickCount();
  idCount = 0;
  std::uint32_t read = 0;
  for (std::uint32_t index = 0; index < kIdListCapacity; ++index) {
    std::wstring entry;
    if (ReadRegId(prefix, index, entry) == 0) break;
    ++read;
    // An entry too long for the list is left out rather than cut: a cut entry
    // is a shorter prefix that would match more devices.
    if (entry.size() > kRoomIdEntry) {
      trace.Trace(L"IsExistByReg skip too long ID %s%u", prefix, index);
      continue;
    }
    idList[idCount++] = std::move(entry);
  }
  trace.Trace(L"IsExistByReg reg query count = %d TickCount=%d DevCount=%d", read, platform_.system.TickCount() - start,
              idCount);
  if (IsExistByList(classGuid, enumerator) != 0) {
    trace.Trace(L"IsExistByReg Found Device TickCount=%d", platform_.system.TickCount() - start);
    return 1;
  }
  trace.Trace(L"IsExistByReg Device TickCount=%d", platform_.system.TickCount() - start);
  return 0;
}

int CDevLookup::StateChange(std::uint32_t state, IDeviceSet& set, std::uint32_t device) {
  if (set.SetPropertyChange(device, state, dev::kDicsFlagGlobal, 0) != err::kSuccess) {
    trace.Trace(L"ERROR:StateChange->SetupDiSetClassInstallParams");
    return 0;
  }
  if (state == dev::kDicsEnable &&
      set.SetPropertyChange(device, dev::kDicsEnable, dev::kDicsFlagGlobal, 0) == err::kSuccess) {
    set.CallClassInstaller(dev::kDifPropertyChange, device);
  }
  if (set.SetPropertyChange(device, state, dev::kDicsFlagConfigSpecific, 0) != err::kSuccess ||
      set.CallClassInstaller(dev::kDifPropertyChange, device) != err::kSuccess) {
    trace.Trace(L"ERROR:StateChange->SetupDiSetClassInstallParams");
    return 0;
  }
  // A change that needs a restart counts as failed; no restart is asked for.
  auto flags = set.InstallFlags(device);
  if (flags && (*flags & (dev::kDiNeedRestart | dev::kDiNeedReboot)) != 0) {
    trace.Trace(L"ERROR:StateChange->SetupDiGetDeviceInstallParams");
    return 0;
  }
  return 1;
}

int CDevLookup::ChangeState(std::wstring_view id, Direction direction, bool all) {
  const bool enabling = direction == Direction::kEnable;
  const StateMessages& msg = enabling ? kEnableMessages : kDisableMessages;
  auto set = platform_.devices.AllPresentDevices();
  if (!set) {
    trace.Trace(L"%s", std::wstring_view(msg.noSet));
    return 0;
  }
  WinError lastError = err::kSuccess;
  if (!(*set)->ListDetail()) {
    trace.Trace(L"%s", std::wstring_view(msg.noDetail));
  } else {
    bool statusFailed = false;
    const WalkEnd end = WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>& ids) {
      for (const auto& hardwareId : ids) {
        const bool match = all ? StartsWithNoCase(hardwareId, id) : EqualsNoCase(hardwareId, id);
        if (!match) continue;
        if (!enabling) trace.Trace(L"Found! = %s\n", id);
        auto status = (*set)->Status(i);
        if (!status) {
          trace.Trace(L"%s", std::wstring_view(msg.status));
          statusFailed = true;
          return Visit::kStop;
        }
        const bool disabled = (status->status & dev::kDnHasProblem) != 0 && status->problem == dev::kProblemDisabled;
        const bool act = enabling
                             ? disabled
                             : (status->status & dev::kDnDisableable) != 0 && status->problem != dev::kProblemDisabled;
        if (act) {
          trace.Trace(L"%s", std::wstring_view(msg.act));
          StateChange(enabling ? dev::kDicsEnable : dev::kDicsDisable, **set, i);
        } else {
          trace.Trace(L"%s", std::wstring_view(msg.leave));
        }
        if (!all) return Visit::kStop;
      }
      return Visit::kNext;
    });
    if (statusFailed) return 0;
    if (end.stopped) return 1;
    if (end.propertyFailed) trace.Trace(L"%s", std::wstring_view(msg.property));
    lastError = end.lastError;
    if (enabling && lastError != err::kSuccess && lastError != err::kNoMoreItems) {
      trace.Trace(L"ERROR:EnabledProperty->SetupDiEnumDeviceInfo");
    }
  }
  trace.Trace(msg.lastError, lastError);
  return 0;
}

int CDevLookup::EnabledProperty(std::wstring_view id) { return ChangeState(id, Direction::kEnable, false); }
int CDevLookup::DisabledProperty(std::wstring_view id) { return ChangeState(id, Direction::kDisable, false); }
int CDevLookup::EnableAllProperty(std::wstring_view id) { return ChangeState(id, Direction::kEnable, true); }
int CDevLookup::DisableAllProperty(std::wstring_view id) { return ChangeState(id, Direction::kDisable, true); }

int CDevLookup::RemoveDevice(std::wstring_view id) {
  // Every device the system knows, present or not.
  auto set = platform_.devices.ClassDevs(L"", L"", dev::kDigcfAllClasses);
  if (!set) {
    trace.Trace(L"GetClassDevs(All Present Devices)");
    return 0;
  }
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>& ids) {
    for (const auto& hardwareId : ids) {
      if (!StartsWithNoCase(hardwareId, id)) continue;
      if ((*set)->CallClassInstaller(dev::kDifRemove, i) == err::kSuccess) {
        trace.Trace(L"Remove! = %s\n", id);
        return Visit::kStop;
      }
      trace.Trace(L"CallClassInstaller(REMOVE)");
    }
    return Visit::kNext;
  });
  if (end.stopped) return 1;
  if (end.propertyFailed) {
    trace.Trace(L"GetDeviceRegistryProperty");
  } else if (end.lastError != err::kNoMoreItems && end.lastError != err::kSuccess) {
    trace.Trace(L"EnumDeviceInfo");
  }
  trace.Trace(L"Donot find. Cannot remove! = %s\n", id);
  return 0;
}

}  // namespace tv
