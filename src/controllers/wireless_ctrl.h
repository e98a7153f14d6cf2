// The wireless-LAN adapter's and the wireless (3G) modem's controllers: found
// by the hardware-ID lists in the registry, restarted around a change of one
// of their device parameters.
#pragma once

#include <cstdint>
#include <string>

#include "controllers/dev_base_ctrl.h"

namespace tv {

inline constexpr std::wstring_view kNetClass = L"{4D36E972-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::wstring_view kEnumRoot = L"SYSTEM\\CurrentControlSet\\Enum\\";

class CWLANCtrl : public CDevBaseCtrl {
 public:
  explicit CWLANCtrl(const Platform& platform) : CDevBaseCtrl(platform), platform_(platform) {}

  int IsExist() override;
  int Open() override;
  int EnableDevice(int enable);
  int SetASPMOptIn(int enable);
  // Writes the value beside every "ASPMOptIn" one level below the device
  // parameters of each instance of the device; 1 when one was written.
  int WriteASPMReg(std::wstring_view deviceId, std::wstring_view valueName, std::uint32_t value);

  std::int32_t openResult = 0;
  std::wstring deviceEntry;  // the hardware-ID list entry that matched
  std::wstring deviceId;     // the matched device's first hardware ID

 private:
  Platform platform_;
};

class CWModemCtrl : public CDevBaseCtrl {
 public:
  explicit CWModemCtrl(const Platform& platform) : CDevBaseCtrl(platform), platform_(platform) {}

  int IsExist() override;
  int Open() override;
  int EnableDevice(int enable);
  void SetWakeOnRing();
  // Writes the value into the device parameters of each instance of the
  // modem's first interface.
  void WriteWORReg(std::wstring_view entry, std::wstring_view valueName, std::uint32_t value);

  std::int32_t openResult = 0;
  std::wstring deviceEntry;

 private:
  Platform platform_;
};

}  // namespace tv
