#include "platform/win32/win32_platform.h"

#include <cfgmgr32.h>
#include <newdev.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wbemidl.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace tv::win32 {

namespace {

std::wstring Z(std::wstring_view text) { return std::wstring(text); }

// ---- private-profile reading ----

class Profile final : public IProfile {
 public:
  std::wstring ReadString(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                          std::wstring_view defaultValue, std::size_t bufferChars) override {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    const DWORD n = ::GetPrivateProfileStringW(Z(section).c_str(), Z(key).c_str(), Z(defaultValue).c_str(),
                                               buffer.data(), static_cast<DWORD>(bufferChars), Z(file).c_str());
    return std::wstring(buffer.data(), n);
  }
  std::uint32_t ReadInt(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                        std::int32_t defaultValue) override {
    return ::GetPrivateProfileIntW(Z(section).c_str(), Z(key).c_str(), defaultValue, Z(file).c_str());
  }
  std::vector<std::wstring> ReadSectionNames(std::wstring_view file, std::size_t bufferChars) override {
    std::vector<wchar_t> buffer(bufferChars + 2, L'\0');
    const DWORD n = ::GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(bufferChars), Z(file).c_str());
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < n;) {
      std::wstring name(buffer.data() + i);
      if (name.empty()) break;
      i += static_cast<DWORD>(name.size()) + 1;
      names.push_back(std::move(name));
    }
    return names;
  }
};

// ---- registry ----

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::kUsers: return HKEY_USERS;
    case RegRoot::kCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

Result<RegKeyPtr> Open(HKEY parent, std::wstring_view path, std::uint32_t access);

class RegKey final : public IRegKey {
 public:
  explicit RegKey(HKEY key) : key_(key) {}

  Result<RegValue> QueryValue(std::wstring_view name, std::uint32_t maxBytes) override {
    RegValue value;
    value.data.resize(maxBytes);
    DWORD type = 0;
    DWORD size = maxBytes;
    const LONG rc = ::RegQueryValueExW(key_.get(), Z(name).c_str(), nullptr, &type,
                                       maxBytes == 0 ? nullptr : value.data.data(), &size);
    if (rc != ERROR_SUCCESS) return Result<RegValue>::Fail(static_cast<WinError>(rc));
    value.type = type;
    value.data.resize(size);
    return Result<RegValue>::Ok(std::move(value));
  }

  WinError SetValue(std::wstring_view name, std::uint32_t type, std::span<const std::uint8_t> data) override {
    return static_cast<WinError>(
        ::RegSetValueExW(key_.get(), Z(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
  }

  Result<std::wstring> EnumSubKey(std::uint32_t index) override {
    wchar_t name[256];
    DWORD length = 256;
    const LONG rc = ::RegEnumKeyExW(key_.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return Result<std::wstring>::Fail(static_cast<WinError>(rc));
    return Result<std::wstring>::Ok(std::wstring(name, length));
  }

  Result<RegKeyPtr> OpenSubKey(std::wstring_view path, std::uint32_t access) override {
    return Open(key_.get(), path, access);
  }

 private:
  unique_hkey key_;
};

Result<RegKeyPtr> Open(HKEY parent, std::wstring_view path, std::uint32_t access) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExW(parent, Z(path).c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) return Result<RegKeyPtr>::Fail(static_cast<WinError>(rc));
  return Result<RegKeyPtr>::Ok(std::make_unique<RegKey>(key));
}

class Registry final : public IRegistry {
 public:
  Result<RegKeyPtr> OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) override {
    return Open(RootKey(root), path, access);
  }
};

// ---- WMI ----

// The WMI locator and its interface, as the COM registration names them.
const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

class Product final : public IProductInfo {
 public:
  std::vector<Result<std::wstring>> QueryComputerSystemProduct(std::span<const std::wstring> names) override {
    std::vector<Result<std::wstring>> out(names.size(), Result<std::wstring>::Fail(err::kWbemFailed));
    OleSession ole;
    ComPtr<IWbemLocator> locator;
    HRESULT hr =
        ::CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator, locator.put_void());
    if (FAILED(hr) || !locator) return out;
    ComPtr<IWbemServices> services;
    const UniqueBstr ns(L"\\\\.\\root\\CIMV2");
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr) || !services) return out;
    hr = ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, COLE_DEFAULT_PRINCIPAL,
                             RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return out;
    ComPtr<IEnumWbemClassObject> instances;
    const UniqueBstr cls(L"Win32_ComputerSystemProduct");
    hr = services->CreateInstanceEnum(cls.get(), 0, nullptr, instances.put());
    if (FAILED(hr) || !instances) return out;
    ComPtr<IWbemClassObject> product;
    ULONG returned = 0;
    hr = instances->Next(2000, 1, product.put(), &returned);
    // A time-out is a success code too, but no answer.
    if (hr != WBEM_S_NO_ERROR || returned == 0 || !product) return out;
    for (std::size_t i = 0; i < names.size(); ++i) {
      UniqueVariant value;
      hr = product->Get(names[i].c_str(), 0, value.get(), nullptr, nullptr);
      if (FAILED(hr)) {
        out[i] = Result<std::wstring>::Fail(static_cast<WinError>(hr));
        continue;
      }
      // A value that is no string (null when the firmware gives none), or
      // whose ANSI form does not fit 259 bytes, is not taken.
      if (value.get()->vt != VT_BSTR || value.get()->bstrVal == nullptr) {
        out[i] = Result<std::wstring>::Fail(err::kInvalidData);
        continue;
      }
      char ansi[260];
      if (::WideCharToMultiByte(CP_ACP, 0, value.get()->bstrVal, -1, ansi, sizeof(ansi), nullptr, nullptr) == 0) {
        out[i] = Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
        continue;
      }
      out[i] = Result<std::wstring>::Ok(CutTo(value.get()->bstrVal, kRoomPath));
    }
    return out;
  }
};

