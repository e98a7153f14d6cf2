// The device installer as the 32-bit tool reaches it on 64-bit Windows.
// Windows refuses a 32-bit process the driver update and the class installer
// (ERROR_IN_WOW64); then the tool's 64-bit companion, beside it, makes the
// call, and its result stands for the refused one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tv {

class CWow64Devices final : public IDevices {
 public:
  // `routeEverything`: every such call goes to the companion at once, as under
  // WOW64 (only the Wine tests' build of the 64-bit tool does so).
  explicit CWow64Devices(const Platform& platform, bool routeEverything = false);

  // Where the line goes that says the companion is not there or did not start.
  void SetTrace(std::function<void(std::wstring_view)> trace) { trace_ = std::move(trace); }

  Result<std::unique_ptr<IDeviceSet>> ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                std::uint32_t flags) override;
  Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() override;
  Result<DevInst> LocateRoot() override { return inner_.LocateRoot(); }
  std::uint32_t Reenumerate(DevInst node) override { return inner_.Reenumerate(node); }
  WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) override;
  std::uint32_t WaitNoPendingInstallEvents() override { return inner_.WaitNoPendingInstallEvents(); }
  WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) override {
    return inner_.CopyOemInf(infPath, mediaLocation);
  }

  bool routeEverything() const { return routeEverything_; }
  // Runs one operation in the companion: its exit code, or none when it is
  // not beside the tool or cannot be started (traced).
  std::optional<WinError> RunCompanion(std::wstring_view operation, const std::vector<std::wstring>& arguments);

 private:
  Result<std::unique_ptr<IDeviceSet>> Wrap(Result<std::unique_ptr<IDeviceSet>> set);

  IDevices& inner_;
  ISystem& system_;
  IFileSystem& files_;
  IProcesses& processes_;
  bool routeEverything_;
  std::function<void(std::wstring_view)> trace_;
};

}  // namespace tv
