// Helpers for tests that run the tool on a simulated notebook.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "sim/sim_run.h"

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

// A driver package's INF in the form real ones take, for one hardware ID:
// a models section for each Windows the tests use (undecorated for 2000 and
// the 32-bit fallback, NTx86, NTamd64), DriverVer, a catalog, no files.
inline std::string DriverInf(std::string_view hardwareId, std::string_view driverVer = "06/01/2009,1.2.3.4") {
  const std::string id(hardwareId);
  return "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Modem\r\n"
         "ClassGuid={4D36E96D-E325-11CE-BFC1-08002BE10318}\r\nProvider=%Mfg%\r\nCatalogFile=pkg.cat\r\n"
         "DriverVer=" +
         std::string(driverVer) +
         "\r\n[Manufacturer]\r\n%Mfg%=Models,NTx86,NTamd64\r\n"
         "[Models]\r\n%Dev%=Install," +
         id + "\r\n[Models.NTx86]\r\n%Dev%=Install," + id + "\r\n[Models.NTamd64]\r\n%Dev%=Install," + id +
         "\r\n[Install]\r\n[Strings]\r\nMfg=\"VELTARO\"\r\nDev=\"Test device\"\r\n";
}

// That INF written at `path`, with its catalog beside it.
inline void WriteDriverPackage(sim::SimMachine& m, const std::wstring& path, std::string_view hardwareId) {
  m.files.WriteFile(path, DriverInf(hardwareId));
  m.files.WriteFile(path.substr(0, path.rfind(L'\\') + 1) + L"pkg.cat", std::string_view("catalog"));
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
