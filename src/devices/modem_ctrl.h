// The analogue soft modem's controller.
#pragma once

#include <string>

#include "actions/action.h"
#include "devices/dev_base_ctrl.h"

namespace tv {

class CModemCtrl : public CDevBaseCtrl {
 public:
  explicit CModemCtrl(const Platform& platform);

  // The machine's region code: one character, or empty. FORCE_REGION may
  // replace it before the first command.
  std::wstring regionCode;
  CAction action;
  CRunContext context;
  CDebugTrace modemTrace;
};

}  // namespace tv
