#include "platform/sim/sim_machine.h"

#include <sstream>

#include "platform/profile_text.h"
#include "platform/sim/ansi.h"
#include "platform/sim/sim_devices.h"
#include "platform/sim/sim_processes.h"

namespace tv::sim {

// ---- profile reading: parse once per change of the file ----

class SimMachine::Profile final : public IProfile {
 public:
  explicit Profile(SimMachine& m) : m_(m) {}

  std::wstring ReadString(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                          std::wstring_view defaultValue, std::size_t bufferChars) override {
    if (m_.faults.Take("GetPrivateProfileString", file))
      return CopyProfileValue(TrimProfileDefault(defaultValue), bufferChars);
    return Parsed(file).String(section, key, defaultValue, bufferChars);
  }

  std::uint32_t ReadInt(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                        std::int32_t defaultValue) override {
    if (m_.faults.Take("GetPrivateProfileInt", file)) return static_cast<std::uint32_t>(defaultValue);
    return Parsed(file).Int(section, key, defaultValue);
  }

  std::vector<std::wstring> ReadSectionNames(std::wstring_view file, std::size_t bufferChars) override {
    if (m_.faults.Take("GetPrivateProfileSectionNames", file)) return {};
    return Parsed(file).SectionNames(bufferChars);
  }

 private:
  struct Cached {
    std::uint64_t stamp = 0;
    ParsedProfile parsed;
  };

  // A missing file reads as an empty one. The stamp of the file tells
  // whether it was written since it was parsed.
  const ParsedProfile& Parsed(std::wstring_view file) {
    const std::uint64_t stamp = m_.files.Stamp(file);
    auto& entry = cache_[std::wstring(file)];
    if (entry.stamp != stamp || stamp == 0) {
      entry.stamp = stamp;
      if (const auto content = m_.files.ReadContent(file)) {
        // Read a line at a time, as a large script is never held decoded whole.
        ParsedProfile::Builder builder(content->bytes.size());
        DecodeProfileLines(content->bytes, m_.ansiCodePage,
                           [&builder](std::wstring_view line) { builder.AddLine(line); });
        entry.parsed = builder.Finish();
        ++m_.profileParses;
      } else {
        entry.parsed = ParsedProfile{};
      }
    }
    return entry.parsed;
  }

  SimMachine& m_;
  std::map<std::wstring, Cached, LessNoCase> cache_;
};

// ---- WMI ----

class SimMachine::Product final : public IProductInfo {
 public:
  explicit Product(SimMachine& m) : m_(m) {}

  std::vector<Result<std::wstring>> QueryComputerSystemProduct(std::span<const std::wstring> names) override {
    auto failAll = [&](WinError e) {
      return std::vector<Result<std::wstring>>(names.size(), Result<std::wstring>::Fail(e));
    };
    for (const char* step : {"CoCreateInstance", "ConnectServer", "CoSetProxyBlanket"}) {
      if (auto e = m_.faults.Take(step)) return failAll(*e);
    }
    ++m_.wmiEnumerations;
    if (auto e = m_.faults.Take("CreateInstanceEnum")) return failAll(*e);
    if (auto e = m_.faults.Take("EnumNext")) return failAll(*e);
    if (!m_.productInstance) return failAll(err::kWbemFailed);
    std::vector<Result<std::wstring>> out;
    for (const auto& name : names) {
      if (auto e = m_.faults.Take("Get", name)) {
        out.push_back(Result<std::wstring>::Fail(*e));
        continue;
      }
      auto it = m_.product.find(name);
      if (it == m_.product.end()) {
        out.push_back(Result<std::wstring>::Fail(err::kWbemFailed));  // WBEM_E_NOT_FOUND
      } else if (!it->second) {
        out.push_back(Result<std::wstring>::Fail(err::kInvalidData));  // a null value is no string
      } else if (EncodeAnsi(*it->second, m_.ansiCodePage).size() > kRoomPath) {
        out.push_back(Result<std::wstring>::Fail(err::kInsufficientBuffer));
      } else {
        out.push_back(Result<std::wstring>::Ok(CutTo(*it->second, kRoomPath)));
      }
    }
    return out;
  }

 private:
  SimMachine& m_;
};

// ---- system facts ----

class SimKernel32 final : public IKernel32 {
 public:
  explicit SimKernel32(SimMachine& m) : m_(m) {}
  bool HasDisableRedirection() const override { return m_.kernel32HasDisableRedirection; }
  bool HasRevertRedirection() const override { return m_.kernel32HasRevertRedirection; }
  bool DisableRedirection(RedirectionValue& oldValue) override {
    ++m_.redirectionDisables;
    if (m_.faults.Take("Wow64DisableWow64FsRedirection") || !m_.wow64) return false;
    oldValue = m_.redirectionOff ? 2 : 1;
    m_.redirectionOff = true;
    return true;
  }
  bool RevertRedirection(RedirectionValue oldValue) override {
    ++m_.redirectionReverts;
    if (m_.faults.Take("Wow64RevertWow64FsRedirection")) return false;
    m_.redirectionOff = oldValue == 2;
    return true;
  }

