// The real Windows behind the seam.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/platform.h"

namespace tv::win32 {

class Win32Platform {
 public:
  explicit Win32Platform(HINSTANCE instance);
  ~Win32Platform();
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  Platform get();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace tv::win32
