// The six objects that live for the whole process, made in this order and
// destroyed in reverse. Each builds its own run contexts and debug traces.
#pragma once

#include "actions/action.h"
#include "app/debug_trace.h"
#include "app/run_context.h"
#include "devices/modem_ctrl.h"
#include "devices/wireless_ctrl.h"

namespace tv {

class CProcessObjects {
 public:
  explicit CProcessObjects(const Platform& platform)
      : runContext(platform), trace(platform), modem(platform), wmodem(platform), wlan(platform), action(platform) {}

  CRunContext runContext;
  CDebugTrace trace;
  CModemCtrl modem;
  CWModemCtrl wmodem;
  CWLANCtrl wlan;
  CAction action;
};

}  // namespace tv
