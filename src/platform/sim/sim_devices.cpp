#include "platform/sim/sim_devices.h"

#include "platform/sim/ansi.h"

namespace tv::sim {

namespace {

constexpr DevInst kRoot = 1;

// A device information set: the devices that matched when it was made.
class SimDeviceSet final : public IDeviceSet {
 public:
  SimDeviceSet(SimMachine& m, std::vector<std::size_t> members) : m_(m), members_(std::move(members)) {
    ++m_.openDeviceSets;
  }
  ~SimDeviceSet() override { --m_.openDeviceSets; }
  SimDeviceSet(const SimDeviceSet&) = delete;
  SimDeviceSet& operator=(const SimDeviceSet&) = delete;

  bool ListDetail() override { return !m_.faults.Take("SetupDiGetDeviceInfoListDetail"); }

  WinError Enum(std::uint32_t index) override {
    if (auto e = m_.faults.Take("SetupDiEnumDeviceInfo")) return *e;
    return index < members_.size() ? err::kSuccess : err::kNoMoreItems;
  }

  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override {
    using R = Result<std::vector<std::wstring>>;
    auto* d = Device(index);
    if (d == nullptr) return R::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceRegistryProperty", d->instanceId)) return R::Fail(*e);
    if (!d->hardwareIds) return R::Fail(err::kInvalidData);
    return R::Ok(*d->hardwareIds);
  }

  Result<std::wstring> InstanceId(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceInstanceId", d->instanceId)) return Result<std::wstring>::Fail(*e);
    return Result<std::wstring>::Ok(d->instanceId);
  }

  Result<std::wstring> DriverKey(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceRegistryProperty(DRIVER)", d->instanceId)) {
      return Result<std::wstring>::Fail(*e);
    }
    if (d->driverKey.empty()) return Result<std::wstring>::Fail(err::kInvalidData);
    return Result<std::wstring>::Ok(d->driverKey);
  }

  Result<std::wstring> ClassGuid(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    return Result<std::wstring>::Ok(d->classGuid);
  }
  Result<std::wstring> Enumerator(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    return Result<std::wstring>::Ok(d->enumerator);
  }

  WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope, std::uint32_t) override {
    auto* d = Device(index);
    if (d == nullptr) return err::kNoSuchDevinst;
    if (auto e = m_.faults.Take("SetupDiSetClassInstallParams", d->instanceId)) return *e;
    params_[index] = {state, scope};
    return err::kSuccess;
  }

  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return err::kNoSuchDevinst;
    if (auto e = m_.faults.Take(function == dev::kDifRemove ? "DIF_REMOVE" : "DIF_PROPERTYCHANGE", d->instanceId)) {
      return *e;
    }
    // 64-bit Windows refuses the class installer to a 32-bit process.
    if (m_.Wow64Process()) return err::kInWow64;
    if (function == dev::kDifRemove) {
      d->removed = true;
      // Removing a device deletes its hardware key under Enum (with Device
      // Parameters) and its software key, the driver key under the class.
      const std::wstring enumKey = L"SYSTEM\\CurrentControlSet\\Enum";
      m_.registry.DeleteKeyTree(RegRoot::kLocalMachine, enumKey + L"\\" + d->instanceId);
      // And the keys above it that it leaves empty: the device ID's key goes
      // with its last instance, the enumerator's with its last device.
      // (Windows' own bookkeeping: these are no calls of the tool's.)
      std::wstring parent = d->instanceId;
      for (auto cut = parent.rfind(L'\\'); cut != std::wstring::npos; cut = parent.rfind(L'\\')) {
        parent.resize(cut);
        if (!m_.registry.KeyIsEmptyOfSubkeys(RegRoot::kLocalMachine, enumKey + L"\\" + parent)) break;
        m_.registry.DeleteKeyTree(RegRoot::kLocalMachine, enumKey + L"\\" + parent);
      }
      if (!d->driverKey.empty()) {
        m_.registry.DeleteKeyTree(RegRoot::kLocalMachine,
                                  L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + d->driverKey);
      }
      d->changedByCompanion = m_.process64;
      return err::kSuccess;
    }
    auto it = params_.find(index);
    if (function != dev::kDifPropertyChange || it == params_.end()) return err::kInvalidParameter;
    const bool disable = it->second.first == dev::kDicsDisable;
    if (disable && !d->disableable) return err::kNotDisableable;
    if (d->disabled != disable) {
      d->disabled = disable;
      d->changed = true;
      d->changedByCompanion = m_.process64;
    }
    return err::kSuccess;
  }

  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::uint32_t>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceInstallParams", d->instanceId)) return Result<std::uint32_t>::Fail(*e);
    return Result<std::uint32_t>::Ok(d->changed && d->needsRebootAfterChange ? dev::kDiNeedReboot : 0);
  }

  // A started device has no problem; a disabled one has the problem "disabled".
  Result<DevNodeStatus> Status(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<DevNodeStatus>::Fail(err::kCrNoSuchDevnode);
    if (auto e = m_.faults.Take("CM_Get_DevNode_Status", d->instanceId)) return Result<DevNodeStatus>::Fail(*e);
    DevNodeStatus s;
    s.status = d->disableable ? dev::kDnDisableable : 0;
    if (d->disabled) {
      s.status |= dev::kDnHasProblem;
      s.problem = dev::kProblemDisabled;
    }
    return Result<DevNodeStatus>::Ok(s);
  }

 private:
  SimMachine::SimDevice* Device(std::uint32_t index) {
    if (index >= members_.size()) return nullptr;
    auto& d = m_.devices[members_[index]];
    return d.removed ? nullptr : &d;
  }

  SimMachine& m_;
  std::vector<std::size_t> members_;
  std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> params_;
};

}  // namespace

