// Starting programs, and finding and ending running ones (PSAPI and toolhelp, loaded at run time).
#include "platform/win32/win32_parts.h"

#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/lazy_api.h"

namespace tv::win32 {

namespace {

class Process final : public IProcess {
 public:
  explicit Process(const PROCESS_INFORMATION& pi) : process_(pi.hProcess), thread_(pi.hThread) {}
  void WaitForExit() override { ::WaitForSingleObject(process_.get(), INFINITE); }
  Result<std::uint32_t> ExitCode() override {
    DWORD code = 0;
    if (!::GetExitCodeProcess(process_.get(), &code)) {
      return Result<std::uint32_t>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::uint32_t>::Ok(code);
  }

 private:
  unique_handle process_;
  unique_handle thread_;
};

class TerminableProcess final : public ITerminableProcess {
 public:
  explicit TerminableProcess(HANDLE process) : process_(process) {}
  bool Terminate(std::uint32_t exitCode) override { return ::TerminateProcess(process_.get(), exitCode) != FALSE; }

 private:
  unique_handle process_;
};

template <class Fn>
Fn Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

class Psapi;

class OpenedProcess final : public IOpenedProcess {
 public:
  OpenedProcess(Psapi& psapi, HANDLE process, bool mayTerminate)
      : psapi_(psapi), process_(process), mayTerminate_(mayTerminate) {}
  std::optional<std::wstring> FirstModuleBaseName() override;
  bool MayTerminate() const override { return mayTerminate_; }
  bool Terminate(std::uint32_t exitCode) override {
    return mayTerminate_ && ::TerminateProcess(process_.get(), exitCode) != FALSE;
  }

 private:
  Psapi& psapi_;
  unique_handle process_;
  bool mayTerminate_;
};

class Psapi final : public IPsapi {
 public:
  explicit Psapi(HMODULE module) : module_(module) {
    enumProcesses_ = Lookup<EnumProcessesFn>(module, "EnumProcesses");
    enumModules_ = Lookup<EnumModulesFn>(module, "EnumProcessModules");
    baseName_ = Lookup<BaseNameFn>(module, "GetModuleBaseNameW");
  }
  bool HasFunctions() const override { return enumProcesses_ && enumModules_ && baseName_; }
  Result<std::vector<std::uint32_t>> EnumProcesses(std::size_t capacity) override {
    std::vector<DWORD> ids(capacity);
    DWORD bytes = 0;
    if (!enumProcesses_(ids.data(), static_cast<DWORD>(capacity * sizeof(DWORD)), &bytes)) {
      return Result<std::vector<std::uint32_t>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    ids.resize(bytes / sizeof(DWORD));
    return Result<std::vector<std::uint32_t>>::Ok(std::vector<std::uint32_t>(ids.begin(), ids.end()));
  }
  Result<std::unique_ptr<IOpenedProcess>> Open(std::uint32_t processId) override {
    using R = Result<std::unique_ptr<IOpenedProcess>>;
    constexpr DWORD kRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
    bool mayTerminate = true;
    HANDLE process = ::OpenProcess(kRead | PROCESS_TERMINATE, FALSE, processId);
    if (process == nullptr && ::GetLastError() == ERROR_ACCESS_DENIED) {
      mayTerminate = false;
      process = ::OpenProcess(kRead, FALSE, processId);
    }
    if (process == nullptr) return R::Fail(static_cast<WinError>(::GetLastError()));
    return R::Ok(std::make_unique<OpenedProcess>(*this, process, mayTerminate));
  }

 private:
  using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
  using EnumModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using BaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
  unique_hmodule module_;
  EnumProcessesFn enumProcesses_ = nullptr;
  EnumModulesFn enumModules_ = nullptr;
  BaseNameFn baseName_ = nullptr;
  friend class OpenedProcess;
};

std::optional<std::wstring> OpenedProcess::FirstModuleBaseName() {
  HMODULE first = nullptr;
  DWORD needed = 0;
  if (!psapi_.enumModules_(process_.get(), &first, sizeof(first), &needed)) return std::nullopt;
  wchar_t name[MAX_PATH] = {};
  const DWORD n = psapi_.baseName_(process_.get(), first, name, MAX_PATH);
  if (n == 0) return std::nullopt;
  return std::wstring(name, n);
}

// The older family has only the ANSI forms of the toolhelp walk, under these
// names; the module names are converted from the ANSI code page.
class Toolhelp final : public IToolhelp {
 public:
  explicit Toolhelp(HMODULE module) : module_(module) {
    snapshot_ = Lookup<SnapshotFn>(module, "CreateToolhelp32Snapshot");
    processFirst_ = Lookup<ProcessFn>(module, "Process32First");
    processNext_ = Lookup<ProcessFn>(module, "Process32Next");
    moduleFirst_ = Lookup<ModuleFn>(module, "Module32First");
    moduleNext_ = Lookup<ModuleFn>(module, "Module32Next");
  }
  bool HasFunctions() const override {
    return snapshot_ && processFirst_ && processNext_ && moduleFirst_ && moduleNext_;
  }
  Result<std::vector<std::uint32_t>> SnapshotProcesses() override {
    unique_snapshot snap(snapshot_(TH32CS_SNAPPROCESS, 0));
    if (!snap) {
      return Result<std::vector<std::uint32_t>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    std::vector<std::uint32_t> ids;
    tagPROCESSENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = processFirst_(snap.get(), &entry); more; more = processNext_(snap.get(), &entry)) {
      ids.push_back(entry.th32ProcessID);
      entry.dwSize = sizeof(entry);
    }
    return Result<std::vector<std::uint32_t>>::Ok(ids);
  }
  Result<std::vector<std::wstring>> SnapshotModules(std::uint32_t processId) override {
    unique_snapshot snap(snapshot_(TH32CS_SNAPMODULE, processId));
    if (!snap) {
      return Result<std::vector<std::wstring>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    std::vector<std::wstring> names;
    tagMODULEENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = moduleFirst_(snap.get(), &entry); more; more = moduleNext_(snap.get(), &entry)) {
      wchar_t name[MAX_MODULE_NAME32 + 1] = {};
      ::MultiByteToWideChar(CP_ACP, 0, entry.szModule, -1, name, MAX_MODULE_NAME32 + 1);
      names.emplace_back(name);
      entry.dwSize = sizeof(entry);
    }
    return Result<std::vector<std::wstring>>::Ok(names);
  }