// ---- system facts ----

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

  std::wstring ModulePath() override {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : MAX_PATH - 1);
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
    const HANDLE handle = ::CreateMutexW(nullptr, FALSE, Z(name).c_str());
    const WinError lastError = ::GetLastError();
    return NamedMutex{handle ? std::make_unique<KernelObject>(handle) : nullptr, lastError};
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
  Result<std::wstring> ProgramFilesFolder() override {
    wchar_t path[MAX_PATH] = {};
    const HRESULT hr = ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, path);
    if (FAILED(hr)) return Result<std::wstring>::Fail(static_cast<WinError>(hr));
    return Result<std::wstring>::Ok(path);
  }

 private:
  HINSTANCE instance_;
};

// ---- files ----

class FileWriter final : public IFileWriter {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}
  WinError Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      if (!::WriteFile(file_.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
        return static_cast<WinError>(::GetLastError());
      }
      done += written;
    }
    return err::kSuccess;
  }
  WinError Close() override {
    if (!::FlushFileBuffers(file_.get())) return static_cast<WinError>(::GetLastError());
    file_.reset();
    return err::kSuccess;
  }

 private:
  unique_handle file_;
};

class Files final : public IFileSystem {
 public:
  bool Exists(std::wstring_view path) override { return ::PathFileExistsW(Z(path).c_str()) != FALSE; }
  Result<std::unique_ptr<IFileWriter>> CreateNewFile(std::wstring_view path) override {
    const std::wstring p(path);
    ::DeleteFileW(p.c_str());
    // CREATE_NEW: if something is still there (it could not be deleted), fail
    // rather than write into a file that someone else prepared.
    HANDLE file = ::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return Result<std::unique_ptr<IFileWriter>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<IFileWriter>>::Ok(std::make_unique<FileWriter>(file));
  }
  WinError DeleteFile(std::wstring_view path) override {
    return ::DeleteFileW(Z(path).c_str()) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  Result<std::uint32_t> Attributes(std::wstring_view path) override {
    const DWORD attributes = ::GetFileAttributesW(Z(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return Result<std::uint32_t>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<std::uint32_t>::Ok(attributes);
  }
  WinError SetAttributes(std::wstring_view path, std::uint32_t attributes) override {
    return ::SetFileAttributesW(Z(path).c_str(), attributes) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  Result<std::vector<std::wstring>> Find(std::wstring_view pattern) override {
    WIN32_FIND_DATAW data = {};
    unique_hfind search(::FindFirstFileW(Z(pattern).c_str(), &data));
    if (!search) return Result<std::vector<std::wstring>>::Fail(static_cast<WinError>(::GetLastError()));
    std::vector<std::wstring> names;
    do {
      names.emplace_back(data.cFileName);
    } while (::FindNextFileW(search.get(), &data));
    return Result<std::vector<std::wstring>>::Ok(names);
  }
  WinError CreateDirectory(std::wstring_view path) override {
    return ::CreateDirectoryW(Z(path).c_str(), nullptr) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  WinError RemoveDirectory(std::wstring_view path) override {
    return ::RemoveDirectoryW(Z(path).c_str()) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  WinError CopyFile(std::wstring_view source, std::wstring_view destination) override {
    return ::CopyFileW(Z(source).c_str(), Z(destination).c_str(), FALSE) ? err::kSuccess
                                                                         : static_cast<WinError>(::GetLastError());
  }
};

// ---- processes ----

class Process final : public IProcess {
 public:
  explicit Process(const PROCESS_INFORMATION& pi) : process_(pi.hProcess), thread_(pi.hThread) {}
  void WaitForExit() override { ::WaitForSingleObject(process_.get(), INFINITE); }

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
  std::optional<std::wstring> FirstModuleBaseName(std::uint32_t processId) override {
    unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) return std::nullopt;
    HMODULE first = nullptr;
    DWORD needed = 0;
    if (!enumModules_(process.get(), &first, sizeof(first), &needed)) return std::nullopt;
    wchar_t name[MAX_PATH] = {};
    const DWORD n = baseName_(process.get(), first, name, MAX_PATH);
    if (n == 0) return std::nullopt;
    return std::wstring(name, n);
  }

 private:
  using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
  using EnumModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using BaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
  unique_hmodule module_;
  EnumProcessesFn enumProcesses_ = nullptr;
  EnumModulesFn enumModules_ = nullptr;
  BaseNameFn baseName_ = nullptr;
};

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
    const HMODULE module = ::LoadLibraryW(L"PSAPI.DLL");
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

// ---- devices ----

class DeviceSet final : public IDeviceSet {
 public:
  explicit DeviceSet(HDEVINFO set) : set_(set) {}

  bool ListDetail() override {
    SP_DEVINFO_LIST_DETAIL_DATA_W detail = {};
    detail.cbSize = sizeof(detail);
    return ::SetupDiGetDeviceInfoListDetailW(set_.get(), &detail) != FALSE;
  }
  WinError Enum(std::uint32_t index) override {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    if (!::SetupDiEnumDeviceInfo(set_.get(), index, &data)) return static_cast<WinError>(::GetLastError());
    if (devices_.size() <= index) devices_.resize(index + 1);
    devices_[index] = data;
    return err::kSuccess;
  }
  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override {
    auto bytes = Property(index, SPDRP_HARDWAREID);
    if (!bytes) return Result<std::vector<std::wstring>>::Fail(bytes.error());
    // A multi-string: each ID ends at its terminator, the list at an empty one
    // or at the end of the data.
    std::vector<std::wstring> ids;
    const auto* text = reinterpret_cast<const wchar_t*>(bytes->data());
    const std::size_t chars = bytes->size() / sizeof(wchar_t);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= chars; ++i) {
      if (i == chars || text[i] == L'\0') {
        if (i == start) break;
        ids.emplace_back(text + start, i - start);
        start = i + 1;
      }
    }
    return Result<std::vector<std::wstring>>::Ok(ids);
  }
  Result<std::wstring> DriverKey(std::uint32_t index) override {
    auto bytes = Property(index, SPDRP_DRIVER);
    if (!bytes) return Result<std::wstring>::Fail(bytes.error());
    std::wstring key(reinterpret_cast<const wchar_t*>(bytes->data()), bytes->size() / sizeof(wchar_t));
    key.resize(std::wcslen(key.c_str()));
    return Result<std::wstring>::Ok(key);
  }
  WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope,
                             std::uint32_t hardwareProfile) override {
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = state;
    params.Scope = scope;
    params.HwProfile = hardwareProfile;
    if (!::SetupDiSetClassInstallParamsW(set_.get(), Device(index), &params.ClassInstallHeader, sizeof(params))) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }
  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    if (!::SetupDiCallClassInstaller(function, set_.get(), Device(index)))
      return static_cast<WinError>(::GetLastError());
    return err::kSuccess;
  }
  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    SP_DEVINSTALL_PARAMS_W params = {};
    params.cbSize = sizeof(params);
    if (!::SetupDiGetDeviceInstallParamsW(set_.get(), Device(index), &params)) {
      return Result<std::uint32_t>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::uint32_t>::Ok(params.Flags);
  }
  Result<DevNodeStatus> Status(std::uint32_t index) override {
    ULONG status = 0;
    ULONG problem = 0;
    const CONFIGRET cr = ::CM_Get_DevNode_Status(&status, &problem, Device(index)->DevInst, 0);
    if (cr != CR_SUCCESS) return Result<DevNodeStatus>::Fail(static_cast<WinError>(cr));
    return Result<DevNodeStatus>::Ok(DevNodeStatus{status, problem});
  }

 private:
  SP_DEVINFO_DATA* Device(std::uint32_t index) { return &devices_.at(index); }

  // The grow-the-buffer loop of SetupDiGetDeviceRegistryPropertyW, once for every property.
  Result<std::vector<BYTE>> Property(std::uint32_t index, DWORD property) {
    std::vector<BYTE> buffer;
    DWORD required = 0;
    while (!::SetupDiGetDeviceRegistryPropertyW(set_.get(), Device(index), property, nullptr,
                                                buffer.empty() ? nullptr : buffer.data(),
                                                static_cast<DWORD>(buffer.size()), &required)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) return Result<std::vector<BYTE>>::Fail(static_cast<WinError>(error));
      buffer.assign(required + sizeof(wchar_t) * 2, 0);  // room for terminators the data may lack
    }
    buffer.resize(std::min<std::size_t>(buffer.size(), required));
    return Result<std::vector<BYTE>>::Ok(std::move(buffer));
  }

  unique_hdevinfo set_;
  std::vector<SP_DEVINFO_DATA> devices_;
};

class Devices final : public IDevices {
 public:
  Result<std::unique_ptr<IDeviceSet>> ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                std::uint32_t flags) override {
    GUID cls = {};
    std::wstring text(classGuid);
    if (!classGuid.empty() && ::CLSIDFromString(text.data(), &cls) != NOERROR) {
      return Result<std::unique_ptr<IDeviceSet>>::Fail(err::kInvalidParameter);
    }
    const std::wstring enumText(enumerator);
    HDEVINFO set = ::SetupDiGetClassDevsW(classGuid.empty() ? nullptr : &cls,
                                          enumerator.empty() ? nullptr : enumText.c_str(), nullptr, flags);
    return Wrap(set);
  }
  Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() override {
    return Wrap(::SetupDiGetClassDevsExW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr,
                                         nullptr));
  }
  Result<DevInst> LocateRoot() override {
    DEVINST root = 0;
    const CONFIGRET cr = ::CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
    if (cr != CR_SUCCESS) return Result<DevInst>::Fail(static_cast<WinError>(cr));
    return Result<DevInst>::Ok(root);
  }
  std::uint32_t Reenumerate(DevInst node) override { return ::CM_Reenumerate_DevNode(node, CM_REENUMERATE_NORMAL); }
  WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) override {
    if (!::UpdateDriverForPlugAndPlayDevicesW(nullptr, Z(hardwareId).c_str(), Z(infPath).c_str(), flags, nullptr)) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }
  std::uint32_t WaitNoPendingInstallEvents() override { return ::CMP_WaitNoPendingInstallEvents(INFINITE); }
  WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) override {
    if (!::SetupCopyOEMInfW(Z(infPath).c_str(), Z(mediaLocation).c_str(), SPOST_PATH, 0, nullptr, 0, nullptr,
                            nullptr)) {
      return static_cast<WinError>(::GetLastError());
    }
    return err::kSuccess;
  }

 private:
  static Result<std::unique_ptr<IDeviceSet>> Wrap(HDEVINFO set) {
    if (set == INVALID_HANDLE_VALUE) {
      return Result<std::unique_ptr<IDeviceSet>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<IDeviceSet>>::Ok(std::make_unique<DeviceSet>(set));
  }
};

class Debug final : public IDebugOutput {
 public:
  void Write(std::wstring_view text) override { ::OutputDebugStringW(Z(text).c_str()); }
};

}  // namespace

struct Win32Platform::Parts {
  explicit Parts(HINSTANCE instance) : system(instance) {}
  Profile profile;
  Registry registry;
  Product product;
  System system;
  Debug debug;
  Files files;
  Processes processes;
  Devices devices;
};

Win32Platform::Win32Platform(HINSTANCE instance) : parts_(std::make_unique<Parts>(instance)) {}
Win32Platform::~Win32Platform() = default;

Platform Win32Platform::get() {
  return Platform{parts_->profile, parts_->registry, parts_->product,   parts_->system,
                  parts_->debug,   parts_->files,    parts_->processes, parts_->devices};
}

}  // namespace tv::win32
