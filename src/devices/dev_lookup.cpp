#include "devices/dev_lookup.h"

#include "devices/device_walk.h"
#include "devices/disabled_record.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "devices/hardware_id.h"
#include "platform/text.h"

namespace tv {

namespace {

// Flags of a device set: present devices of one class, or of all classes.
std::uint32_t SetFlags(std::wstring_view classGuid) {
  return classGuid.empty() ? dev::kDigcfPresent | dev::kDigcfAllClasses : dev::kDigcfPresent;
}

// The messages of the enable and disable operations.
struct StateMessages {
  const wchar_t* operation;
  const wchar_t* noSet;
  const wchar_t* noDetail;
  const wchar_t* property;
  const wchar_t* status;
  const wchar_t* act;
  const wchar_t* leave;
  FormatString<std::uint32_t> lastError;
};

const StateMessages kEnableMessages{
    L"EnableAllProperty",
    L"ERROR:EnabledProperty->SetupDiGetClassDevsEx",
    L"ERROR:EnabledProperty->SetupDiGetDeviceInfoListDetail",
    L"Unknown Fail:EnabledProperty->SetupDiGetDeviceRegistryProperty",
    L"ERROR:EnabledProperty->CM_Get_DevNode_Status",
    L"Detect:Device is disabled->Enable device.",
    L"Detect:Device is enabled->Do not enable device.",
    L"ERROR:EnabledProperty->erro code %d",
};

const StateMessages kDisableMessages{
    L"DisableAllProperty",
    L"ERROR:DisabledProperty->SetupDiGetClassDevsEx",
    L"ERROR:DisabledProperty->SetupDiGetDeviceInfoListDetail",
    L"Unknown Fail:DisabledProperty->SetupDiGetDeviceRegistryProperty",
    L"ERROR:DisabledProperty->CM_Get_DevNode_Status",
    L"Detect:Device is enabled->Disalbe device.",
    L"Detect:Device is not enabled.Do not disable device.",
    L"ERROR:DisabledProperty->erro code %d",
};

// Whether a device is off now: disabled, as Device Manager shows it; none
// when its status cannot be read.
std::optional<bool> DisabledNow(IDeviceSet& set, std::uint32_t device) {
  auto status = set.Status(device);
  if (!status) return std::nullopt;
  return (status->status & dev::kDnHasProblem) != 0 && status->problem == dev::kProblemDisabled;
}

}  // namespace

int CDevLookup::IsExistById(std::wstring_view id, std::wstring_view classGuid, std::wstring_view enumerator) {
  // An ID that names no device would be found as soon as any device is there.
  if (!NamesDevices(id)) {
    trace.Trace(L"IsExistById:Refused ID = %s, it names no device", id);
    return 0;
  }
  auto set = platform_.devices.ClassDevs(classGuid, enumerator, SetFlags(classGuid));
  if (!set) return 0;
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t, const std::vector<std::wstring>& ids) {
    for (const auto& hardwareId : ids) {
      trace.Trace(L"SetupAPI ID = %s, Compare ID = %s", hardwareId, id);
      if (IdSelects(hardwareId, id)) return Visit::kStop;
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
        if (IdSelects(hardwareId, idList[n])) return n;
      }
      return std::nullopt;
    }
    const std::wstring folded = ToLowerAscii(hardwareId);
    std::optional<std::uint32_t> best;
    for (const std::size_t length : lengths) {
      if (length > folded.size()) continue;
      auto it = firstByEntry.find(std::wstring_view(folded).substr(0, length));
      if (it == firstByEntry.end()) continue;
      // An entry without a backslash selects only the device that has it whole.
      if (length != folded.size() && MatchedWhole(idList[it->second])) continue;
      if (!best || it->second < *best) best = it->second;
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
  entry = StringFromRegistryData(value->data);
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
    // So is one that names no device: it would match every device of the class.
    if (!NamesDevices(entry)) {
      trace.Trace(L"IsExistByReg skip ID %s%u that names no device", prefix, index);
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
  // By prefix, an ID that names no device would restart every device there is.
  if (all && !NamesDevices(id)) {
    trace.Trace(L"%s:Refused ID = %s, it names no device", std::wstring_view(msg.operation), id);
    return 0;
  }
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
        const bool match = all ? IdSelects(hardwareId, id) : EqualsNoCase(hardwareId, id);
        if (!match) continue;
        if (!enabling) trace.Trace(L"Found! = %s\n", id);
        auto status = (*set)->Status(i);
        if (!status) {
          trace.Trace(L"%s", std::wstring_view(msg.status));
          // A device that went away since the set was made is passed over.
          if (status.error() == err::kCrNoSuchDevnode) return Visit::kNext;
          statusFailed = true;
          return Visit::kStop;
        }
        const bool disabled = (status->status & dev::kDnHasProblem) != 0 && status->problem == dev::kProblemDisabled;
        const auto instance = (*set)->InstanceId(i);
        const bool ours = instance && IsDisabledHere(*instance);
        const bool disableable =
            (status->status & dev::kDnDisableable) != 0 && status->problem != dev::kProblemDisabled;
        if (!enabling && disableable && !instance) {
          // A device that could not be found again could not be enabled again either.
          trace.Trace(L"ERROR:DisabledProperty->SetupDiGetDeviceInstanceId, the device is not disabled");
        } else if (enabling && disabled && !ours) {
          // The restart around a parameter write enables only what it disabled.
          trace.Trace(L"Detect:Device was disabled before the command->Do not enable device.");
        } else if (enabling ? disabled : disableable) {
          trace.Trace(L"%s", std::wstring_view(msg.act));
          // Whatever the change reports, the device may be off now: it is
          // remembered until it is on again, in this run and, should the run
          // be ended before it is, for the next one.
          if (!enabling && instance) {
            disabledHere_.push_back(*instance);
            if (RecordDisabledDevice(platform_.registry, *instance) != err::kSuccess) {
              trace.Trace(L"ERROR:DisabledProperty->%s is not recorded, a run ended now leaves it disabled", *instance);
            }
          }
          const int changed = StateChange(enabling ? dev::kDicsEnable : dev::kDicsDisable, **set, i);
          if (enabling && changed != 0 && instance) ForgetDisabled(*instance);
        } else {
          trace.Trace(L"%s", std::wstring_view(msg.leave));
          if (enabling && instance) ForgetDisabled(*instance);
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

bool CDevLookup::IsDisabledHere(std::wstring_view instance) const {
  return std::any_of(disabledHere_.begin(), disabledHere_.end(),
                     [&](const std::wstring& d) { return EqualsNoCase(d, instance); });
}

void CDevLookup::ForgetDisabled(std::wstring_view instance) {
  if (std::erase_if(disabledHere_, [&](const std::wstring& d) { return EqualsNoCase(d, instance); }) > 0) {
    ForgetDisabledDevice(platform_.registry, instance);
  }
}

std::optional<bool> CDevLookup::EnableIfOff(IDeviceSet& set, std::uint32_t device, FormatString<std::wstring_view> line,
                                            std::wstring_view instance) {
  auto off = DisabledNow(set, device);
  if (off && *off) {
    trace.Trace(line, instance);
    StateChange(dev::kDicsEnable, set, device);
    off = DisabledNow(set, device);  // a change that waits for a restart counts as done
  }
  return off;
}

int CDevLookup::EnableRecordedDevices() {
  std::vector<std::wstring> recorded = RecordedDisabledDevices(platform_.registry);
  if (recorded.empty()) return 1;
  auto set = platform_.devices.AllPresentDevices();
  if (!set) {
    trace.Trace(L"ERROR:EnableRecordedDevices->SetupDiGetClassDevsEx");
    return 0;
  }
  bool restored = true;
  std::vector<std::wstring> seen;
  WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>&) {
    const auto instance = (*set)->InstanceId(i);
    if (!instance) return Visit::kNext;
    const auto it = std::find_if(recorded.begin(), recorded.end(),
                                 [&](const std::wstring& r) { return EqualsNoCase(r, *instance); });
    if (it == recorded.end()) return Visit::kNext;
    seen.push_back(*it);
    const auto off =
        EnableIfOff(**set, i, L"EnableRecordedDevices:Enable %s, a run that was ended left it disabled", *instance);
    if (off && !*off) {
      ForgetDisabledDevice(platform_.registry, *it);
    } else {
      // Kept for the next run to try again.
      trace.Trace(L"ERROR:EnableRecordedDevices->%s is still disabled", *instance);
      restored = false;
    }
    return seen.size() == recorded.size() ? Visit::kStop : Visit::kNext;
  });
  // A device that is not present now keeps its record: it is enabled when it is back.
  for (const auto& r : recorded) {
    if (std::find(seen.begin(), seen.end(), r) == seen.end()) {
      trace.Trace(L"EnableRecordedDevices:%s is not present, its record is kept", r);
    }
  }
  return restored ? 1 : 0;
}

int CDevLookup::RestoreDisabledDevices() {
  if (disabledHere_.empty()) return 1;
  auto set = platform_.devices.AllPresentDevices();
  if (!set) {
    trace.Trace(L"ERROR:RestoreDisabledDevices->SetupDiGetClassDevsEx");
    return 0;
  }
  std::vector<std::wstring> seen;
  WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>&) {
    const auto instance = (*set)->InstanceId(i);
    if (!instance || !IsDisabledHere(*instance)) return Visit::kNext;
    seen.push_back(*instance);
    const auto off = EnableIfOff(**set, i, L"RestoreDisabledDevices:Enable %s again", *instance);
    if (off && !*off) ForgetDisabled(*instance);
    return disabledHere_.empty() ? Visit::kStop : Visit::kNext;
  });
  // A device that is gone is no longer there to enable.
  bool restored = true;
  for (const auto& instance : disabledHere_) {
    if (std::none_of(seen.begin(), seen.end(), [&](const std::wstring& d) { return EqualsNoCase(d, instance); })) {
      continue;
    }
    trace.Trace(L"ERROR:RestoreDisabledDevices->%s is still disabled", instance);
    restored = false;
  }
  disabledHere_.clear();
  return restored ? 1 : 0;
}

int CDevLookup::EnabledProperty(std::wstring_view id) { return ChangeState(id, Direction::kEnable, false); }
int CDevLookup::DisabledProperty(std::wstring_view id) { return ChangeState(id, Direction::kDisable, false); }
int CDevLookup::EnableAllProperty(std::wstring_view id) { return ChangeState(id, Direction::kEnable, true); }
int CDevLookup::DisableAllProperty(std::wstring_view id) { return ChangeState(id, Direction::kDisable, true); }

int CDevLookup::RemoveDevice(std::wstring_view id) {
  if (!NamesDevices(id)) {
    trace.Trace(L"RemoveDevice:Refused ID = %s, it names no device", id);
    return 0;
  }
  // Every device the system knows, present or not.
  auto set = platform_.devices.ClassDevs(L"", L"", dev::kDigcfAllClasses);
  if (!set) {
    trace.Trace(L"GetClassDevs(All Present Devices)");
    return 0;
  }
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>& ids) {
    for (const auto& hardwareId : ids) {
      if (!IdSelects(hardwareId, id)) continue;
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
