// What every device controller has: the hardware ID it found, its own trace
// and its own device lookup.
#pragma once

#include <string>

#include "devices/dev_lookup.h"
#include "runtime/debug_trace.h"

namespace tv {

class CDevBaseCtrl {
 public:
  explicit CDevBaseCtrl(const Platform& platform) : trace(platform), lookup(platform) {}
  virtual ~CDevBaseCtrl() = default;
  CDevBaseCtrl(const CDevBaseCtrl&) = delete;
  CDevBaseCtrl& operator=(const CDevBaseCtrl&) = delete;

  // 1 when the controller's device is present.
  virtual int IsExist() = 0;
  // 1 when the device is present; keeps what later operations need.
  virtual int Open() = 0;

  std::wstring foundHardwareId;  // at most 255 characters; used for tracing only
  CDebugTrace trace;
  CDevLookup lookup;
};

}  // namespace tv
