// A whole simulated Windows for the tool: registry, files, WMI product
// values, system facts and a debugger that records what it is sent. Tests
// and the simulator set it up, run the tool on it, and look at it afterwards.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/faults.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/text.h"

namespace tv::sim {

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
  std::wstring commandLine;  // empty: the module path in quotation marks
  bool kernel32HasDisableRedirection = true;
  bool kernel32HasRevertRedirection = true;
  std::map<std::wstring, std::wstring, LessNoCase> environment;
  // Win32_ComputerSystemProduct: a property without value reads as null.
  std::map<std::wstring, std::optional<std::wstring>, LessNoCase> product;
  bool productInstance = true;  // false: the enumeration yields no object
  SimFileSystem files;
  SimRegistry registry;

  // Another process holds a mutex of this name.
  void HoldMutex(std::wstring_view name) { ++mutexes_[std::wstring(name)]; }
  // Called for every debugger string as it is written (the simulator prints them).
  std::function<void(std::wstring_view)> onDebugWrite;

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
  friend class Profile;
  friend class Product;
  friend class System;
  friend class Debug;

  std::map<std::wstring, int> mutexes_;
  std::vector<DebugEvent> debugEvents_;
  std::unique_ptr<Profile> profile_;
  std::unique_ptr<Product> product_;
  std::unique_ptr<System> system_;
  std::unique_ptr<Debug> debug_;
};

}  // namespace tv::sim
