// What every device controller has: the hardware ID it found, its own trace
// and its own device lookup.
#pragma once

#include <string>

#include "app/debug_trace.h"
#include "devices/dev_lookup.h"

namespace tv {

class CDevBaseCtrl {
 public:
  explicit CDevBaseCtrl(const Platform& platform) : trace(platform), lookup(platform) {}
  virtual ~CDevBaseCtrl() = default;
  CDevBaseCtrl(const CDevBaseCtrl&) = delete;
  CDevBaseCtrl& operator=(const CDevBaseCtrl&) = delete;

  std::wstring foundHardwareId;  // at most 255 characters
  CDebugTrace trace;
  CDevLookup lookup;
};

}  // namespace tv