Result<std::unique_ptr<IDeviceSet>> SimMachine::Devices::ClassDevs(std::wstring_view classGuid,
                                                                   std::wstring_view enumerator, std::uint32_t flags) {
  using R = Result<std::unique_ptr<IDeviceSet>>;
  if (m_.DllMissing(L"setupapi.dll")) return R::Fail(err::kModNotFound);
  if (auto e = m_.faults.Take("SetupDiGetClassDevs")) return R::Fail(*e);
  // Without a class the set needs DIGCF_ALLCLASSES.
  if (classGuid.empty() && (flags & dev::kDigcfAllClasses) == 0) return R::Fail(err::kInvalidParameter);
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < m_.devices.size(); ++i) {
    const auto& d = m_.devices[i];
    if (d.removed) continue;
    if ((flags & dev::kDigcfPresent) && !d.present) continue;
    if (!classGuid.empty() && !(flags & dev::kDigcfAllClasses) && !EqualsNoCase(d.classGuid, classGuid)) continue;
    if (!enumerator.empty() && !EqualsNoCase(d.enumerator, enumerator)) continue;
    members.push_back(i);
  }
  return R::Ok(std::make_unique<SimDeviceSet>(m_, std::move(members)));
}

Result<std::unique_ptr<IDeviceSet>> SimMachine::Devices::AllPresentDevices() {
  if (auto e = m_.faults.Take("SetupDiGetClassDevsEx")) return Result<std::unique_ptr<IDeviceSet>>::Fail(*e);
  return ClassDevs(L"", L"", dev::kDigcfPresent | dev::kDigcfAllClasses);
}

Result<DevInst> SimMachine::Devices::LocateRoot() {
  if (m_.DllMissing(L"setupapi.dll")) return Result<DevInst>::Fail(err::kCrCallNotImplemented);
  if (auto e = m_.faults.Take("CM_Locate_DevNode")) return Result<DevInst>::Fail(*e);
  return Result<DevInst>::Ok(kRoot);
}