 private:
  SimMachine& m_;
};

class SimMutex final : public IKernelObject {
 public:
  SimMutex(std::map<std::wstring, int>& names, std::wstring name) : names_(names), name_(std::move(name)) {
    ++names_[name_];
  }
  ~SimMutex() override {
    if (--names_[name_] == 0) names_.erase(name_);
  }
  SimMutex(const SimMutex&) = delete;
  SimMutex& operator=(const SimMutex&) = delete;

 private:
  std::map<std::wstring, int>& names_;
  std::wstring name_;
};

class SimMachine::System final : public ISystem {
 public:
  explicit System(SimMachine& m) : m_(m) {}

  bool CreateHiddenMainWindow() override { return !m_.faults.Take("CreateWindowEx"); }
  std::wstring ModulePath() override { return m_.modulePath; }
  Result<std::wstring> ShortPath(std::wstring_view path) override {
    if (auto e = m_.faults.Take("GetShortPathName", path)) return Result<std::wstring>::Fail(*e);
    return m_.files.ShortPath(path);
  }
  std::wstring CommandLine() override {
    return m_.commandLine.empty() ? L"\"" + m_.modulePath + L"\"" : m_.commandLine;
  }
  Result<OsVersionRecord> OsVersion() override {
    if (auto e = m_.faults.Take("GetVersionEx")) return Result<OsVersionRecord>::Fail(*e);
    return Result<OsVersionRecord>::Ok(m_.os);
  }
  std::uint16_t UiLanguage() override { return m_.uiLanguage; }
  std::uint32_t AnsiCodePage() override { return m_.ansiCodePage; }
  bool SystemDllLoads(std::wstring_view name) override { return !m_.DllMissing(name); }
  WinError OpenNamedMutex(std::wstring_view name, bool* madeByAdministrators) override {
    const std::wstring key(name);
    if (!m_.mutexes_.contains(key)) return err::kFileNotFound;
    if (!m_.elevated && m_.elevatedMutexes_.contains(key)) return err::kAccessDenied;
    if (madeByAdministrators) *madeByAdministrators = !m_.userMutexes_.contains(key);
    return err::kSuccess;
  }
  Result<bool> IsWow64Process() override {
    if (auto e = m_.faults.Take("IsWow64Process")) return Result<bool>::Fail(*e);
    return Result<bool>::Ok(m_.Wow64Process());
  }
  Result<std::unique_ptr<IKernel32>> LoadKernel32() override {
    if (auto e = m_.faults.Take("LoadLibrary", L"Kernel32.dll")) return Result<std::unique_ptr<IKernel32>>::Fail(*e);
    return Result<std::unique_ptr<IKernel32>>::Ok(std::make_unique<SimKernel32>(m_));
  }
  NamedMutex CreateNamedMutex(std::wstring_view name) override {
    if (auto e = m_.faults.Take("CreateMutex", name)) return NamedMutex{nullptr, *e};
    const std::wstring key(name);
    if (m_.userMutexes_.contains(key)) {
      // Its default rights admit its maker and LocalSystem; its owner is that user.
      if (!m_.localSystem) return NamedMutex{nullptr, err::kAccessDenied, !m_.elevated};
      return NamedMutex{std::make_unique<SimMutex>(m_.mutexes_, key), err::kAlreadyExists, false};
    }
    // The elevated holder's mutex denies a process that is not elevated.
    if (!m_.elevated && m_.elevatedMutexes_.contains(key)) return NamedMutex{nullptr, err::kAccessDenied, true};
    const bool existed = m_.mutexes_.contains(key);
    return NamedMutex{std::make_unique<SimMutex>(m_.mutexes_, key), existed ? err::kAlreadyExists : err::kSuccess,
                      existed};
  }
  std::optional<std::wstring> Environment(std::wstring_view name) override {
    auto it = m_.environment.find(name);
    if (it == m_.environment.end()) return std::nullopt;
    return it->second;
  }
  void Pause(std::uint32_t milliseconds) override {
    m_.pauses.push_back(milliseconds);
    m_.tickCount += milliseconds;
  }
  std::uint32_t TickCount() override { return m_.tickCount; }
  Result<std::wstring> SystemDirectory() override {
    if (auto e = m_.faults.Take("GetSystemDirectory")) return Result<std::wstring>::Fail(*e);
    return Result<std::wstring>::Ok(m_.windowsFolder + L"\\system32");
  }
  Result<std::wstring> WindowsDirectory() override {
    if (auto e = m_.faults.Take("GetWindowsDirectory")) return Result<std::wstring>::Fail(*e);
    return Result<std::wstring>::Ok(m_.windowsFolder);
  }
  Result<std::wstring> ProgramFilesFolder() override {
    if (m_.DllMissing(L"shell32.dll")) return Result<std::wstring>::Fail(err::kModNotFound);
    if (auto e = m_.faults.Take("SHGetFolderPath")) return Result<std::wstring>::Fail(*e);
    // A 64-bit process on 64-bit Windows is given the native folder, which
    // Windows keeps in the 64-bit view of the registry.
    if (m_.wow64 && m_.process64) {
      auto value = m_.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                        L"ProgramW6432Dir");
      if (value && value->type == reg::kTypeSz) {
        std::wstring folder = StringFromRegistryData(value->data);
        if (!folder.empty()) return Result<std::wstring>::Ok(folder);
      }
      auto native = m_.environment.find(L"ProgramW6432");
      if (native != m_.environment.end() && !native->second.empty()) return Result<std::wstring>::Ok(native->second);
      return Result<std::wstring>::Ok(L"C:\\Program Files");
    }
    return Result<std::wstring>::Ok(m_.programFilesFolder);
  }

