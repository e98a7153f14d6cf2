// The one walk over a device information set: every device with its hardware
// IDs, most specific first. Devices without hardware IDs, and devices that
// went away, are passed over; any other property failure ends the walk.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tv {

enum class Visit { kNext, kStop };

struct WalkEnd {
  WinError lastError = err::kSuccess;  // kNoMoreItems after every device was visited
  bool propertyFailed = false;
  bool stopped = false;  // a visit asked to stop
};

template <class Visitor>
WalkEnd WalkDevices(IDeviceSet& set, Visitor&& visit) {
  WalkEnd end;
  for (std::uint32_t i = 0;; ++i) {
    end.lastError = set.Enum(i);
    if (end.lastError != err::kSuccess) return end;
    auto ids = set.HardwareIds(i);
    if (!ids) {
      // No hardware IDs, or a device that went away since the set was made: the next one.
      if (ids.error() == err::kInvalidData || ids.error() == err::kNoSuchDevinst) continue;
      end.lastError = ids.error();
      end.propertyFailed = true;
      return end;
    }
    if (visit(i, static_cast<const std::vector<std::wstring>&>(*ids)) == Visit::kStop) {
      end.stopped = true;
      return end;
    }
  }
}

}  // namespace tv