std::uint32_t SimMachine::Devices::Reenumerate(DevInst node) {
  if (m_.DllMissing(L"setupapi.dll")) return err::kCrCallNotImplemented;
  if (auto e = m_.faults.Take("CM_Reenumerate_DevNode")) return *e;
  if (node != kRoot) return err::kCrInvalidDevnode;
  ++m_.reenumerations;
  // A present device without a driver gets one from a staged INF that names
  // one of its hardware IDs.
  for (auto& d : m_.devices) {
    if (d.removed || !d.present || !d.installedInf.empty() || !d.hardwareIds) continue;
    for (std::size_t i = 0; i < m_.stagedInfTexts.size() && d.installedInf.empty(); ++i) {
      const std::wstring text = ToLowerAscii(m_.stagedInfTexts[i]);
      for (const auto& id : *d.hardwareIds) {
        if (text.find(ToLowerAscii(id)) != std::wstring::npos) {
          d.installedInf = m_.stagedInfs[i];
          break;
        }
      }
    }
  }
  return dev::kCrSuccess;
}

WinError SimMachine::Devices::UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t) {
  if (m_.DllMissing(L"newdev.dll")) return err::kModNotFound;
  if (auto e = m_.faults.Take("UpdateDriverForPlugAndPlayDevices", hardwareId)) return *e;
  // 64-bit Windows refuses a 32-bit process the driver update.
  if (m_.Wow64Process()) return err::kInWow64;
  if (!m_.files.Exists(infPath) || m_.files.IsDirectory(infPath)) return err::kFileNotFound;
  // The update is for present devices with exactly that hardware ID.
  for (auto& d : m_.devices) {
    if (d.removed || !d.present || !d.hardwareIds) continue;
    for (const auto& id : *d.hardwareIds) {
      if (EqualsNoCase(id, hardwareId)) {
        d.installedInf = std::wstring(infPath);
        d.changedByCompanion = m_.process64;
        m_.driverUpdates.push_back(DriverUpdate{std::wstring(hardwareId), std::wstring(infPath), m_.process64});
        return err::kSuccess;
      }
    }
  }
  return err::kNoSuchDevinst;
}

std::uint32_t SimMachine::Devices::WaitNoPendingInstallEvents() {
  ++m_.installWaits;
  if (m_.DllMissing(L"setupapi.dll")) return 0xFFFFFFFFU;  // WAIT_FAILED
  if (auto e = m_.faults.Take("CMP_WaitNoPendingInstallEvents")) return *e;
  return 0;
}

WinError SimMachine::Devices::CopyOemInf(std::wstring_view infPath, std::wstring_view) {
  if (m_.DllMissing(L"setupapi.dll")) return err::kModNotFound;
  if (auto e = m_.faults.Take("SetupCopyOEMInf", infPath)) return *e;
  const auto bytes = m_.files.ReadFile(infPath);
  if (!bytes) return err::kFileNotFound;
  // An INF whose binary image is already in the store is not copied again:
  // the store keeps its oemNN.inf.
  for (const auto& staged : m_.stagedInfs) {
    if (m_.files.ReadFile(m_.windowsFolder + L"\\inf\\" + staged) == bytes) return err::kSuccess;
  }
  const std::wstring name = L"oem" + std::to_wstring(m_.stagedInfs.size()) + L".inf";
  m_.files.WriteFile(m_.windowsFolder + L"\\inf\\" + name, *bytes);
  m_.stagedInfs.push_back(name);
  m_.stagedInfSources.emplace_back(infPath);
  m_.stagedInfTexts.push_back(DecodeTextFile(*bytes, m_.ansiCodePage));
  return err::kSuccess;
}

std::size_t SimMachine::AddDevice(std::wstring_view classGuid, std::wstring_view enumerator,
                                  std::vector<std::wstring> hardwareIds, bool present) {
  SimDevice d;
  d.classGuid = std::wstring(classGuid);
  d.enumerator = std::wstring(enumerator);
  d.instanceId =
      std::wstring(enumerator) + L"\\DEV_" + std::to_wstring(devices.size()) + L"\\" + std::to_wstring(devices.size());
  d.driverKey =
      std::wstring(classGuid) + L"\\" + (devices.size() < 10 ? L"000" : L"00") + std::to_wstring(devices.size());
  d.hardwareIds = std::move(hardwareIds);
  d.present = present;
  devices.push_back(std::move(d));
  return devices.size() - 1;
}

}  // namespace tv::sim
