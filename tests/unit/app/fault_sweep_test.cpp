// Every operation that a realistic run performs is failed, one at a time: the
// run must end as the tool ends, leave no key open, and leave no generated INF
// behind without saying so.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "sim/machine_file.h"
#include "test_machine.h"

namespace tv {
namespace {

const std::string kSource = TARNVALE_SOURCE_DIR;

struct Scenario {
  const char* machine;  // nullptr: the default notebook
  const char* script;
};

void Build(sim::SimMachine& m, const Scenario& s) {
  if (s.machine == nullptr) {
    sim::ConfigureDefaultNotebook(m);
  } else {
    std::ifstream in(kSource + "/examples/machines/" + s.machine, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    ASSERT_FALSE(sim::ApplyMachineDescription(text.str(), m).has_value());
  }
  ASSERT_FALSE(sim::PlaceHostPackage(m, kSource + "/examples/" + s.script).has_value());
}

std::set<std::string> StateLines(const sim::SimMachine& m) {
  std::set<std::string> lines;
  std::istringstream all(m.registry.ToString() + m.files.ToString());
  std::string line;
  std::string key;
  while (std::getline(all, line)) {
    if (!line.empty() && line[0] == '[') key = line;
    lines.insert(line[0] == '[' ? line : key + line);
  }
  return lines;
}

TEST(FaultSweep, EveryOperationOfARealRunFailedOnce) {
  const Scenario scenarios[] = {
      {"pv715-xp-all-devices.json", "notebook-setup/netsetup.ini"},
      {"pv715-xp-no-wireless.json", "notebook-setup/netsetup.ini"},
      {nullptr, "scripts/notebook-check.ini"},
  };
  int runs = 0;
  for (const auto& scenario : scenarios) {
    sim::SimMachine probe;
    Build(probe, scenario);
    // What a run may leave: what the machine held before it, or at any moment
    // of the run without a fault (a copy that a later command removes).
    std::set<std::string> allowed = StateLines(probe);
    probe.onDebugWrite = [&](std::wstring_view) {
      for (const auto& line : StateLines(probe)) allowed.insert(line);
    };
    probe.faults.recording = true;
    ASSERT_EQ(sim::RunTool(probe), 1);
    for (const auto& line : StateLines(probe)) allowed.insert(line);
    // Fail the n-th call of each operation and subject in turn.
    std::map<std::pair<std::string, std::wstring>, int> seen;
    for (const auto& call : probe.faults.calls) {
      const int nth = ++seen[{call.operation, call.subject}];
      sim::SimMachine m;
      Build(m, scenario);
      m.faults.FailNth(call.operation, err::kAccessDenied, call.subject, nth);
      const int exit = sim::RunTool(m);
      ++runs;
      const std::string what = call.operation + " " + ToUtf8(call.subject) + " #" + std::to_string(nth);
      // Only a missing window or Kernel32 gives 0.
      const bool mayStop = call.operation == "CreateWindowEx" || call.operation == "LoadLibrary";
      EXPECT_TRUE(exit == 1 || (exit == 0 && mayStop)) << what;
      EXPECT_EQ(m.registry.OpenKeyCount(), 0) << what;
      EXPECT_EQ(m.hungWaits, 0) << what;
      EXPECT_EQ(m.openDeviceSets, 0) << what;
      // A failure makes a run do less, never something else: every value and
      // file it leaves was there before or is left by the run without a fault.
      // A failed read of the setup script is another script, and an unreadable
      // time stamp is written as four zero bytes by design.
      const bool scriptRead = call.operation.starts_with("GetPrivateProfile");
      // So is a model version that could not be read: no region code, the plain sections.
      const bool machineFact = call.operation == "Get" || call.operation == "EnumNext" ||
                               call.operation == "CreateInstanceEnum" || call.operation == "CoCreateInstance" ||
                               call.operation == "ConnectServer" || call.operation == "CoSetProxyBlanket";
      for (const auto& line : StateLines(m)) {
        if (scriptRead || machineFact || line.back() == ']' || allowed.contains(line)) continue;
        if (line.find("\"HomolTimeStamp\"") != std::string::npos) continue;
        if (line.find("STATICADDDEL.INF") != std::string::npos || line.find("DRIVERADDDEL.INF") != std::string::npos) {
          continue;  // checked below
        }
        ADD_FAILURE() << what << " left " << line;
      }
      const bool infLeft = m.files.Exists(L"C:\\WINDOWS\\TEMP\\StaticAddDel.inf") ||
                           m.files.Exists(L"C:\\WINDOWS\\TEMP\\DriverAddDel.inf");
      const bool said = m.DebugText().find(L"_wunlink() error") != std::wstring::npos;
      if (infLeft && !said) ADD_FAILURE() << "a generated INF was left silently after " << what;
    }
  }
  std::printf("fault sweep: %d runs, one injected failure each\n", runs);
  EXPECT_GT(runs, 100);
}

}  // namespace
}  // namespace tv
