// System facts: the main window, paths, versions, WOW64, the mutex, the environment, pauses; and the debugger output.
#include "platform/win32/win32_parts.h"

#include <aclapi.h>
#include <shlobj.h>

#include <sddl.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/lazy_api.h"

namespace tv::win32 {

namespace {

struct SidFromString {
  explicit SidFromString(const wchar_t* text) { ::ConvertStringSidToSidW(text, &sid); }
  ~SidFromString() { ::LocalFree(sid); }
  SidFromString(const SidFromString&) = delete;
  SidFromString& operator=(const SidFromString&) = delete;
  PSID sid = nullptr;
};

constexpr const wchar_t* kAdministratorsSid = L"S-1-5-32-544";
constexpr const wchar_t* kLocalSystemSid = L"S-1-5-18";

// Whether a kernel object's owner is Administrators or LocalSystem.
bool OwnedByAdministrators(HANDLE object) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return true;  // unreadable: take it for a copy of the tool, as before
  }
  const bool answer = SidIsOneOf(owner, {kAdministratorsSid, kLocalSystemSid});
  ::LocalFree(descriptor);
  return answer;
}

// Whether this process's token holds Administrators enabled (an elevated
// administrator or LocalSystem).
bool IsAdministrator() {
  const SidFromString administrators(kAdministratorsSid);
  BOOL member = FALSE;
  return administrators.sid && ::CheckTokenMembership(nullptr, administrators.sid, &member) && member;
}

class Kernel32 final : public IKernel32 {
 public:
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  using RevertFn = BOOL(WINAPI*)(PVOID);

  explicit Kernel32(HMODULE module) : module_(module) {
    disable_ = reinterpret_cast<DisableFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, "Wow64DisableWow64FsRedirection")));
    revert_ =
        reinterpret_cast<RevertFn>(reinterpret_cast<void*>(::GetProcAddress(module, "Wow64RevertWow64FsRedirection")));
  }
  bool HasDisableRedirection() const override { return disable_ != nullptr; }
  bool HasRevertRedirection() const override { return revert_ != nullptr; }
  bool DisableRedirection(RedirectionValue& oldValue) override {
    // No DLL can be loaded while redirection is off: the ones a command may
    // still need are loaded first.
    lazy::LoadAll();
    PVOID old = nullptr;
    const BOOL ok = disable_(&old);
    oldValue = reinterpret_cast<RedirectionValue>(old);
    return ok != FALSE;
  }
  bool RevertRedirection(RedirectionValue oldValue) override {
    return revert_(reinterpret_cast<PVOID>(oldValue)) != FALSE;
  }

 private:
  unique_hmodule module_;
  DisableFn disable_ = nullptr;
  RevertFn revert_ = nullptr;
};

class KernelObject final : public IKernelObject {
 public:
  explicit KernelObject(HANDLE handle) : handle_(handle) {}

 private:
  unique_handle handle_;
};

class System final : public ISystem {
 public:
  explicit System(HINSTANCE instance) : instance_(instance) {}

  bool CreateHiddenMainWindow() override { return win32::CreateHiddenMainWindow(instance_); }

