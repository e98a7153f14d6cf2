// tarnvale-run [--log FILE] TOOL.exe [ARGS...]: what a deployment system
// (Configuration Manager, Intune, a factory image step) calls instead of the
// tool. It turns the tool's trace on for this one run, runs the tool as its
// debuggee, writes every trace line to a log that CMTrace reads, puts the
// trace switch back exactly as it was, and exits with a code such systems act
// on: 0, 3010 (a restart is due), 1618 (another copy was running), 1603 (a
// command failed), 4 (a machine check stopped the run: not for this
// machine), 1 (the tool could not be started; the log says why).
#include <windows.h>

#include <sddl.h>  // after windows.h, which it needs

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "debuggee/debuggee.h"
#include "platform/text.h"
#include "platform/win32/dll_search.h"
#include "run/cmtrace_log.h"
#include "runtime/debug_trace.h"
#include "runtime/run_events.h"
#include "runtime/run_summary.h"
#include "runtime/trace_lines.h"

namespace {

using tv::run::CmtraceLog;

constexpr int kRunnerFailed = 1;
// The tool's switch key (a literal, so its text ends in a null for the registry calls).
constexpr const wchar_t* kSwitchKey = tv::kSwitchKey.data();
constexpr wchar_t kVendorKey[] = L"SOFTWARE\\VELTARO";

void WriteErr(const std::wstring& text) {
  const std::string bytes = tv::ToUtf8(text);
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring out = L"error " + std::to_wstring(error);
  if (text != nullptr) {
    std::wstring message(text);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
      message.pop_back();
    }
    out += L" (" + message + L")";
  }
  return out;
}

// ---- the trace switch ----

