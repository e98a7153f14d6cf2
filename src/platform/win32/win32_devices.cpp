// The device installer: SetupAPI, the configuration manager and newdev.
#include "platform/win32/win32_parts.h"

#include <cfgmgr32.h>
#include <newdev.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/lazy_api.h"

namespace tv::win32 {

namespace {

WinError LastError() { return static_cast<WinError>(::GetLastError()); }

class DeviceSet final : public IDeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}

  bool ListDetail() override {
    SP_DEVINFO_LIST_DETAIL_DATA_W detail = {};
    detail.cbSize = sizeof(detail);
    auto* listDetail = TV_LAZY(SetupApi, SetupDiGetDeviceInfoListDetailW);
    return listDetail != nullptr && listDetail(set_.get(), &detail) != FALSE;
  }
  WinError Enum(std::uint32_t index) override {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    auto* enumDevice = TV_LAZY(SetupApi, SetupDiEnumDeviceInfo);
    if (enumDevice == nullptr || !enumDevice(set_.get(), index, &data)) return LastError();
    if (devices_.size() <= index) devices_.resize(index + 1);
    devices_[index] = data;
    return err::kSuccess;
  }
  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override {
    return IdList(index, SPDRP_HARDWAREID);
  }
  Result<std::vector<std::wstring>> CompatibleIds(std::uint32_t index) override {
    return IdList(index, SPDRP_COMPATIBLEIDS);
  }
  Result<std::vector<std::wstring>> IdList(std::uint32_t index, DWORD property) {
    auto bytes = Property(index, property);
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
    auto* instanceId = TV_LAZY(SetupApi, SetupDiGetDeviceInstanceIdW);
    if (instanceId == nullptr) return Result<std::wstring>::Fail(LastError());
    DWORD required = 0;
    instanceId(set_.get(), Device(index), nullptr, 0, &required);
    std::vector<wchar_t> buffer(required + 1, L'\0');
    if (!instanceId(set_.get(), Device(index), buffer.data(), static_cast<DWORD>(buffer.size()), nullptr)) {
      return Result<std::wstring>::Fail(LastError());
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
    auto* setParams = TV_LAZY(SetupApi, SetupDiSetClassInstallParamsW);
    if (setParams == nullptr || !setParams(set_.get(), Device(index), &params.ClassInstallHeader, sizeof(params))) {
      return LastError();
    }
    return err::kSuccess;
  }
  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    auto* callInstaller = TV_LAZY(SetupApi, SetupDiCallClassInstaller);
    if (callInstaller == nullptr || !callInstaller(function, set_.get(), Device(index))) return LastError();
    return err::kSuccess;
  }
  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    SP_DEVINSTALL_PARAMS_W params = {};
    params.cbSize = sizeof(params);
    auto* installParams = TV_LAZY(SetupApi, SetupDiGetDeviceInstallParamsW);
    if (installParams == nullptr || !installParams(set_.get(), Device(index), &params)) {
      return Result<std::uint32_t>::Fail(LastError());
    }
    return Result<std::uint32_t>::Ok(params.Flags);
  }
  Result<DevNodeStatus> Status(std::uint32_t index) override {
    ULONG status = 0;
    ULONG problem = 0;
    auto* nodeStatus = TV_LAZY(SetupApi, CM_Get_DevNode_Status);
    const CONFIGRET cr =
        nodeStatus == nullptr ? CR_CALL_NOT_IMPLEMENTED : nodeStatus(&status, &problem, Device(index)->DevInst, 0);
    if (cr != CR_SUCCESS) return Result<DevNodeStatus>::Fail(static_cast<WinError>(cr));
    return Result<DevNodeStatus>::Ok(DevNodeStatus{status, problem});
  }

 private:
  SP_DEVINFO_DATA* Device(std::uint32_t index) { return &devices_.at(index); }

  // The grow-the-buffer loop of SetupDiGetDeviceRegistryPropertyW, once for every property.
  Result<std::vector<BYTE>> Property(std::uint32_t index, DWORD property) {
    auto* property_ = TV_LAZY(SetupApi, SetupDiGetDeviceRegistryPropertyW);
    if (property_ == nullptr) return Result<std::vector<BYTE>>::Fail(LastError());
    std::vector<BYTE> buffer;
    DWORD required = 0;
    // A property that asks for no more room than it was given, or keeps
    // growing, would be asked for without end: a few rounds, then it fails.
    int rounds = 0;
    while (!property_(set_.get(), Device(index), property, nullptr, buffer.empty() ? nullptr : buffer.data(),
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
    auto* classDevs = TV_LAZY(SetupApi, SetupDiGetClassDevsW);
    if (classDevs == nullptr) return Result<std::unique_ptr<IDeviceSet>>::Fail(LastError());
    return Wrap(
        classDevs(classGuid.empty() ? nullptr : &cls, enumerator.empty() ? nullptr : enumText.c_str(), nullptr, flags));
  }
  Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() override {
    auto* classDevs = TV_LAZY(SetupApi, SetupDiGetClassDevsExW);
    if (classDevs == nullptr) return Result<std::unique_ptr<IDeviceSet>>::Fail(LastError());
    return Wrap(classDevs(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr, nullptr));
  }
  Result<DevInst> LocateRoot() override {
    DEVINST root = 0;
    auto* locate = TV_LAZY(SetupApi, CM_Locate_DevNodeW);
    const CONFIGRET cr = locate == nullptr ? CR_CALL_NOT_IMPLEMENTED : locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    if (cr != CR_SUCCESS) return Result<DevInst>::Fail(static_cast<WinError>(cr));
    return Result<DevInst>::Ok(root);
  }
  std::uint32_t Reenumerate(DevInst node) override {
    auto* reenumerate = TV_LAZY(SetupApi, CM_Reenumerate_DevNode);
    return reenumerate == nullptr ? CR_CALL_NOT_IMPLEMENTED : reenumerate(node, CM_REENUMERATE_NORMAL);
  }
  WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) override {
    auto* update = TV_LAZY(NewDev, UpdateDriverForPlugAndPlayDevicesW);
    if (update == nullptr || !update(nullptr, Z(hardwareId).c_str(), Z(infPath).c_str(), flags, nullptr)) {
      return LastError();
    }
    return err::kSuccess;
  }
  std::uint32_t WaitNoPendingInstallEvents() override {
    auto* wait = TV_LAZY(SetupApi, CMP_WaitNoPendingInstallEvents);
    return wait == nullptr ? WAIT_FAILED : wait(INFINITE);
  }
  WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) override {
    auto* copyOemInf = TV_LAZY(SetupApi, SetupCopyOEMInfW);
    if (copyOemInf == nullptr ||
        !copyOemInf(Z(infPath).c_str(), Z(mediaLocation).c_str(), SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
      return LastError();
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
