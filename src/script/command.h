// What a command handler is given: the split command, the platform facts the
// dispatcher worked out, the setup script, the command section and the stop flag.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/process_objects.h"
#include "platform/platform.h"

namespace tv {

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
  CProcessObjects& objects;
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
