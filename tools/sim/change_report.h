// What a run did to the simulated machine: a snapshot before the run, the
// machine after it, and the difference as a report for the script's author
// (text) or a build pipeline (JSON).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/sim_machine.h"

namespace tv::sim {

struct MachineSnapshot {
  struct Key {
    RegRoot root;
    std::wstring path;                                                             // native, as created
    std::map<std::wstring, std::pair<std::wstring, RegValue>, LessNoCase> values;  // by name
  };
  struct File {
    std::wstring path;
    bool directory = false;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;  // a rewrite is told by the stamp, so the content is not kept
    std::uint64_t stamp = 0;
  };
  std::map<std::wstring, Key, LessNoCase> keys;    // by root and path
  std::map<std::wstring, File, LessNoCase> files;  // by path
  std::vector<SimMachine::SimDevice> devices;
  std::vector<SimMachine::SimProcess> processes;
  std::size_t started = 0;
  std::size_t pauses = 0;
  std::size_t driverUpdates = 0;
  std::size_t stagedInfs = 0;
  std::size_t driverDecisions = 0;
};

MachineSnapshot TakeSnapshot(const SimMachine& machine);

// What a run changed: the difference between a snapshot taken before it and
// the machine as it is now. Registry changes are not kept: a generated script
// writes hundreds of thousands of values, so they are found again, in the
// report's order, each time the report is written.
struct ChangeReport {
  // One change, valid only during the call that hands it out.
  struct RegistryChange {
    enum class Kind { kKeyAdded, kKeyDeleted, kValueAdded, kValueChanged, kValueDeleted };
    Kind kind;
    RegRoot root;
    std::wstring_view path;
    std::wstring_view view;  // "32-bit", "64-bit", "shared" on 64-bit Windows; empty on 32-bit Windows
    std::wstring_view name;  // value name; empty for the default value and for keys
    const RegValue* before = nullptr;
    const RegValue* after = nullptr;
  };
  struct FileChange {
    enum class Kind { kCreated, kOverwritten, kDeleted, kFolderCreated, kFolderDeleted };
    Kind kind;
    std::wstring path;
    std::uint64_t size = 0;  // a package file may pass 4 GB on a 32-bit build too
  };
  struct DeviceChange {
    enum class Kind { kDisabled, kEnabled, kRestarted, kRemoved, kDriverUpdated, kStaged, kInstalled };
    Kind kind;
    std::wstring device;           // instance ID; the hardware ID of a driver update; the INF that was staged
    std::wstring detail;           // the INF of an update or install; the oemNN.inf name the driver store gave
    std::wstring hardwareId = {};  // the device's first hardware ID, when it is a device of the machine
    bool byCompanion = false;      // the tool's 64-bit companion made the change
  };
  struct EndedProgram {
    std::wstring image;
    std::uint32_t processId = 0;
  };
  int exitCode = 0;
  bool wow64 = false;
  const MachineSnapshot* before = nullptr;  // with `machine`, the source of the registry changes
  const SimMachine* machine = nullptr;
  std::vector<FileChange> files;
  std::vector<DeviceChange> devices;
  std::vector<SimMachine::StartedProgram> started;
  std::vector<EndedProgram> ended;
  std::vector<std::uint32_t> pauses;
  // What the simulated Windows chose for each device a driver update or a
  // rescan looked at, or why it chose nothing.
  std::vector<SimMachine::DriverDecision> driverChoices;
};

// The report of the machine as it is now against `before`; both must outlive it.
ChangeReport CompareWithMachine(const MachineSnapshot& before, const SimMachine& machine, int exitCode);

// Every registry change, in one of the report's two orders: by kind (added,
// changed, deleted; each by view, then by key path and value name), as the
// text groups them, or by key path (then deleted trees), as the JSON lists them.
enum class ChangeOrder { kByKind, kByKey };
void ForEachRegistryChange(const ChangeReport& report, ChangeOrder order,
                           const std::function<void(const ChangeReport::RegistryChange&)>& visit);

// One registry value in the registry editor's syntax: "Name"=dword:00000001.
std::wstring RegLine(std::wstring_view name, const RegValue& value);

// One change of the machine's state (registry, files, devices; not the
// programs started or the pauses): what it is of, and a line that says it.
struct StateChange {
  std::string subject;  // the same for every change of one value, key, file, device or driver
  std::string text;
};
std::vector<StateChange> StateChanges(const ChangeReport& report);

// The report written piece by piece as it is found.
using ReportSink = std::function<void(std::string_view)>;
void WriteReportText(const ChangeReport& report, const ReportSink& out);
// With `run` (the run's summary) as one more member when it is given.
void WriteReportJson(const ChangeReport& report, const nlohmann::json* run, const ReportSink& out);

// The whole report in memory, for small machines and tests.
std::string ReportText(const ChangeReport& report);
nlohmann::json ReportJson(const ChangeReport& report);

}  // namespace tv::sim
