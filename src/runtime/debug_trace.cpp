#include "runtime/debug_trace.h"

namespace tv {

CDebugTrace::CDebugTrace(const Platform& platform) : platform_(platform), context_(platform) {
  // Both switches are read through one opening of the key: every object of
  // the tool makes a trace of its own, a dozen at start-up alone.
  auto key = platform_.registry.OpenKey(RegRoot::kLocalMachine, kSwitchKey, reg::kKeyRead);
  debugSwitch_ = 0;
  std::uint32_t data = 0;
  if (key && ReadSwitch(**key, L"DebugMode", data) != 0 && data == 1) {
    // Announced even though the switch is not on yet, so it ends in "\n" alone.
    platform_.debug.Write(FormatCut(kRoomFormatter, L"%s:Debug mode is enabled.\n", context_.baseName));
    debugSwitch_ = 1;
  }
  testSwitch_ = 0;
  data = 0;
  if (key && ReadSwitch(**key, L"TestMode", data) != 0 && data == 1) {
    Trace(L"Test mode is enabled.\n");
    testSwitch_ = 1;
  }
}

// A switch is on when its data, read as a little-endian number of at most
// four bytes, is exactly 1, whatever its registry type.
int CDebugTrace::ReadSwitch(IRegKey& key, std::wstring_view valueName, std::uint32_t& data) {
  auto value = key.QueryValue(valueName, 4);
  if (!value) return 0;
  data = DwordFromRegistryData(value->data);
  return 1;
}

void CDebugTrace::Emit(std::wstring_view message) const {
  IDebugOutput& out = platform_.debug;
  out.Write(context_.baseName);
  out.Write(L":");
  out.Write(message);
  out.Write(L"\r\n");
}

}  // namespace tv
