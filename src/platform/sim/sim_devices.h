// The simulated machine's device installer. Private to the simulated machine.
#pragma once

#include "platform/sim/driver_select.h"
#include "platform/sim/inf_file.h"
#include "platform/sim/sim_machine.h"

namespace tv::sim {

class SimMachine::Devices final : public IDevices {
 public:
  explicit Devices(SimMachine& m) : m_(m) {}
  Result<std::unique_ptr<IDeviceSet>> ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                std::uint32_t flags) override;
  Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() override;
  Result<DevInst> LocateRoot() override;
  std::uint32_t Reenumerate(DevInst node) override;
  WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) override;
  std::uint32_t WaitNoPendingInstallEvents() override;
  WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) override;

 private:
  using SimDevice = SimMachine::SimDevice;
  DriverTarget Target() const;
  InfDirectories Dirs(const std::wstring& infFile) const;
  WinError WaitOnDialog(const std::wstring& dialog);
  static DriverNode InstalledNode(const SimDevice& d);
  static std::wstring NodeText(const DriverNode& node);
  static std::wstring InfErrorText(const InfParse& parsed);
  // The INF copied into the driver store (or found there): its oemNN.inf name.
  std::wstring StoreInf(const std::wstring& infPath, const std::vector<std::uint8_t>& bytes, bool byUpdate);
  // Windows' install of a chosen driver: its software key under the class,
  // the install section's registry entries, the device's hardware key.
  void Install(SimDevice& d, const InfText& inf, InfDirectories dirs, const DriverNode& node,
               const std::wstring& infName);

  SimMachine& m_;
};

}  // namespace tv::sim
