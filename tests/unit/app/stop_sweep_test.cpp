// A run ended from outside after any call to Windows (a kill, a deployment
// system's time-out, a power cut), then run again from the start on the
// machine it left, ends where one whole run ends: the same registry in both
// views, files, devices (present, on or off, removed, their driver) and
// staged INFs. Each bundled script runs on each bundled machine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>

#include "devices/disabled_record.h"
#include "example_machine.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"
#include "test_machine.h"

namespace tv {
namespace {

void Build(sim::SimMachine& m, const std::string& machine, const std::string& script) {
  const auto error = test::LayExample(m, machine, script);
  ASSERT_FALSE(error.has_value()) << *error;
}

// The machine's state, one line each, so that two states can be told apart line by line.
std::set<std::string> State(const sim::SimMachine& m) {
  std::set<std::string> lines = test::RegistryAndFileLines(m);
  for (const auto& d : m.devices) {
    lines.insert("device " + ToUtf8(d.instanceId) + (d.present ? " present" : " not present") +
                 (d.removed ? " removed" : "") + (d.disabled ? " off" : " on") + " driver " + ToUtf8(d.installedInf));
  }
  for (const auto& source : m.stagedInfSources) lines.insert("staged " + ToUtf8(source));
  return lines;
}

// Where the script itself makes a run ended and run again differ from one
// whole run: MODEM_HOMOL flips the time stamp's first byte on every run, so
// a stop after it and a second run flip it twice.
// MODEM_HOMOL's stamp flips on every run; a run ended from outside leaves its
// generated INF in the folder it made for it, which only administrators can
// open and no later run reads.
bool ScriptMakesItDiffer(const std::string& line) {
  return line.find("\"HomolTimeStamp\"") != std::string::npos || line.find("\\TEMP\\TARNVALE.") != std::string::npos;
}

std::vector<std::string> Files(const std::string& folder, const std::string& extension) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(test::kExamples + folder)) {
    if (e.path().extension() == extension && e.path().parent_path().filename() != "tools") {
      out.push_back(std::filesystem::relative(e.path(), test::kExamples + folder).generic_string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(StopSweep, ARunEndedAfterAnyCallAndRunAgainEndsAsOneWholeRun) {
  const auto machines = Files("machines", ".json");
  const std::vector<std::string> scripts = {"notebook-setup/netsetup.ini", "wow64-setup/netset64.ini",
                                            "scripts/notebook-check.ini"};
  ASSERT_GE(machines.size(), 10U);
  const auto started = std::chrono::steady_clock::now();
  int runs = 0;
  int stopsWhileADeviceWasOff = 0;
  for (const auto& machine : machines) {
    for (const auto& script : scripts) {
      sim::SimMachine whole;
      Build(whole, machine, script);
      const int wholeExit = sim::RunTool(whole);
      const std::size_t calls = whole.faults.callCount;
      const std::set<std::string> end = State(whole);
      for (std::size_t n = 0; n < calls; ++n) {
        const std::string what = machine + " " + script + " stopped after call " + std::to_string(n);
        sim::SimMachine m;
        Build(m, machine, script);
        m.faults.stopAfter = n;
        ASSERT_EQ(sim::RunTool(m), sim::kToolProcessEnded) << what;
        ++runs;
        // Nothing ran on while the stopped process unwound.
        EXPECT_EQ(m.faults.callsAfterEnd, 0U) << what;
        EXPECT_EQ(m.registry.OpenKeyCount(), 0) << what;
        EXPECT_EQ(m.openDeviceSets, 0) << what;
        for (const auto& d : m.devices) stopsWhileADeviceWasOff += d.disabled && !d.removed ? 1 : 0;
        m.faults.NewProcess();
        EXPECT_EQ(sim::RunTool(m), wholeExit) << what;
        ++runs;
        const std::set<std::string> again = State(m);
        for (const auto& line : again) {
          if (!end.contains(line) && !ScriptMakesItDiffer(line)) ADD_FAILURE() << what << ": has " << line;
        }
        for (const auto& line : end) {
          if (!again.contains(line) && !ScriptMakesItDiffer(line)) ADD_FAILURE() << what << ": lacks " << line;
        }
      }
    }
  }
  const auto seconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() /
      1000.0;
  std::printf("stop sweep: %d runs (a stopped run and a second run each stop), %.1f s; %d stops left a device off\n",
              runs, seconds, stopsWhileADeviceWasOff);
  EXPECT_GT(runs, 1000);
  // The sweep reaches the moments that matter: a device is off when the run ends.
  EXPECT_GT(stopsWhileADeviceWasOff, 0);
}

}  // namespace
}  // namespace tv
