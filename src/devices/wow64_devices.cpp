#include "devices/wow64_devices.h"

#include <map>
#include <set>

#include "devices/companion_protocol.h"
#include "platform/format.h"
#include "platform/shell_path.h"

namespace tv {

namespace {

struct PropertyChange {
  std::uint32_t state;
  std::uint32_t scope;
  std::uint32_t profile;
};

// A device information set whose class-installer calls the companion makes
// when Windows refuses them to this process.
class Wow64DeviceSet final : public IDeviceSet {
 public:
  Wow64DeviceSet(std::unique_ptr<IDeviceSet> inner, CWow64Devices& owner) : inner_(std::move(inner)), owner_(owner) {}

  bool ListDetail() override { return inner_->ListDetail(); }
  WinError Enum(std::uint32_t index) override { return inner_->Enum(index); }
  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override { return inner_->HardwareIds(index); }
  Result<std::wstring> InstanceId(std::uint32_t index) override { return inner_->InstanceId(index); }
  Result<std::wstring> DriverKey(std::uint32_t index) override { return inner_->DriverKey(index); }
  Result<std::wstring> ClassGuid(std::uint32_t index) override { return inner_->ClassGuid(index); }
  Result<std::wstring> Enumerator(std::uint32_t index) override { return inner_->Enumerator(index); }
  Result<DevNodeStatus> Status(std::uint32_t index) override { return inner_->Status(index); }

  WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope,
                             std::uint32_t hardwareProfile) override {
    // The companion gets the parameters with its own call.
    params_[index] = PropertyChange{state, scope, hardwareProfile};
    return inner_->SetPropertyChange(index, state, scope, hardwareProfile);
  }

  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    const WinError own = owner_.routeEverything() ? err::kInWow64 : inner_->CallClassInstaller(function, index);
    if (own != err::kInWow64) return own;
    auto instance = inner_->InstanceId(index);
    if (!instance) return own;
    std::optional<WinError> result;
    if (function == dev::kDifRemove) {
      result = owner_.RunCompanion(kOpRemove, {*instance});
    } else if (function == dev::kDifPropertyChange) {
      auto it = params_.find(index);
      if (it == params_.end()) return own;
      const PropertyChange& p = it->second;
      result = owner_.RunCompanion(kOpPropertyChange, {*instance, std::to_wstring(p.state), std::to_wstring(p.scope),
                                                       std::to_wstring(p.profile)});
    }
    if (!result) return own;
    // A change the companion made that waits for a restart is a made change
    // whose install parameters ask for one.
    if (*result == kCompanionNeedsRestart) {
      needsRestart_.insert(index);
      return err::kSuccess;
    }
    return *result;
  }

  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    auto flags = inner_->InstallFlags(index);
    if (!needsRestart_.contains(index)) return flags;
    return Result<std::uint32_t>::Ok((flags ? *flags : 0) | dev::kDiNeedRestart);
  }

 private:
  std::unique_ptr<IDeviceSet> inner_;
  CWow64Devices& owner_;
  std::map<std::uint32_t, PropertyChange> params_;
  std::set<std::uint32_t> needsRestart_;
};

}  // namespace

CWow64Devices::CWow64Devices(const Platform& platform, bool routeEverything)
    : inner_(platform.devices),
      system_(platform.system),
      files_(platform.files),
      processes_(platform.processes),
      routeEverything_(routeEverything) {}

Result<std::unique_ptr<IDeviceSet>> CWow64Devices::Wrap(Result<std::unique_ptr<IDeviceSet>> set) {
  if (!set) return set;
  return Result<std::unique_ptr<IDeviceSet>>::Ok(std::make_unique<Wow64DeviceSet>(std::move(*set), *this));
}

Result<std::unique_ptr<IDeviceSet>> CWow64Devices::ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                             std::uint32_t flags) {
  return Wrap(inner_.ClassDevs(classGuid, enumerator, flags));
}

Result<std::unique_ptr<IDeviceSet>> CWow64Devices::AllPresentDevices() { return Wrap(inner_.AllPresentDevices()); }

WinError CWow64Devices::UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) {
  const WinError own = routeEverything_ ? err::kInWow64 : inner_.UpdateDriver(hardwareId, infPath, flags);
  if (own != err::kInWow64) return own;
  const auto result =
      RunCompanion(kOpUpdateDriver, {std::wstring(hardwareId), std::wstring(infPath), std::to_wstring(flags)});
  return result ? *result : own;
}

std::optional<WinError> CWow64Devices::RunCompanion(std::wstring_view operation,
                                                    const std::vector<std::wstring>& arguments) {
  const std::wstring modulePath = system_.ModulePath();
  const std::wstring path = CompanionPath(modulePath);
  auto say = [&](const std::wstring& line) {
    if (trace_) trace_(line);
  };
  if (!files_.Exists(path)) {
    say(Format(L"Wow64:the 64-bit companion %s was not found", path));
    return std::nullopt;
  }
  // Its current folder is the system folder, out of the DLL search.
  const auto systemFolder = system_.SystemDirectory();
  auto process = processes_.Create(CompanionCommandLine(path, operation, arguments), process::kCreateNoWindow,
                                   systemFolder ? *systemFolder : shell::RemoveFileSpec(modulePath));
  if (!process) {
    say(Format(L"Wow64:the 64-bit companion %s could not be started, error %u", path, process.error()));
    return std::nullopt;
  }
  (*process)->WaitForExit();
  auto code = (*process)->ExitCode();
  if (!code) {
    say(Format(L"Wow64:the 64-bit companion %s gave no result, error %u", path, code.error()));
    return std::nullopt;
  }
  return static_cast<WinError>(*code);
}

}  // namespace tv
