// The tool's one diagnostic output: trace lines on the debugger output,
// written only when DebugMode is 1 in the tool's registry key.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/format.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "runtime/run_context.h"

namespace tv {

// The tool's switches: HKLM\SOFTWARE\VELTARO\Quillmark.
inline constexpr std::wstring_view kSwitchKey = L"SOFTWARE\\VELTARO\\Quillmark";

class CDebugTrace {
 public:
  explicit CDebugTrace(const Platform& platform);

  // A line "<base name>:<message>\r\n" in four writes; the message is cut to
  // 511 characters. With the debug switch off nothing is formatted.
  template <class... Args>
  void Trace(FormatString<Args...> format, const Args&... args) const {
    if (!Heard()) return;
    const std::wstring message = FormatCut(kRoomTraceMessage, format, args...);
    platform_.debug.Message(message);
    if (debugSwitch_ != 0) Emit(message);
  }

  // Reads one switch value of at most 4 bytes from the open switch key; 1 when it was read.
  static int ReadSwitch(IRegKey& key, std::wstring_view valueName, std::uint32_t& data);

  bool debugOn() const { return debugSwitch_ != 0; }
  // Whether a trace message reaches anyone: the debugger with the switch on,
  // or a listener to every message (a simulated run's summary).
  bool Heard() const { return debugSwitch_ != 0 || platform_.debug.ListensToEveryMessage(); }
  bool testOn() const { return testSwitch_ != 0; }
  const CRunContext& context() const { return context_; }

 private:
  void Emit(std::wstring_view message) const;

  Platform platform_;
  std::int32_t debugSwitch_ = 0;
  std::int32_t testSwitch_ = 0;
  CRunContext context_;
};

}  // namespace tv
