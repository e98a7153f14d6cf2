// The simulated machine's device installer. Private to the simulated machine.
#pragma once

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
  SimMachine& m_;
};

}  // namespace tv::sim
