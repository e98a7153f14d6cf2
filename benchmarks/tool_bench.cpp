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

}  // namespace

BENCHMARK_MAIN();
