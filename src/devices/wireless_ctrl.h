// The wireless-LAN adapter's and the wireless (3G) modem's controllers.
#pragma once

#include <cstdint>
#include <string>

#include "devices/dev_base_ctrl.h"

namespace tv {

class CWLANCtrl : public CDevBaseCtrl {
 public:
  explicit CWLANCtrl(const Platform& platform) : CDevBaseCtrl(platform) {}

  std::int32_t openResult = 0;
  std::wstring deviceEntry;  // the hardware-ID list entry that matched
  std::wstring deviceId;     // the matched device's first hardware ID
};

class CWModemCtrl : public CDevBaseCtrl {
 public:
  explicit CWModemCtrl(const Platform& platform) : CDevBaseCtrl(platform) {}

  std::int32_t openResult = 0;
  std::wstring deviceEntry;
};

}  // namespace tv
