// Benchmarks of the tool's own work on the simulated machine: start-up,
// reading a large setup script, and the hardware-ID scans; and the simulated
// Windows' reading of a large driver INF.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/process_objects.h"
#include "app/tool.h"
#include "platform/product_cache.h"
#include "platform/sim/driver_select.h"
#include "platform/sim/inf_file.h"
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

// An INF of 20,000 lines as display and network drivers ship them: models
// sections for 32-bit and 64-bit Windows with thousands of device lines,
// install sections with copy lists, [Strings]. Read from disk, opened as
// SetupAPI opens it and searched for ten devices' drivers; the counter
// `ratio` is that time over reading the same file's bytes alone.
void BM_DriverInfTenDevices(benchmark::State& state) {
  std::string inf =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Display\r\nProvider=%Maker%\r\n"
      "CatalogFile=big.cat\r\nDriverVer=05/01/2010,8.15.10.2000\r\n"
      "[Manufacturer]\r\n%Maker%=Dev,NTx86,NTamd64,NTx86.6.0,NTamd64.6.0\r\n";
  int lines = 7;
  const char* sections[] = {"Dev.NTx86", "Dev.NTamd64", "Dev.NTx86.6.0", "Dev.NTamd64.6.0"};
  for (const char* section : sections) {
    inf += std::string("[") + section + "]\r\n";
    for (int i = 0; i < 3500; ++i, ++lines) {
      char line[160];
      std::snprintf(line, sizeof line,
                    "%%Dev%04X%% = Inst_%d, PCI\\VEN_8086&DEV_%04X&SUBSYS_%08X, PCI\\VEN_8086&DEV_%04X\r\n", i % 400,
                    i % 50, i, i * 7, i);
      inf += line;
    }
  }
  for (int i = 0; i < 50; ++i) {
    inf += "[Inst_" + std::to_string(i) + "]\r\nCopyFiles=Files_" + std::to_string(i) + "\r\nAddReg=Reg\r\n[Files_" +
           std::to_string(i) + "]\r\n";
    for (int f = 0; f < 20; ++f) inf += "drv" + std::to_string(i) + "_" + std::to_string(f) + ".dll\r\n";
    lines += 24;
  }
  inf += "[Strings]\r\nMaker=\"Maker\"\r\n";
  for (int i = 0; lines < 20000; ++i, ++lines) {
    char line[64];
    std::snprintf(line, sizeof line, "Dev%04X = \"Display adapter %d\"\r\n", i, i);
    inf += line;
  }
  const auto path = std::filesystem::temp_directory_path() / "tarnvale-bench-big.inf";
  std::ofstream(path, std::ios::binary) << inf;
  const auto readBytes = [&path] {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  };
  std::vector<std::vector<std::wstring>> devices;
  for (int d = 0; d < 10; ++d) {
    wchar_t id[64];
    std::swprintf(id, 64, L"PCI\\VEN_8086&DEV_%04X&SUBSYS_%08X", 300 * d, 300 * d * 7);
    devices.push_back({id, std::wstring(id).substr(0, 21)});
  }
  using Clock = std::chrono::steady_clock;
  Clock::duration reading{}, selecting{};
  for (auto _ : state) {
    auto t0 = Clock::now();
    benchmark::DoNotOptimize(readBytes());
    auto t1 = Clock::now();
    const std::string bytes = readBytes();
    const auto opened = tv::sim::OpenInf({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 1252);
    int found = 0;
    for (const auto& ids : devices) {
      const auto search = tv::sim::FindDriver(*opened.inf, {}, {6, 1, true}, ids, {}, true);
      found += search.best ? 1 : 0;
    }
    auto t2 = Clock::now();
    if (found != 10) state.SkipWithError("a device found no driver");
    reading += t1 - t0;
    selecting += t2 - t1;
  }
  std::filesystem::remove(path);
  state.counters["lines"] = lines;
  state.counters["ms"] =
      std::chrono::duration<double, std::milli>(selecting).count() / static_cast<double>(state.iterations());
  state.counters["ratio"] =
      std::chrono::duration<double>(selecting).count() / std::chrono::duration<double>(reading).count();
}
BENCHMARK(BM_DriverInfTenDevices)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