 private:
  SimMachine& m_;
};

class SimMachine::Debug final : public IDebugOutput {
 public:
  explicit Debug(SimMachine& m) : m_(m) {}
  void Write(std::wstring_view text) override {
    if (m_.keepDebugEvents) m_.debugEvents_.push_back(DebugEvent{std::wstring(text), m_.redirectionOff});
    if (m_.onDebugWrite) m_.onDebugWrite(text);
  }
  bool ListensToEveryMessage() const override { return static_cast<bool>(m_.onTraceMessage); }
  void Message(std::wstring_view message) override {
    if (m_.onTraceMessage) m_.onTraceMessage(message);
  }
  void RunEvent(std::wstring_view event) override {
    if (m_.onRunEvent) m_.onRunEvent(event);
  }

 private:
  SimMachine& m_;
};

// ---- the machine ----

SimMachine::SimMachine()
    : registry(faults, wow64, process64),
      profile_(std::make_unique<Profile>(*this)),
      product_(std::make_unique<Product>(*this)),
      system_(std::make_unique<System>(*this)),
      debug_(std::make_unique<Debug>(*this)),
      files_(std::make_unique<Files>(*this)),
      processes_(std::make_unique<Processes>(*this)),
      devices_(std::make_unique<Devices>(*this)) {}

SimMachine::~SimMachine() = default;

Platform SimMachine::platform() {
  return Platform{*profile_, registry, *product_, *system_, *debug_, *files_, *processes_, *devices_};
}

std::wstring SimMachine::DebugText() const {
  std::wstring out;
  for (const auto& e : debugEvents_) out += e.text;
  return out;
}

std::wstring SimMachine::RedirectedPath(std::wstring_view path) const {
  if (!Wow64Process() || redirectionOff) return std::wstring(path);
  const std::wstring system32 = windowsFolder + L"\\system32";
  const std::wstring lastGood = windowsFolder + L"\\lastgood\\system32";
  auto under = [&](const std::wstring& folder) {
    return StartsWithNoCase(path, folder) && (path.size() == folder.size() || path[folder.size()] == L'\\');
  };
  if (EqualsNoCase(path, windowsFolder + L"\\regedit.exe")) return windowsFolder + L"\\SysWOW64\\regedit.exe";
  if (under(lastGood)) return windowsFolder + L"\\lastgood\\SysWOW64" + std::wstring(path.substr(lastGood.size()));
  if (!under(system32)) return std::wstring(path);
  // These stay shared; the driver store is shared from Windows 7 on.
  std::vector<std::wstring> exempt{L"catroot", L"catroot2", L"drivers\\etc", L"logfiles", L"spool"};
  if (os.major > 6 || (os.major == 6 && os.minor >= 1)) exempt.emplace_back(L"driverstore");
  for (const auto& e : exempt) {
    if (under(system32 + L"\\" + e)) return std::wstring(path);
  }
  return windowsFolder + L"\\SysWOW64" + std::wstring(path.substr(system32.size()));
}

bool SimMachine::mutexHeld(std::wstring_view name) const { return mutexes_.contains(std::wstring(name)); }

std::string SimMachine::ToString() const {
  std::ostringstream out;
  out << "os " << os.platformId << '.' << os.major << '.' << os.minor << (wow64 ? " wow64" : "") << " ui " << std::hex
      << uiLanguage << std::dec << " module " << ToUtf8(modulePath) << '\n';
  for (const auto& [k, v] : product) out << "wmi " << ToUtf8(k) << '=' << (v ? ToUtf8(*v) : "<null>") << '\n';
  out << registry.ToString();
  for (const auto& d : driverDecisions) {
    out << "driver selection " << ToUtf8(d.device) << ' ' << ToUtf8(d.inf) << ": " << ToUtf8(d.text) << '\n';
  }
  out << "debug output:\n" << ToUtf8(DebugText()) << '\n';
  return out.str();
}

}  // namespace tv::sim
