// What a run did to the simulated machine: a snapshot before the run, one
// after, and the difference as a report for the script's author (text) or a
// build pipeline (JSON).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
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
};

MachineSnapshot TakeSnapshot(const SimMachine& machine);

struct ChangeReport {
  struct RegistryChange {
    enum class Kind { kKeyAdded, kKeyDeleted, kValueAdded, kValueChanged, kValueDeleted };
    Kind kind;
    RegRoot root;
    std::wstring path;
    std::wstring view;  // "32-bit", "64-bit", "shared" on 64-bit Windows; empty on 32-bit Windows
    std::wstring name;  // value name; empty for the default value and for keys
    std::optional<RegValue> before;
    std::optional<RegValue> after;
  };
  struct FileChange {
    enum class Kind { kCreated, kOverwritten, kDeleted, kFolderCreated, kFolderDeleted };
    Kind kind;
    std::wstring path;
    std::size_t size = 0;
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
  std::vector<RegistryChange> registry;
  std::vector<FileChange> files;
  std::vector<DeviceChange> devices;
  std::vector<SimMachine::StartedProgram> started;
  std::vector<EndedProgram> ended;
  std::vector<std::uint32_t> pauses;
};

ChangeReport CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after, const SimMachine& machine,
                              int exitCode);

// One registry value in the registry editor's syntax: "Name"=dword:00000001.
std::wstring RegLine(std::wstring_view name, const RegValue& value);

std::string ReportText(const ChangeReport& report);
nlohmann::json ReportJson(const ChangeReport& report);

}  // namespace tv::sim
