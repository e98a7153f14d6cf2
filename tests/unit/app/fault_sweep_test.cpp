// Every operation that a realistic run performs is failed, one at a time and
// with each error the code branches on, and some for the whole run: the run
// must end as the tool ends, leave no key or device set open, leave no
// generated INF behind without saying so, and only ever do less than the run
// without the fault: no value, file or removed device that run does not
// leave, and no device off that it leaves on.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "example_machine.h"
#include "platform/shell_path.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"
#include "test_machine.h"

namespace tv {
namespace {

struct Scenario {
  const char* machine;  // nullptr: the default notebook
  const char* script;
};

void Build(sim::SimMachine& m, const Scenario& s) {
  // On 64-bit Windows the companion ships beside the tool, and its calls are failed too.
  const auto error = test::LayExample(m, s.machine == nullptr ? "" : s.machine, s.script);
  ASSERT_FALSE(error.has_value()) << *error;
}

// Registry values and files, one line each; devices by instance ID with
// whether they are removed and whether they are off.
std::set<std::string> StateLines(const sim::SimMachine& m) {
  std::set<std::string> lines = test::RegistryAndFileLines(m);
  for (const auto& d : m.devices) {
    if (d.removed) lines.insert("device removed " + ToUtf8(d.instanceId));
  }
  return lines;
}

std::set<std::wstring> DevicesOff(const sim::SimMachine& m) {
  std::set<std::wstring> off;
  for (const auto& d : m.devices) {
    if (d.disabled && !d.removed) off.insert(d.instanceId);
  }
  return off;
}

// The errors that the code branches on, by operation; any other operation is
// failed with ERROR_ACCESS_DENIED.
std::vector<WinError> ErrorsFor(const std::string& operation) {
  static const std::map<std::string, std::vector<WinError>> kErrors = {
      {"RegOpenKeyEx", {err::kAccessDenied, err::kFileNotFound}},
      {"RegQueryValueEx", {err::kAccessDenied, err::kFileNotFound, err::kMoreData}},
      {"RegEnumKeyEx", {err::kAccessDenied, err::kNoMoreItems, err::kMoreData}},
      {"SetupDiEnumDeviceInfo", {err::kAccessDenied, err::kNoMoreItems}},
      {"SetupDiGetDeviceRegistryProperty", {err::kAccessDenied, err::kInvalidData, err::kNoSuchDevinst}},
      {"CM_Get_DevNode_Status", {err::kCrNoSuchDevnode, err::kCrInvalidDevnode}},
      {"DIF_PROPERTYCHANGE", {err::kAccessDenied, err::kNotDisableable}},
      {"CreateMutex", {err::kAccessDenied, err::kAlreadyExists}},
      {"FindFirstFile", {err::kAccessDenied, err::kPathNotFound}},
      {"CopyFile", {err::kAccessDenied, err::kSharingViolation}},
      {"DeleteFile", {err::kAccessDenied, err::kSharingViolation}},
      {"CreateDirectory", {err::kAccessDenied, err::kAlreadyExists}},
      {"UpdateDriverForPlugAndPlayDevices", {err::kAccessDenied, err::kNoSuchDevinst}},
      {"CMP_WaitNoPendingInstallEvents", {err::kWaitTimeout}},
  };
  auto it = kErrors.find(operation);
  return it == kErrors.end() ? std::vector<WinError>{err::kAccessDenied} : it->second;
}

struct Fault {
  std::string what;
  std::function<void(sim::SimMachine&)> plan;
  bool mayHang = false;  // a program that never ends, which the tool waits for
};

TEST(FaultSweep, EveryOperationOfARealRunFailedOnce) {
  const Scenario scenarios[] = {
      {"pv715-xp-all-devices.json", "notebook-setup/netsetup.ini"},
      {"pv715-xp-no-wireless.json", "notebook-setup/netsetup.ini"},
      {nullptr, "scripts/notebook-check.ini"},
      {"pv715-vista64-all-devices.json", "wow64-setup/netset64.ini"},
  };
  const auto started = std::chrono::steady_clock::now();
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
    const std::set<std::wstring> offWithoutFault = DevicesOff(probe);

    std::vector<Fault> faults;
    // The n-th call of each operation and subject, with each error.
    std::map<std::pair<std::string, std::wstring>, int> seen;
    for (const auto& call : probe.faults.calls) {
      const int nth = ++seen[{call.operation, call.subject}];
      for (WinError e : ErrorsFor(call.operation)) {
        faults.push_back(
            {call.operation + " " + ToUtf8(call.subject) + " #" + std::to_string(nth) + " error " + std::to_string(e),
             [call, nth, e](sim::SimMachine& m) { m.faults.FailNth(call.operation, e, call.subject, nth); }});
      }
    }
    // A file in use for the whole run: every copy over it and every deletion of it.
    for (const auto& [call, _] : seen) {
      if (call.first != "CopyFile" && call.first != "DeleteFile") continue;
      const auto subject = call.second;
      faults.push_back({"in use for the whole run: " + ToUtf8(subject), [subject](sim::SimMachine& m) {
                          m.faults.Fail("CopyFile", err::kSharingViolation, subject, -1);
                          m.faults.Fail("DeleteFile", err::kSharingViolation, subject, -1);
                        }});
    }
    // Each program the run starts never ends.
    for (const auto& program : probe.started) {
      const std::wstring image = shell::StripPath(program.image);
      faults.push_back(
          {"never ends: " + ToUtf8(image), [image](sim::SimMachine& m) { m.keepRunning.insert(image); }, true});
    }

    for (const auto& fault : faults) {
      sim::SimMachine m;
      Build(m, scenario);
      fault.plan(m);
      const int exit = sim::RunTool(m);
      ++runs;
      const std::string& what = fault.what;
      // Only a missing window or Kernel32 gives 0.
      const bool mayStop = what.starts_with("CreateWindowEx") || what.starts_with("LoadLibrary");
      EXPECT_TRUE(exit == 1 || (exit == 0 && mayStop)) << what;
      EXPECT_EQ(m.registry.OpenKeyCount(), 0) << what;
      if (!fault.mayHang) {
        EXPECT_EQ(m.hungWaits, 0) << what;
      }
      EXPECT_EQ(m.openDeviceSets, 0) << what;
      // A failed read of the setup script is another script, and an unreadable
      // time stamp is written as four zero bytes by design. So is a model
      // version that could not be read: no region code, the plain sections.
      const bool scriptRead = what.starts_with("GetPrivateProfile");
      const bool machineFact = what.starts_with("Get ") || what.starts_with("EnumNext") ||
                               what.starts_with("CreateInstanceEnum") || what.starts_with("CoCreateInstance") ||
                               what.starts_with("ConnectServer") || what.starts_with("CoSetProxyBlanket") ||
                               what.starts_with("IsWow64Process") || what.starts_with("GetVersionEx");
      for (const auto& line : StateLines(m)) {
        if (scriptRead || machineFact || line.back() == ']' || allowed.contains(line)) continue;
        if (line.find("\"HomolTimeStamp\"") != std::string::npos) continue;
        if (line.find("\\TEMP\\TARNVALE.") != std::string::npos) continue;  // checked below
        ADD_FAILURE() << what << " left " << line;
      }
      // No device is left off that the run without the fault leaves on.
      if (!scriptRead && !machineFact) {
        for (const auto& off : DevicesOff(m)) {
          if (!offWithoutFault.contains(off)) ADD_FAILURE() << what << " left device " << ToUtf8(off) << " disabled";
        }
      }
      // A generated INF or its folder left in TEMP is traced.
      bool left = false;
      for (const auto& line : StateLines(m)) left = left || line.find("\\TEMP\\TARNVALE.") != std::string::npos;
      const bool said = m.DebugText().find(L"_wunlink() error") != std::wstring::npos ||
                        m.DebugText().find(L"is left, error") != std::wstring::npos;
      if (left && !said) ADD_FAILURE() << "a generated INF or its folder was left silently after " << what;
    }
  }
  const auto seconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count() /
      1000.0;
  std::printf("fault sweep: %d runs, one injected fault each, %.1f s\n", runs, seconds);
  EXPECT_GT(runs, 1000);
}

}  // namespace
}  // namespace tv
