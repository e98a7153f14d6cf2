// The device installer: SetupAPI, the configuration manager and newdev.
#include "platform/win32/win32_parts.h"

#include <cfgmgr32.h>
#include <newdev.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace tv::win32 {

namespace {

class DeviceSet final : public IDeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}

  bool ListDetail() override {
    SP_DEVINFO_LIST_DETAIL_DATA_W detail = {};
    detail.cbSize = sizeof(detail);
    return ::SetupDiGetDeviceInfoListDetailW(set_.get(), &detail) != FALSE;
  }
  WinError Enum(std::uint32_t index) override {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    if (!::SetupDiEnumDeviceInfo(set_.get(), index, &data)) return static_cast<WinError>(::GetLastError());
    if (devices_.size() <= index) devices_.resize(index + 1);
    devices_[index] = data;
    return err::kSuccess;
  }
  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override {
    auto bytes = Property(index, SPDRP_HARDWAREID);
    if (!bytes) return Result<std::vector<std::wstring>>::Fail(bytes.error());
    // A multi-string: each ID ends at its terminator, the list at an empty one
    // or at the end of the data.
    std::vector<std::wstring> ids;
    const auto* text = reinterpret_cast<const wchar_t*>(bytes->data());
    const std::size_t chars = bytes->size() / sizeof(wchar_t);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= chars; ++i) {
      if (i == chars || text[i] == L'\0') {
        if (i == start) break;
        ids.emplace_back(text + start, i - start);
        start = i + 1;
      }
    }
    return Result<std::vector<std::wstring>>::Ok(ids);
  }
  Result<std::wstring> InstanceId(std::uint32_t index) override {
    DWORD required = 0;
    ::SetupDiGetDeviceInstanceIdW(set_.get(), Device(index), nullptr, 0, &required);
    std::vector<wchar_t> buffer(required + 1, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set_.get(), Device(index), buffer.data(), static_cast<DWORD>(buffer.size()),
                                       nullptr)) {
      return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::wstring>::Ok(std::wstring(buffer.data()));
  }
  Result<std::wstring> ClassGuid(std::uint32_t index) override { return Text(index, SPDRP_CLASSGUID); }
  Result<std::wstring> Enumerator(std::uint32_t index) override { return Text(index, SPDRP_ENUMERATOR_NAME); }
  Result<std::wstring> Text(std::uint32_t index, DWORD property) {
    auto bytes = Property(index, property);
    if (!bytes) return Result<std::wstring>::Fail(bytes.error());
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
    text.resize(std::wcslen(text.c_str()));
    return Result<std::wstring>::Ok(text);
  }
  Result<std::wstring> DriverKey(std::uint32_t index) override {
    auto bytes = Property(index, SPDRP_DRIVER);
    if (!bytes) return Result<std::wstring>::Fail(bytes.error());
    std::wstring key(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
    key.resize(std::wcslen(key.c_str()));
    return Result<std::wstring>::Ok(key);
  }
  WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope,
                             std::uint32_t hardwareProfile) override {
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = state;
    params.Scope = scope;
    params.HwProfile = hardwareProfile;
    if (!::SetupDiSetClassInstallParamsW(set_.get(), Device(index), &params.ClassInstallHeader, sizeof(params))) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }
  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    if (!::SetupDiCallClassInstaller(function, set_.get(), Device(index)))
      return static_cast<WinError>(::GetLastError());
    return err::kSuccess;
  }
  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    SP_DEVINSTALL_PARAMS_W params = {};
    params.cbSize = sizeof(params);
    if (!::SetupDiGetDeviceInstallParamsW(set_.get(), Device(index), &params)) {
      return Result<std::uint32_t>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::uint32_t>::Ok(params.Flags);
  }
  Result<DevNodeStatus> Status(std::uint32_t index) override {
    ULONG status = 0;
    ULONG problem = 0;
    const CONFIGRET cr = ::CM_Get_DevNode_Status(&status, &problem, Device(index)->DevInst, 0);
    if (cr != CR_SUCCESS) return Result<DevNodeStatus>::Fail(static_cast<WinError>(cr));
    return Result<DevNodeStatus>::Ok(DevNodeStatus{status, problem});
  }

 private:
  SP_DEVINFO_DATA* Device(std::uint32_t index) { return &devices_.at(index); }

  // The grow-the-buffer loop of SetupDiGetDeviceRegistryPropertyW, once for every property.
  Result<std::vector<BYTE>> Property(std::uint32_t index, DWORD property) {
    std::vector<BYTE> buffer;
    DWORD required = 0;
    // A property that asks for no more room than it was given, or keeps
    // growing, would be asked for without end: a few rounds, then it fails.
    int rounds = 0;
    while (!::SetupDiGetDeviceRegistryPropertyW(set_.get(), Device(index), property, nullptr,
                                                buffer.empty() ? nullptr : buffer.data(),
                                                static_cast<DWORD>(buffer.size()), &required)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) return Result<std::vector<BYTE>>::Fail(static_cast<WinError>(error));
      if (++rounds > 4 || required + sizeof(wchar_t) * 2 <= buffer.size()) {
        return Result<std::vector<BYTE>>::Fail(static_cast<WinError>(ERROR_INSUFFICIENT_BUFFER));
      }
      buffer.assign(required + sizeof(wchar_t) * 2, 0);  // room for terminators the data may lack
    }
    buffer.resize(std::min<std::size_t>(buffer.size(), required));
    return Result<std::vector<BYTE>>::Ok(std::move(buffer));
  }

  unique_hdevinfo set_;
  std::vector<SP_DEVINFO_DATA> devices_;
};

