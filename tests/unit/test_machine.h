// Helpers for tests that run the tool on a simulated notebook.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "sim/sim_run.h"
#include "platform/text.h"

namespace tv::test {

inline constexpr std::wstring_view kExePath = L"C:\\Tools\\Net Setup\\drv.EXE";
inline constexpr std::wstring_view kScriptPath = L"C:\\Tools\\Net Setup\\drv.ini";

// A 32-bit Windows XP notebook of the maker with tracing on, the tool laid
// at kExePath with `script` beside it.
inline void SetUpNotebook(sim::SimMachine& m, std::string_view script = "", bool debug = true) {
  m.os = OsVersionRecord{2, 5, 1, 2600};
  m.uiLanguage = 0x0411;
  m.product[L"Vendor"] = L"VELTARO";
  m.product[L"Version"] = L"ABCDEFGH";
  if (debug) m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\VELTARO\\Quillmark", L"DebugMode", 1);
  m.environment[L"SystemRoot"] = L"C:\\WINDOWS";
  m.environment[L"TEMP"] = L"C:\\WINDOWS\\TEMP";
  m.files.CreateDirectories(L"C:\\WINDOWS\\TEMP");
  m.InstallSystemPrograms();
  sim::PlaceTool(m, kExePath, script);
}

// The same notebook on 64-bit Windows: the 32-bit tool runs under WOW64 and
// reads its switches from the 32-bit view.
inline void SetUpWow64Notebook(sim::SimMachine& m, std::string_view script = "") {
  m.wow64 = true;
  m.os = OsVersionRecord{2, 6, 0, 6002};
  m.kernel32HasDisableRedirection = true;
  m.kernel32HasRevertRedirection = true;
  SetUpNotebook(m, script, false);
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\VELTARO\\Quillmark", L"DebugMode", 1);
}

// The debugger output cut into lines; a line keeps what precedes its "\n"
// without the "\r" of a trace line's end.
inline std::vector<std::wstring> Lines(const sim::SimMachine& m) {
  std::vector<std::wstring> out;
  const std::wstring text = m.DebugText();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    out.push_back(line);
    start = end + 1;
  }
  return out;
}

// Lines other than the debug announcements that every debug trace writes when it is made.
inline std::vector<std::wstring> TraceLines(const sim::SimMachine& m) {
  std::vector<std::wstring> out;
  for (auto& line : Lines(m)) {
    if (line.find(L":Debug mode is enabled.") == std::wstring::npos) out.push_back(line);
  }
  return out;
}

inline bool HasLine(const sim::SimMachine& m, std::wstring_view line) {
  for (const auto& l : Lines(m)) {
    if (l == line) return true;
  }
  return false;
}

}  // namespace tv::test
