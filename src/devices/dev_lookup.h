// The hardware-ID device lookup. Its device operations arrive with the
// device-installer part of the seam; what exists now is its state.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/debug_trace.h"

namespace tv {

inline constexpr std::size_t kIdListCapacity = 256;

class CDevLookup {
 public:
  explicit CDevLookup(const Platform& platform) : trace(platform) {}

  // The hardware-ID list: prefixes that identify a controller's device
  // (each at most 127 characters).
  std::array<std::wstring, kIdListCapacity> idList{};
  std::wstring matchedDeviceId;
  std::wstring matchedEntry;
  std::uint32_t idCount = 0;
  CDebugTrace trace;
};

}  // namespace tv
