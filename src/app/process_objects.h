// The six objects that live for the whole process, made in this order and
// destroyed in reverse. Each builds its own run contexts and debug traces.
#pragma once

#include "actions/action.h"
#include "controllers/modem_ctrl.h"
#include "controllers/wireless_ctrl.h"
#include "runtime/debug_trace.h"
#include "runtime/run_context.h"
#include "script/command.h"

namespace tv {

class CProcessObjects {
 public:
  explicit CProcessObjects(const Platform& platform)
      : runContext(platform), trace(platform), modem(platform), wmodem(platform), wlan(platform), action(platform) {}

  // What the commands are handed.
  operator CommandObjects() { return CommandObjects{runContext, trace, modem, wmodem, wlan, action}; }

  CRunContext runContext;
  CDebugTrace trace;
  CModemCtrl modem;
  CWModemCtrl wmodem;
  CWLANCtrl wlan;
  CAction action;
};

}  // namespace tv