 private:
  using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using ProcessFn = BOOL(WINAPI*)(HANDLE, tagPROCESSENTRY32*);
  using ModuleFn = BOOL(WINAPI*)(HANDLE, tagMODULEENTRY32*);
  unique_hmodule module_;
  SnapshotFn snapshot_ = nullptr;
  ProcessFn processFirst_ = nullptr;
  ProcessFn processNext_ = nullptr;
  ModuleFn moduleFirst_ = nullptr;
  ModuleFn moduleNext_ = nullptr;
};

class Processes final : public IProcesses {
 public:
  Result<std::unique_ptr<IProcess>> Create(std::wstring_view commandLine, std::uint32_t creationFlags,
                                           std::wstring_view currentDirectory) override {
    std::wstring line(commandLine);  // CreateProcessW may write into its command line
    const std::wstring cwd(currentDirectory);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                          cwd.empty() ? nullptr : cwd.c_str(), &startup, &pi)) {
      return Result<std::unique_ptr<IProcess>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<IProcess>>::Ok(std::make_unique<Process>(pi));
  }
  Result<std::unique_ptr<IPsapi>> LoadPsapi() override {
    // From the system folder by its full path, never by a search.
    const HMODULE module = lazy::LoadSystemDll(L"psapi.dll");
    if (module == nullptr) return Result<std::unique_ptr<IPsapi>>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<std::unique_ptr<IPsapi>>::Ok(std::make_unique<Psapi>(module));
  }
  Result<std::unique_ptr<IToolhelp>> LoadToolhelp() override {
    const HMODULE module = ::LoadLibraryW(L"Kernel32.DLL");
    if (module == nullptr) return Result<std::unique_ptr<IToolhelp>>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<std::unique_ptr<IToolhelp>>::Ok(std::make_unique<Toolhelp>(module));
  }
  Result<std::unique_ptr<ITerminableProcess>> OpenForTermination(std::uint32_t processId) override {
    const HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    if (process == nullptr) {
      return Result<std::unique_ptr<ITerminableProcess>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<ITerminableProcess>>::Ok(std::make_unique<TerminableProcess>(process));
  }
};

}  // namespace

std::unique_ptr<IProcesses> MakeProcesses() { return std::make_unique<Processes>(); }

}  // namespace tv::win32