  // The whole path, however long: the caller decides what a path that does
  // not fit its room means, rather than being handed a cut one.
  std::wstring ModulePath() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD room = static_cast<DWORD>(path.size());
      const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), room);
      if (n == 0) return {};
      if (n < room) {
        path.resize(n);
        return path;
      }
      if (room >= 32768) return path;  // no Windows path is longer
      path.assign(static_cast<std::size_t>(room) * 2, L'\0');
    }
  }

  Result<std::wstring> ShortPath(std::wstring_view path) override {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = ::GetShortPathNameW(Z(path).c_str(), buffer, MAX_PATH);
    if (n == 0) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    if (n >= MAX_PATH) return Result<std::wstring>::Fail(err::kInsufficientBuffer);
    return Result<std::wstring>::Ok(std::wstring(buffer, n));
  }

  std::wstring CommandLine() override { return ::GetCommandLineW(); }

  Result<OsVersionRecord> OsVersion() override {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);  // the basic record, 276 bytes
    if (!::GetVersionExW(&info)) return Result<OsVersionRecord>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<OsVersionRecord>::Ok(
        OsVersionRecord{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber});
  }

  std::uint16_t UiLanguage() override { return ::GetUserDefaultUILanguage(); }
  std::uint32_t AnsiCodePage() override { return ::GetACP(); }
  WinError OpenNamedMutex(std::wstring_view name, bool* madeByAdministrators) override {
    HANDLE handle = ::OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, Z(name).c_str());
    if (handle == nullptr) return static_cast<WinError>(::GetLastError());
    if (madeByAdministrators) *madeByAdministrators = OwnedByAdministrators(handle);
    ::CloseHandle(handle);
    return err::kSuccess;
  }
  bool SystemDllLoads(std::wstring_view name) override {
    // Loaded as the tool would load it, and let go: these system DLLs keep
    // nothing of a process that loaded them.
    const HMODULE module = lazy::LoadSystemDll(name);
    if (module == nullptr) return false;
    ::FreeLibrary(module);
    return true;
  }

  // Windows 2000 and the first XP have no IsWow64Process: looked up at run
  // time so the tool still starts there, where the answer is "not WOW64".
  Result<bool> IsWow64Process() override {
    using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto fn =
        reinterpret_cast<Fn>(reinterpret_cast<void*>(kernel ? ::GetProcAddress(kernel, "IsWow64Process") : nullptr));
    if (fn == nullptr) return Result<bool>::Fail(err::kProcNotFound);
    BOOL flag = FALSE;
    if (!fn(::GetCurrentProcess(), &flag)) return Result<bool>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<bool>::Ok(flag != FALSE);
  }

  Result<std::unique_ptr<IKernel32>> LoadKernel32() override {
    const HMODULE module = ::LoadLibraryW(L"Kernel32.dll");
    if (module == nullptr) return Result<std::unique_ptr<IKernel32>>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<std::unique_ptr<IKernel32>>::Ok(std::make_unique<Kernel32>(module));
  }

  NamedMutex CreateNamedMutex(std::wstring_view name) override {
    const std::wstring key(name);
    HANDLE handle = nullptr;
    WinError lastError = err::kInvalidParameter;
    // The tool's own mutex is owned by Administrators and opens only to them
    // and LocalSystem: one of this name that anyone else owns is no copy of it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                               &descriptor, nullptr)) {
      SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
      handle = ::CreateMutexW(&attributes, FALSE, key.c_str());
      lastError = ::GetLastError();
      ::LocalFree(descriptor);
    }
    // A process that may not name Administrators the owner is no administrator:
    // its mutex keeps the default rights.
    if (handle == nullptr && lastError != ERROR_ACCESS_DENIED) {
      handle = ::CreateMutexW(nullptr, FALSE, key.c_str());
      lastError = ::GetLastError();
    }
    bool madeByAdministrators = false;
    if (handle != nullptr && lastError == ERROR_ALREADY_EXISTS) madeByAdministrators = OwnedByAdministrators(handle);
    if (handle == nullptr && lastError == ERROR_ACCESS_DENIED) madeByAdministrators = !IsAdministrator();
    return NamedMutex{handle ? std::make_unique<KernelObject>(handle) : nullptr, lastError, madeByAdministrators};
  }

  std::optional<std::wstring> Environment(std::wstring_view name) override {
    const std::wstring key(name);
    const DWORD size = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(key.c_str(), value.data(), size);
    if (n == 0 || n >= size) return std::nullopt;
    value.resize(n);
    return value;
  }

  void Pause(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
  std::uint32_t TickCount() override { return ::GetTickCount(); }
  Result<std::wstring> SystemDirectory() override {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    if (n >= MAX_PATH) return Result<std::wstring>::Fail(err::kInsufficientBuffer);
    return Result<std::wstring>::Ok(std::wstring(path, n));
  }

  Result<std::wstring> WindowsDirectory() override {
    wchar_t path[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(path, MAX_PATH);
    if (n == 0) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    if (n >= MAX_PATH) return Result<std::wstring>::Fail(err::kInsufficientBuffer);
    return Result<std::wstring>::Ok(std::wstring(path, n));
  }

  Result<std::wstring> ProgramFilesFolder() override {
    wchar_t path[MAX_PATH] = {};
    auto* folderPath = TV_LAZY(Shell32, SHGetFolderPathW);
    if (folderPath == nullptr) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    const HRESULT hr = folderPath(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, path);
    if (FAILED(hr)) return Result<std::wstring>::Fail(static_cast<WinError>(hr));
    return Result<std::wstring>::Ok(path);
  }

 private:
  HINSTANCE instance_;
};

class Debug final : public IDebugOutput {
 public:
  // tarnvale-run asks for the run events through the environment it gives
  // the tool; a debugger that only reads the trace never sees them.
  Debug() {
    wchar_t value[4] = {};
    eventsWanted_ = ::GetEnvironmentVariableW(L"TARNVALE_RUN_EVENTS", value, 4) == 1 && value[0] == L'1';
  }
  void Write(std::wstring_view text) override { ::OutputDebugStringW(Z(text).c_str()); }
  void RunEvent(std::wstring_view event) override {
    if (eventsWanted_) ::OutputDebugStringW(Z(event).c_str());
  }

 private:
  bool eventsWanted_ = false;
};

}  // namespace

std::unique_ptr<ISystem> MakeSystem(HINSTANCE instance) { return std::make_unique<System>(instance); }
std::unique_ptr<IDebugOutput> MakeDebugOutput() { return std::make_unique<Debug>(); }

bool SidIsOneOf(PSID sid, std::initializer_list<const wchar_t*> sids) {
  if (sid == nullptr) return false;
  for (const wchar_t* text : sids) {
    const SidFromString known(text);
    if (known.sid && ::EqualSid(sid, known.sid)) return true;
  }
  return false;
}

}  // namespace tv::win32