// DebugMode as it was before the run: put back exactly, absent or 0 or any
// other data, and the keys this run made are taken away again. The state
// before is also kept in the registry until it is put back, so that a runner
// ended outright (a deployment system's time-out kills it) is mended by the
// next one instead of leaving the trace on for good.
class TraceSwitch {
 public:
  // Turns the trace on; the error when it cannot (no administrator).
  DWORD TurnOn() {
    HKEY vendor = nullptr;
    vendorExisted_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ, &vendor) == ERROR_SUCCESS;
    if (vendor != nullptr) ::RegCloseKey(vendor);
    DWORD disposition = 0;
    LONG rc = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSwitchKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, &disposition);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    keyCreated_ = disposition == REG_CREATED_NEW_KEY;
    if (auto earlier = Read(kSavedValue)) {
      // An earlier runner did not get to put the switch back: its record says how it was.
      const auto saved = Decode(earlier->data);
      if (saved) {
        Put(saved->value);
        keyCreated_ = keyCreated_ || saved->keyCreated;
        vendorExisted_ = vendorExisted_ && !saved->vendorCreated;
        recovered_ = true;
      }
    }
    before_ = Read(L"DebugMode");
    rc = Write(kSavedValue, REG_BINARY, Encode());
    const DWORD one = 1;
    if (rc == ERROR_SUCCESS) {
      rc = ::RegSetValueExW(key_, L"DebugMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    }
    if (rc != ERROR_SUCCESS) {
      Restore();
      return static_cast<DWORD>(rc);
    }
    return ERROR_SUCCESS;
  }

  // Puts the switch back; safe to call twice (a console close and the end).
  void Restore() {
    if (key_ == nullptr) return;
    Put(before_);
    ::RegDeleteValueW(key_, kSavedValue);
    ::RegCloseKey(key_);
    key_ = nullptr;
    if (keyCreated_) DeleteIfEmpty(kSwitchKey);
    if (!vendorExisted_) DeleteIfEmpty(kVendorKey);
  }

  // An earlier runner had been ended before it put the switch back.
  bool recovered() const { return recovered_; }

  std::wstring Before() const {
    if (!before_) return L"absent";
    if (before_->type == REG_DWORD && before_->data.size() == 4) {
      DWORD v = 0;
      std::memcpy(&v, before_->data.data(), 4);
      return L"REG_DWORD " + std::to_wstring(v);
    }
    return L"of type " + std::to_wstring(before_->type) + L", " + std::to_wstring(before_->data.size()) + L" bytes";
  }

 private:
  static constexpr const wchar_t* kSavedValue = L"DebugModeBeforeTarnvaleRun";
  struct Value {
    DWORD type;
    std::vector<BYTE> data;
  };
  struct Record {
    std::optional<Value> value;
    bool keyCreated;
    bool vendorCreated;
  };

  std::optional<Value> Read(const wchar_t* name) const {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    std::vector<BYTE> data(size);
    if (size > 0 && ::RegQueryValueExW(key_, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    data.resize(size);
    return Value{type, std::move(data)};
  }

  LONG Write(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    return ::RegSetValueExW(key_, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
  }

  void Put(const std::optional<Value>& value) {
    if (value) {
      Write(L"DebugMode", value->type, value->data);
    } else {
      ::RegDeleteValueW(key_, L"DebugMode");
    }
  }

  // Flags (1: the value was there, 2: the runner made the key, 4: and the
  // maker's key), the value's type in four bytes, then its data.
  std::vector<BYTE> Encode() const {
    std::vector<BYTE> out{static_cast<BYTE>((before_ ? 1 : 0) | (keyCreated_ ? 2 : 0) | (vendorExisted_ ? 0 : 4))};
    const DWORD type = before_ ? before_->type : 0;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>(type >> (8 * i)));
    if (before_) out.insert(out.end(), before_->data.begin(), before_->data.end());
    return out;
  }

  static std::optional<Record> Decode(const std::vector<BYTE>& data) {
    if (data.size() < 5 || data[0] > 7) return std::nullopt;
    Record r{std::nullopt, (data[0] & 2) != 0, (data[0] & 4) != 0};
    if ((data[0] & 1) != 0) {
      const DWORD type = data[1] | (data[2] << 8) | (data[3] << 16) | (static_cast<DWORD>(data[4]) << 24);
      r.value = Value{type, std::vector<BYTE>(data.begin() + 5, data.end())};
    }
    return r;
  }

  static void DeleteIfEmpty(const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD subkeys = 0;
    DWORD values = 0;
    const LONG rc = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                       nullptr, nullptr, nullptr);
    ::RegCloseKey(key);
    if (rc == ERROR_SUCCESS && subkeys == 0 && values == 0) ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
  }

  HKEY key_ = nullptr;
  bool keyCreated_ = false;
  bool vendorExisted_ = true;
  bool recovered_ = false;
  std::optional<Value> before_;
};

TraceSwitch* g_switch = nullptr;  // for the console handler, which runs on a thread of its own

BOOL WINAPI OnConsoleEnd(DWORD) {
  // The runner is being ended: the tool runs on (it is not killed with its
  // debugger), but the switch goes back now.
  if (g_switch != nullptr) g_switch->Restore();
  return FALSE;
}

// ---- facts for the log's first entry ----

std::wstring RegistryString(HKEY root, const wchar_t* path, const wchar_t* name) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  DWORD type = 0;
  const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  ::RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return L"";
  return std::wstring(buffer);
}

std::wstring WindowsText() {
  // RtlGetVersion tells the version that a manifest without compatibility
  // entries hides from GetVersionEx.
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get = reinterpret_cast<RtlGetVersion>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (get == nullptr || get(&info) != 0) ::GetVersionExW(&info);
  BOOL wow64 = FALSE;
  using IsWow64 = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = reinterpret_cast<IsWow64>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  if (isWow64 != nullptr) isWow64(::GetCurrentProcess(), &wow64);
  const bool is64 = sizeof(void*) == 8 || wow64;
  return L"Windows " + std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L" build " +
         std::to_wstring(info.dwBuildNumber) + (is64 ? L", 64-bit" : L", 32-bit");
}

std::wstring MachineText() {
  const wchar_t* bios = L"HARDWARE\\DESCRIPTION\\System\\BIOS";
  std::wstring maker = RegistryString(HKEY_LOCAL_MACHINE, bios, L"SystemManufacturer");
  std::wstring model = RegistryString(HKEY_LOCAL_MACHINE, bios, L"SystemProductName");
  std::wstring version = RegistryString(HKEY_LOCAL_MACHINE, bios, L"SystemVersion");
  if (maker.empty() && model.empty()) return L"maker and model not in HKLM\\HARDWARE\\DESCRIPTION\\System\\BIOS";
  return L"maker " + maker + L", model " + model + (version.empty() ? L"" : L" (" + version + L")");
}

