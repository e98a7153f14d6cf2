// Benchmarks of the tool's own work on the simulated machine: start-up,
// reading a large setup script, and the hardware-ID scans.
#include <benchmark/benchmark.h>

#include <string>

#include "app/process_objects.h"
#include "app/tool.h"
#include "platform/product_cache.h"
#include "sim/sim_run.h"

namespace {

using tv::sim::SimMachine;

void SetUpNotebook(SimMachine& m, bool debug) {
  m.product[L"Vendor"] = L"VELTARO";
  m.product[L"Version"] = L"PV715J01";
  m.environment[L"SystemRoot"] = L"C:\\WINDOWS";
  m.environment[L"TEMP"] = L"C:\\WINDOWS\\TEMP";
  m.files.CreateDirectories(L"C:\\WINDOWS\\TEMP");
  if (debug) m.registry.SetDword(tv::RegRoot::kLocalMachine, L"SOFTWARE\\VELTARO\\Quillmark", L"DebugMode", 1);
}

// Start-up to the end of a run whose setup script has no command.
void BM_StartupEmptyScript(benchmark::State& state) {
  for (auto _ : state) {
    SimMachine m;
    SetUpNotebook(m, false);
    tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", "[INIT]\r\n");
    benchmark::DoNotOptimize(tv::sim::RunTool(m));
  }
}
BENCHMARK(BM_StartupEmptyScript);

// 64 commands, each with a section of 200 keys: one parse, then look-ups.
void BM_SixtyFourCommandsManyKeys(benchmark::State& state) {
  std::string script = "[INIT]\r\n";
  for (int n = 1; n <= 64; ++n) {
    script += "CMD" + std::to_string(n) + "=CHECK_HWID\r\nCMD" + std::to_string(n) + "_SECTION=S" + std::to_string(n) +
              "\r\n";
  }
  for (int n = 1; n <= 64; ++n) {
    script += "[S" + std::to_string(n) + "]\r\nHWID=1\r\nHWID1=PCI\\VEN_11C1\r\n";
    for (int k = 0; k < 200; ++k) script += "KEY" + std::to_string(k) + "=value " + std::to_string(k) + "\r\n";
  }
  for (auto _ : state) {
    SimMachine m;
    SetUpNotebook(m, false);
    m.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
    tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", script);
    benchmark::DoNotOptimize(tv::sim::RunTool(m));
    state.counters["parses"] = m.profileParses;
  }
}
BENCHMARK(BM_SixtyFourCommandsManyKeys)->Unit(benchmark::kMillisecond);

// 1,000 devices of 4 hardware IDs each against a 256-entry list that matches
// none of them: the whole scan, with tracing off (0) and on (1).
void BM_HardwareIdScan(benchmark::State& state) {
  const bool tracing = state.range(0) != 0;
  SimMachine m;
  SetUpNotebook(m, tracing);
  m.keepDebugEvents = false;
  for (int d = 0; d < 1000; ++d) {
    const std::wstring base = L"PCI\\VEN_1234&DEV_" + std::to_wstring(d);
    m.AddDevice(
        L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"PCI",
        {base + L"&SUBSYS_00000000&REV_01", base + L"&SUBSYS_00000000", base + L"&CC_028000", base + L"&CC_0280"});
  }
  const tv::CProcessPlatform process(m.platform());
  tv::CDevLookup lookup(process.get());
  for (std::uint32_t n = 0; n < tv::kIdListCapacity; ++n) lookup.idList[n] = L"PCI\\VEN_8086&DEV_" + std::to_wstring(n);
  lookup.idCount = tv::kIdListCapacity;
  for (auto _ : state) {
    benchmark::DoNotOptimize(lookup.IsExistByList(L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"PCI"));
  }
  state.counters["comparisons"] = 1000.0 * 4 * tv::kIdListCapacity;
}
BENCHMARK(BM_HardwareIdScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A registry file of N values in one key, imported by REG_FILE through the
// simulated registry editor: each value is set in a key that holds the ones before it.
void BM_RegFileManyValuesInOneKey(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  std::string reg = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench]\r\n";
  for (int i = 0; i < n; ++i) reg += "\"Value" + std::to_string(i) + "\"=\"data " + std::to_string(i) + "\"\r\n";
  for (auto _ : state) {
    SimMachine m;
    SetUpNotebook(m, false);
    m.InstallSystemPrograms();
    tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", "[INIT]\r\nCMD1=REG_FILE\r\n");
    m.files.WriteFile(L"C:\\Tarnvale\\tarnvale.reg", reg);
    benchmark::DoNotOptimize(tv::sim::RunTool(m));
    if (!m.registry.GetValue(tv::RegRoot::kLocalMachine, L"SOFTWARE\\Bench", L"Value" + std::to_wstring(n - 1))) {
      state.SkipWithError("the last value was not written");
    }
  }
}
BENCHMARK(BM_RegFileManyValuesInOneKey)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

// REG_INI with N entries in one section, all into one key: the script's
// look-ups, the generated INF and the INF installer's work.
void BM_RegIniManyEntries(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  std::string script = "[INIT]\r\nCMD1=REG_INI\r\nCMD1_SECTION=Reg\r\n[Reg]\r\nADDREG=" + std::to_string(n) + "\r\n";
  for (int i = 1; i <= n; ++i) {
    const std::string k = "ADDREG" + std::to_string(i);
    script += k + "_ROOT=HKLM\r\n" + k + "_SUBKEY=SOFTWARE\\Bench\r\n" + k + "_ENTRYNAME=Value" + std::to_string(i) +
              "\r\n" + k + "_VALUE=data\r\n";
  }
  for (auto _ : state) {
    SimMachine m;
    SetUpNotebook(m, false);
    m.InstallSystemPrograms();
    tv::sim::PlaceTool(m, L"C:\\Tarnvale\\tarnvale.exe", script);
    benchmark::DoNotOptimize(tv::sim::RunTool(m));
    if (!m.registry.GetValue(tv::RegRoot::kLocalMachine, L"SOFTWARE\\Bench", L"Value" + std::to_wstring(n))) {
      state.SkipWithError("the last entry was not written");
    }
    state.counters["parses"] = m.profileParses;
  }
}
BENCHMARK(BM_RegIniManyEntries)->Arg(5000)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