class Devices final : public IDevices {
 public:
  Result<std::unique_ptr<IDeviceSet>> ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                std::uint32_t flags) override {
    GUID cls = {};
    std::wstring text(classGuid);
    if (!classGuid.empty() && ::CLSIDFromString(text.data(), &cls) != NOERROR) {
      return Result<std::unique_ptr<IDeviceSet>>::Fail(err::kInvalidParameter);
    }
    const std::wstring enumText(enumerator);
    HDEVINFO set = ::SetupDiGetClassDevsW(classGuid.empty() ? nullptr : &cls,
                                          enumerator.empty() ? nullptr : enumText.c_str(), nullptr, flags);
    return Wrap(set);
  }
  Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() override {
    return Wrap(::SetupDiGetClassDevsExW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr,
                                         nullptr));
  }
  Result<DevInst> LocateRoot() override {
    DEVINST root = 0;
    const CONFIGRET cr = ::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    if (cr != CR_SUCCESS) return Result<DevInst>::Fail(static_cast<WinError>(cr));
    return Result<DevInst>::Ok(root);
  }
  std::uint32_t Reenumerate(DevInst node) override { return ::CM_Reenumerate_DevNode(node, CM_REENUMERATE_NORMAL); }
  WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) override {
    if (!::UpdateDriverForPlugAndPlayDevicesW(nullptr, Z(hardwareId).c_str(), Z(infPath).c_str(), flags, nullptr)) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }
  std::uint32_t WaitNoPendingInstallEvents() override { return ::CMP_WaitNoPendingInstallEvents(INFINITE); }
  WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) override {
    if (!::SetupCopyOEMInfW(Z(infPath).c_str(), Z(mediaLocation).c_str(), SPOST_PATH, 0, nullptr, 0, nullptr,
                            nullptr)) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }

 private:
  static Result<std::unique_ptr<IDeviceSet>> Wrap(HDEVINFO set) {
    if (set == INVALID_HANDLE_VALUE) {
      return Result<std::unique_ptr<IDeviceSet>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<IDeviceSet>>::Ok(std::make_unique<DeviceSet>(set));
  }
};

}  // namespace

std::unique_ptr<IDevices> MakeDevices() { return std::make_unique<Devices>(); }

}  // namespace tv::win32
