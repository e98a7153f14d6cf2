// What a command handler is given: the split command, the platform facts the
// dispatcher worked out, the setup script, the command section and the stop flag.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "actions/action.h"
#include "controllers/modem_ctrl.h"
#include "controllers/wireless_ctrl.h"
#include "platform/platform.h"
#include "runtime/debug_trace.h"
#include "runtime/run_context.h"

namespace tv {

// The process-wide objects that the commands work on. The entry makes and
// owns them; a command reaches them only through these references.
struct CommandObjects {
  CRunContext& runContext;
  CDebugTrace& trace;
  CModemCtrl& modem;
  CWModemCtrl& wmodem;
  CWLANCtrl& wlan;
  CAction& action;
};

struct CommandState {
  std::wstring keyword;
  std::wstring suffix;  // with its leading ".", or empty
  bool wow64 = false;
  bool redirectionOff = false;
  RedirectionValue oldRedirection = 0;
  int result = 1;
};

struct CommandCall {
  const Platform& platform;
  const CommandObjects& objects;
  CommandState& state;
  const std::wstring& scriptPath;
  const std::wstring& section;
  std::int32_t& stopFlag;

  // Ends the run after this command.
  void Stop() const { stopFlag = 1; }
  // The process-wide debug trace, where the handlers' lines go.
  CDebugTrace& trace() const { return objects.trace; }
};

using CommandHandler = void (*)(const CommandCall&);

struct KeywordRow {
  std::wstring_view keyword;
  CommandHandler handler;
};

// Every keyword of the setup script with its handler.
std::span<const KeywordRow> KeywordTable();
// The handler of a keyword (case ignored), or none.
CommandHandler FindHandler(std::wstring_view keyword);

// Silent mode: the arguments contain "/s", "/S", "-s" or "-S" anywhere.
bool IsSilentMode(const CRunContext& context);

}  // namespace tv
