// A whole simulated Windows for the tool: registry, files, WMI product
// values, system facts and a debugger that records what it is sent. Tests
// and the simulator set it up, run the tool on it, and look at it afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/faults.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/text.h"

namespace tv::sim {

// Thrown out of a wait on a program of `keepRunning` when the machine ends
// the run there (`endRunAtHang`).
struct ProgramNeverEnds {
  std::wstring image;
  // Not a program: a dialog of Windows that waits for someone to answer it.
  std::wstring dialog;
};

// One OutputDebugStringW call, with the thread's redirection state at the time.
struct DebugEvent {
  std::wstring text;
  bool redirectionOff = false;
};

class SimMachine {
 public:
  SimMachine();
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // The seam over this machine, for one run of the tool.
  Platform platform();

  // ---- what the machine is ----
  FaultPlan faults;
  bool wow64 = false;  // 64-bit Windows: the 32-bit tool runs under WOW64
  OsVersionRecord os{2, 5, 1, 2600};
  std::uint16_t uiLanguage = 0x0409;
  unsigned ansiCodePage = 1252;
  std::wstring modulePath = L"C:\\Tarnvale\\tarnvale.exe";
  // Where Windows lives (GetWindowsDirectoryW); System32 and SysWOW64 are in it.
  std::wstring windowsFolder = L"C:\\WINDOWS";
  // The tool runs elevated (as an administrator).
  bool elevated = true;
  // The tool runs as LocalSystem (a deployment service), elevated as well.
  bool localSystem = false;
  std::wstring commandLine;  // empty: the module path in quotation marks
  bool kernel32HasDisableRedirection = true;
  bool kernel32HasRevertRedirection = true;
  std::map<std::wstring, std::wstring, LessNoCase> environment;
  // Win32_ComputerSystemProduct: a property without value reads as null.
  std::map<std::wstring, std::optional<std::wstring>, LessNoCase> product;
  bool productInstance = true;  // false: the enumeration yields no object
  SimFileSystem files;
  SimRegistry registry;

  // The tool's current directory; empty: the folder of the module.
  std::wstring currentDirectory;
  // Files other processes hold open without sharing them for writing or
  // deleting: they cannot be overwritten or deleted. The running tool's own
  // executable is in use too.
  std::vector<std::wstring> filesInUse;
  // A path the tool passes to a file function, as Windows reaches it: the
  // full path against the current directory, then WOW64 redirection.
  std::wstring ToolPath(std::wstring_view path) const;
  bool InUse(std::wstring_view path) const;
  // Files and folders that users who are no administrators may change (a
  // folder made at the root of C:, a FAT volume).
  std::set<std::wstring, LessNoCase> changeableByUsers;
  // Private folders made so far (each command's own, for its generated INF).
  std::uint32_t privateFolders = 0;

  // ---- programs ----
  // rundll32 and regedit where Windows keeps them (and the 32-bit rundll32
  // in SysWOW64 on 64-bit Windows): without them nothing can be installed.
  void InstallSystemPrograms();
  struct StartedProgram {
    std::wstring commandLine;
    std::wstring image;  // the file that was started, after the search and redirection
    std::wstring currentDirectory;
    std::uint32_t creationFlags = 0;
    bool waitedFor = false;
    std::uint32_t exitCode = 0;
  };
  // Programs that do something when started, by the path of their file:
  // given the command line, they run on this machine and give the exit code.
  std::map<std::wstring, std::function<std::uint32_t(std::wstring_view commandLine)>, LessNoCase> programs;
  // The platform serves a 64-bit process (the tool's 64-bit companion), to
  // which 64-bit Windows refuses nothing and applies no redirection.
  bool process64 = false;
  // The 32-bit tool's view: a 32-bit process on 64-bit Windows.
  bool Wow64Process() const { return wow64 && !process64; }
  std::vector<StartedProgram> started;
  // Program file names that keep running when started; all others end at once.
  std::set<std::wstring, LessNoCase> keepRunning;
  int hungWaits = 0;  // waits without end for a program that never ends
  // The real tool would wait for good there: with this set the wait throws
  // ProgramNeverEnds, which ends the simulated run at that command.
  bool endRunAtHang = false;
  struct SimProcess {
    std::uint32_t id = 0;
    std::wstring image;        // the base name of its first module
    bool queryDenied = false;  // cannot be opened for query and read access
    bool running = true;
    // A 64-bit process of 64-bit Windows: a 32-bit process cannot read its
    // modules through PSAPI (EnumProcessModules fails with ERROR_PARTIAL_COPY).
    bool is64 = false;
  };
  std::vector<SimProcess> processes;
  std::uint32_t AddRunningProcess(std::wstring_view image, bool queryDenied = false);
  bool psapiHasFunctions = true;
  // Called with a process's ID once its name was read through PSAPI (a test
  // ends it there and gives its ID to another program).
  std::function<void(std::uint32_t id)> afterProcessNameRead;
  bool toolhelpHasFunctions = true;
  // What the INF installer and the registry editor were given, as they read it.
  std::vector<std::vector<std::uint8_t>> infsInstalled;
  std::vector<std::wstring> regFilesImported;