std::wstring UserText() {
  wchar_t name[257] = {};
  DWORD size = 257;
  if (!::GetUserNameW(name, &size)) return L"unknown";
  return name;
}

// version.dll is loaded from the system folder when it is needed, not
// imported: an imported DLL is looked for beside the runner first, where a
// package from a download or a share may have one planted.
std::wstring FileVersion(const std::wstring& path) {
  wchar_t system[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return L"of an unknown version";
  HMODULE version = ::LoadLibraryW((std::wstring(system) + L"\\version.dll").c_str());
  if (version == nullptr) return L"of an unknown version";
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  auto getSize =
      reinterpret_cast<SizeFn>(reinterpret_cast<void*>(::GetProcAddress(version, "GetFileVersionInfoSizeW")));
  auto getInfo = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(::GetProcAddress(version, "GetFileVersionInfoW")));
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(::GetProcAddress(version, "VerQueryValueW")));
  std::wstring out = L"without a version";
  DWORD ignored = 0;
  const DWORD size = getSize != nullptr && getInfo != nullptr && query != nullptr ? getSize(path.c_str(), &ignored) : 0;
  std::vector<BYTE> data(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (size > 0 && getInfo(path.c_str(), 0, size, data.data()) &&
      query(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
    out = std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
          L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
          std::to_wstring(LOWORD(fixed->dwFileVersionLS));
  }
  ::FreeLibrary(version);
  return out;
}

// Files Windows replaces at its next start: the list is longer after the run
// when the run asked for a restart that way.
std::size_t PendingRenameBytes() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  DWORD size = 0;
  const LONG rc = ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size);
  ::RegCloseKey(key);
  return rc == ERROR_SUCCESS ? size : 0;
}

// ---- the debuggee's strings ----

// Logs each command as the run events tell it (as the runner's entries, so
// that each entry of the tool's is one line of its trace), and hands the
// events on to the summary.
class EventLogger final : public tv::IRunObserver {
 public:
  EventLogger(CmtraceLog& log, tv::CRunRecorder& recorder) : log_(log), recorder_(recorder) {}
  DWORD thread = 0;

  void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) override {
    recorder_.CommandStarts(n, command, section);
    std::wstring text = L"CMD" + std::to_wstring(n) + L"=" + std::wstring(command);
    if (!section.empty()) text += L" [" + std::wstring(section) + L"]";
    log_.Entry(text + L" starts", 1, thread, true);
  }
  void CommandEnds(std::size_t n, tv::CommandOutcome outcome, bool stopsTheRun) override {
    recorder_.CommandEnds(n, outcome, stopsTheRun);
    const std::wstring head = L"CMD" + std::to_wstring(n);
    if (outcome == tv::CommandOutcome::kSkippedByPlatform) {
      log_.Entry(head + L" skipped: its suffix names the other bitness of Windows", 2, thread, true);
    } else if (outcome == tv::CommandOutcome::kUnknownKeyword) {
      log_.Entry(head + L" names no command: it does nothing", 3, thread, true);
    } else if (outcome == tv::CommandOutcome::kRedirectionRefused) {
      log_.Entry(head + L" not run: WOW64 redirection could not be turned off", 3, thread, true);
    }
    if (stopsTheRun) log_.Entry(head + L" stopped the run", 2, thread, true);
  }
  void RunEnds(tv::RunEnd end, std::size_t n) override { recorder_.RunEnds(end, n); }
  void Note(std::wstring_view text) override {
    recorder_.Note(text);
    log_.Entry(std::wstring(text), 2, thread, true);
  }

 private:
  CmtraceLog& log_;
  tv::CRunRecorder& recorder_;
};

int TypeOfMessage(std::wstring_view message) {
  const tv::TraceLine* line = tv::Classify(message);
  if (line == nullptr) return 2;  // of no known kind: worth a look
  switch (line->kind) {
    case tv::LineKind::kFailure: return 3;
    case tv::LineKind::kCheck:
    case tv::LineKind::kRestart: return 2;
    case tv::LineKind::kProgress:
    case tv::LineKind::kBenign: return 1;
  }
  return 1;
}

