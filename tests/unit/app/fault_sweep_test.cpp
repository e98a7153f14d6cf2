// Every operation that a realistic run performs is failed, one at a time: the
// run must end as the tool ends, leave no key open, and leave no generated INF
// behind without saying so.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
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
    probe.faults.recording = true;
    ASSERT_EQ(sim::RunTool(probe), 1);
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