  // ---- devices ----
  struct SimDevice {
    std::wstring instanceId;
    std::wstring classGuid;                                // "{4D36E96D-E325-11CE-BFC1-08002BE10318}"
    std::wstring enumerator;                               // "PCI", "ROOT", ...
    std::optional<std::vector<std::wstring>> hardwareIds;  // none: the device has no such property
    std::wstring driverKey;                                // "{class}\\0001"
    bool present = true;
    bool disableable = true;
    bool disabled = false;
    bool needsRebootAfterChange = false;  // DI_NEEDREBOOT once its state changed
    bool removed = false;
    bool changed = false;
    bool changedByCompanion = false;  // its last change was the 64-bit companion's
    std::wstring installedInf;        // the INF its driver came from, once installed
    std::vector<std::wstring> compatibleIds;
    // The driver it has, as Windows ranks it against another.
    struct Driver {
      std::wstring inf;        // oemNN.inf, or the INF's name
      std::uint32_t date = 0;  // yyyymmdd
      std::array<std::uint32_t, 4> version{};
      std::wstring matchingId;
      bool signedDriver = true;
      std::wstring description;
    };
    std::optional<Driver> driver;
  };
  std::vector<SimDevice> devices;
  // Adds a device with the next instance number; its index in `devices`.
  std::size_t AddDevice(std::wstring_view classGuid, std::wstring_view enumerator,
                        std::vector<std::wstring> hardwareIds, bool present = true);
  int reenumerations = 0;
  int openDeviceSets = 0;  // device information sets made and not yet destroyed
  struct DriverUpdate {
    std::wstring hardwareId;
    std::wstring inf;
    bool byCompanion = false;
  };
  std::vector<DriverUpdate> driverUpdates;
  std::vector<std::wstring> stagedInfs;  // the oemNN.inf names the driver store gave
  std::vector<std::wstring> stagedInfTexts;
  std::vector<std::wstring> stagedInfSources;  // the INF each of them was copied from
  std::vector<bool> stagedInfSigned;           // its catalog came with it
  std::vector<bool> stagedByUpdate;            // a driver update put it there, not SetupCopyOEMInf
  // What the simulated Windows chose for a device from an INF, or why it chose
  // nothing: one line for each device an update or a rescan looked at.
  struct DriverDecision {
    std::wstring device;  // instance ID, or the hardware ID when no device carries it
    std::wstring inf;
    std::wstring text;
    bool warning = false;  // a forced update replaced a driver that ranks better
  };
  std::vector<DriverDecision> driverDecisions;
  int installWaits = 0;
  std::wstring programFilesFolder = L"C:\\Program Files";
  // System DLLs that cannot be loaded (setupapi.dll, newdev.dll, shell32.dll):
  // the tool loads them when a call needs them, and that call fails with
  // ERROR_MOD_NOT_FOUND, as on a notebook whose Windows lacks or refuses them.
  std::set<std::wstring, LessNoCase> missingDlls;
  bool DllMissing(std::wstring_view name) const { return missingDlls.contains(name); }

  // Another process holds a mutex of this name; one that runs elevated keeps
  // a tool that does not from opening it.
  // One that a standard user made has that user for its owner, and its
  // default rights let only that user and LocalSystem open it.
  void HoldMutex(std::wstring_view name, bool holderElevated = false, bool madeByStandardUser = false) {
    ++mutexes_[std::wstring(name)];
    if (holderElevated) elevatedMutexes_.insert(std::wstring(name));
    if (madeByStandardUser) userMutexes_.insert(std::wstring(name));
  }
  // The path that a file operation of the 32-bit tool reaches: on 64-bit
  // Windows with redirection on, System32 is SysWOW64 (but for the folders
  // that are exempt), and so is the Windows folder's regedit.exe.
  std::wstring RedirectedPath(std::wstring_view path) const;
  // False: debugger strings are not kept (long benchmark runs).
  bool keepDebugEvents = true;
  // False: the INFs the installer was given are not kept (large generated scripts).
  bool keepInstalledInfs = true;
  // Called for every debugger string as it is written (the simulator prints them).
  std::function<void(std::wstring_view)> onDebugWrite;
  // Every trace message the tool makes, traced or not (the debug switch may
  // be off), without the "<name>:" in front.
  std::function<void(std::wstring_view)> onTraceMessage;
  // Every run event the tool sends (what a watcher such as tarnvale-run reads).
  std::function<void(std::wstring_view)> onRunEvent;

  // ---- what the tool did ----
  const std::vector<DebugEvent>& debugEvents() const { return debugEvents_; }
  std::wstring DebugText() const;  // every string, end to end
  int wmiEnumerations = 0;         // CreateInstanceEnum calls
  int profileParses = 0;           // times a setup script was read and parsed
  bool redirectionOff = false;
  int redirectionDisables = 0;
  int redirectionReverts = 0;
  std::vector<std::uint32_t> pauses;
  std::uint32_t tickCount = 1000000;
  bool mutexHeld(std::wstring_view name) const;

  // A state dump for failing tests.
  std::string ToString() const;

 private:
  class Profile;
  class Product;
  class System;
  class Debug;
  class Files;
  class Processes;
  class Devices;
  friend class Devices;
  friend class Files;
  friend class Processes;
  friend class Profile;
  friend class Product;
  friend class System;
  friend class Debug;

  std::map<std::wstring, int> mutexes_;
  std::set<std::wstring> elevatedMutexes_;
  std::set<std::wstring> userMutexes_;
  std::vector<DebugEvent> debugEvents_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<Product> product_;
  std::unique_ptr<System> system_;
  std::unique_ptr<Debug> debug_;
  std::unique_ptr<Files> files_;
  std::unique_ptr<Processes> processes_;
  std::unique_ptr<Devices> devices_;
  std::uint32_t nextProcessId_ = 1000;
};

}  // namespace tv::sim