int TypeOfCode(int code) {
  switch (code) {
    case tv::kDeploySuccess:
    case tv::kDeployRestart: return 1;
    case tv::kDeployAnotherRunning:
    case tv::kDeployNotForThisMachine: return 2;
    default: return 3;
  }
}

std::wstring DefaultLogPath(const std::wstring& baseName) {
  wchar_t windows[MAX_PATH] = {};
  const UINT n = ::GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(windows) + L"\\Logs\\Tarnvale\\" + baseName + L".log";
}

// The log's folder under the Windows folder is made for administrators and
// SYSTEM only: a standard user can neither read what the run did nor
// change the log a deployment system reads.
void MakeLogFolder(const std::wstring& logPath, bool restricted) {
  const std::wstring folder = logPath.substr(0, logPath.find_last_of(L'\\'));
  const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
  ::CreateDirectoryW(parent.c_str(), nullptr);  // %WINDIR%\Logs is there on Windows 7 and later
  if (!restricted) {
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  ::CreateDirectoryW(folder.c_str(), &attributes);
  ::LocalFree(descriptor);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  tv::win32::LoadDllsFromSystemOnly();
  std::wstring logPath;
  int first = 1;
  if (argc >= 3 && std::wstring_view(argv[1]) == L"--log") {
    logPath = argv[2];
    first = 3;
  }
  if (first >= argc || std::wstring_view(argv[first]) == L"--help" || std::wstring_view(argv[first]) == L"/?") {
    WriteErr(
        L"usage: tarnvale-run [--log FILE] TOOL.exe [ARGS...]\n"
        L"Runs the tool with its trace on, logs every trace line for CMTrace (default "
        L"%WINDIR%\\Logs\\Tarnvale\\<tool>.log) and exits with 0, 3010 (restart), 1618 (another copy "
        L"running), 1603 (failed), 4 (not for this machine) or 1 (could not start the tool).\n");
    return first >= argc ? kRunnerFailed : 0;
  }

  wchar_t full[MAX_PATH * 4] = {};
  const DWORD fullLength = ::GetFullPathNameW(argv[first], MAX_PATH * 4, full, nullptr);
  const std::wstring tool =
      fullLength > 0 && fullLength < MAX_PATH * 4 ? std::wstring(full) : std::wstring(argv[first]);
  std::wstring baseName = tool.substr(tool.find_last_of(L"\\/") + 1);
  if (const auto dot = baseName.find_last_of(L'.'); dot != std::wstring::npos) baseName.resize(dot);

  const bool defaultLog = logPath.empty();
  if (defaultLog) logPath = DefaultLogPath(baseName);
  MakeLogFolder(logPath, defaultLog);
  CmtraceLog log(logPath, baseName);
  if (!log.ok()) {
    WriteErr(L"tarnvale-run: cannot write the log " + logPath + L": " + ErrorText(log.error()) + L"\n");
    return kRunnerFailed;
  }

  std::wstring commandLine = tv::debuggee::Quote(tool);
  std::wstring shownArgs;
  for (int i = first + 1; i < argc; ++i) {
    commandLine += L" " + tv::debuggee::Quote(argv[i]);
    shownArgs += L" " + tv::debuggee::Quote(argv[i]);
  }
  const DWORD self = ::GetCurrentThreadId();
  log.Entry(L"tarnvale-run " + tv::FromUtf8(TARNVALE_VERSION) + L" runs " + tool + L" (version " + FileVersion(tool) +
                L")" + (shownArgs.empty() ? L" without arguments" : L" with the arguments" + shownArgs) + L"; " +
                WindowsText() + L"; " + MachineText() + L"; user " + UserText(),
            1, self, true);
  const auto finish = [&](int code, const std::wstring& why) {
    const std::wstring line = L"tarnvale-run exits with " + std::to_wstring(code) + L": " + why;
    log.Entry(line, TypeOfCode(code), self, true);
    // What a deployment system keeps of the output: the result, and where the log is.
    const std::string out = tv::ToUtf8(line + L"\nlog: " + logPath + L"\n");
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    return code;
  };

  const DWORD attributes = ::GetFileAttributesW(tool.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return finish(kRunnerFailed, L"the tool " + tool + L" is not there (" + ErrorText(::GetLastError()) + L")");
  }

  TraceSwitch traceSwitch;
  if (const DWORD e = traceSwitch.TurnOn(); e != ERROR_SUCCESS) {
    return finish(kRunnerFailed, L"the trace switch HKLM\\" + std::wstring(kSwitchKey) + L" cannot be set (" +
                                     ErrorText(e) + L"): run it as an administrator");
  }
  g_switch = &traceSwitch;
  ::SetConsoleCtrlHandler(&OnConsoleEnd, TRUE);
  if (traceSwitch.recovered()) {
    log.Entry(L"an earlier tarnvale-run was ended before it put the trace switch back: it is back as it was", 2, self,
              true);
  }
  log.Entry(L"the trace is on for this run; DebugMode was " + traceSwitch.Before(), 1, self, true);

  const std::size_t renamesBefore = PendingRenameBytes();
  // The run events are asked for through the environment the tool inherits.
  ::SetEnvironmentVariableW(std::wstring(tv::kRunEventsVariable).c_str(), L"1");
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                        nullptr, &startup, &pi)) {
    const DWORD e = ::GetLastError();
    traceSwitch.Restore();
    return finish(kRunnerFailed, L"Windows refused to start the tool (" + ErrorText(e) + L")" +
                                     (e == 740 /* ERROR_ELEVATION_REQUIRED */ ? L": run it as an administrator" : L""));
  }
  // Should the runner be ended, the tool goes on to its end rather than
  // stopping in the middle of an install.
  tv::debuggee::KeepDebuggeeWhenDebuggerEnds();

  tv::CRunRecorder recorder;
  EventLogger events(log, recorder);
  const std::wstring prefix = baseName + L":";
  std::wstring pending;  // the pieces of one trace line: name, ":", message, line end
  DWORD pendingThread = 0;
  const auto flushLine = [&](bool complete) {
    if (pending.empty()) return;
    std::wstring message = pending;
    if (message.starts_with(prefix)) message.erase(0, prefix.size());
    if (complete && message.ends_with(L"\r\n")) message.resize(message.size() - 2);
    const bool announcement = message == L"Debug mode is enabled.\n";
    if (!announcement) recorder.Message(message);
    log.Entry(message, announcement ? 1 : TypeOfMessage(message), pendingThread);
    pending.clear();
  };
  const DWORD toolExit = tv::debuggee::DebugUntilExit(pi, [&](const std::wstring& text, DWORD thread) {
    if (tv::IsRunEvent(text)) {
      flushLine(false);
      events.thread = thread;
      tv::DeliverRunEvent(text, events);
      return;
    }
    pending += text;
    pendingThread = thread;
    // A trace line ends with its own "\r\n"; the switch's announcement is one string.
    if (pending.ends_with(L"\r\n") || pending == prefix + L"Debug mode is enabled.\n") flushLine(true);
  });
  flushLine(false);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  traceSwitch.Restore();
  g_switch = nullptr;
  log.Entry(L"the trace switch is back as it was: DebugMode " + traceSwitch.Before(), 1, self, true);

  tv::RunSummary summary = recorder.Take();
  if (summary.end == tv::RunSummary::End::kUnknown) {
    // The tool ended without saying where its run ended: it was ended from
    // outside, or it broke.
    summary.end = tv::RunSummary::End::kProcessEnded;
    if (!summary.commands.empty()) summary.endAt = summary.commands.back().n;
  }
  const bool restartPending = PendingRenameBytes() > renamesBefore;
  const std::string text = tv::SummaryText(summary);
  std::size_t start = 0;
  bool inFailureList = false;  // the lines under "2 failures:"
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.starts_with("    ")) inFailureList = line.ends_with(" failure:") || line.ends_with(" failures:");
    int type = 1;
    if (line.starts_with("    failure:") || (inFailureList && line.starts_with("    "))) {
      type = 3;
    } else if (line.starts_with("    waits for a restart") || line.starts_with("    note:")) {
      type = 2;
    }
    log.Entry(tv::FromUtf8(line), type, self, true);
    start = end + 1;
  }
  if (restartPending) log.Entry(L"Windows has files to replace at its next start", 2, self, true);
  const tv::DeploymentResult result = tv::DeploymentExitCode(summary, restartPending);
  return finish(result.code, tv::FromUtf8(std::string(result.meaning)) + L" (the tool's own exit code was " +
                                 std::to_wstring(toolExit) + L")");
}
