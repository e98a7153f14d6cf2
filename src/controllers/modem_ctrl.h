// The analogue soft modem's controller: presence, region settings and the
// homologation time stamp.
#pragma once

#include <string>

#include "actions/action.h"
#include "controllers/dev_base_ctrl.h"

namespace tv {

inline constexpr std::wstring_view kModemClass = L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
inline constexpr std::wstring_view kSoftModemKey = L"Software\\Agere\\SoftModem";
// Access for the time stamp: KEY_READ | KEY_WRITE, and with the 64-bit view.
inline constexpr std::uint32_t kHomolAccess = 0x2001F;
inline constexpr std::uint32_t kHomolAccess64 = 0x2011F;

class CModemCtrl : public CDevBaseCtrl {
 public:
  explicit CModemCtrl(const Platform& platform);

  int IsExist() override;
  int Open() override { return 1; }
  // Registry entries of the region's variant of a section.
  int InitRegion(std::wstring_view section);
  // Toggles the first byte of HomolTimeStamp.
  int InitHomolTime(std::uint32_t access);

  // The machine's region code: one character, or empty. FORCE_REGION may
  // replace it before the first command.
  std::wstring regionCode;
  CAction action;
  CRunContext context;
  CDebugTrace modemTrace;

 private:
  Platform platform_;
};

}  // namespace tv
