// Helper of the Wine tests, doing what a test needs of the machine around the tool:
//   winhelper mutex NAME MILLISECONDS [SDDL]   holds a named mutex (prints "ready" once held)
//   winhelper mkdev CLASS-GUID HWID...  creates a root-enumerated device, prints its instance ID
//   winhelper rmdev HWID                removes every device whose first hardware ID is HWID
//   winhelper manifest EXE              prints the application manifest of EXE, as the loader finds it
//   winhelper version EXE               prints the product name, description and file version of EXE
//   winhelper exitcode PROGRAM ARGS...  runs PROGRAM and prints its whole exit code ("exit=3010"),
//                                       which Wine cuts to its low byte for the Unix shell
// Copied under another name it is a program for the tool to start:
//   recorder*.exe appends its command line and current folder to recorded.txt beside it
//   sleeper.exe   waits three seconds, then writes survived.txt beside it
#include <objbase.h>
#include <setupapi.h>
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// With a security descriptor (SDDL) the mutex is made as that owner would
// make it (the tool's own: "O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"); without one,
// with the default rights of whoever runs the helper.
int HoldMutex(const wchar_t* name, const wchar_t* milliseconds, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl != nullptr &&
      !::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
    return 2;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  HANDLE mutex = ::CreateMutexW(descriptor ? &attributes : nullptr, TRUE, name);
  if (descriptor) ::LocalFree(descriptor);
  if (mutex == nullptr) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  ::Sleep(static_cast<DWORD>(_wtoi(milliseconds)));
  ::CloseHandle(mutex);
  return 0;
}

int PrintManifest(const wchar_t* exe) {
  HMODULE module = ::LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return 1;
  int result = 2;
  if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    if (HGLOBAL loaded = ::LoadResource(module, found)) {
      std::fwrite(::LockResource(loaded), 1, ::SizeofResource(module, found), stdout);
      result = 0;
    }
  }
  ::FreeLibrary(module);
  return result;
}

int PrintVersion(const wchar_t* exe) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(exe, &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(exe, 0, size, data.data())) return 1;
  for (const wchar_t* name : {L"ProductName", L"FileDescription", L"FileVersion", L"OriginalFilename"}) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    if (!::VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) return 2;
    std::wprintf(L"%ls=%ls\n", name, value);
  }
  return 0;
}

int MakeDeviceOnce(const GUID& cls, int count, wchar_t** ids);

// Wine's device services can still be busy a moment after a new prefix
// starts or a device goes: a device that cannot be made is tried again.
int MakeDevice(const wchar_t* classText, int count, wchar_t** ids) {
  GUID cls;
  std::wstring text(classText);
  if (::CLSIDFromString(text.data(), &cls) != S_OK) return 2;
  for (int attempt = 1;; ++attempt) {
    if (MakeDeviceOnce(cls, count, ids) == 0) return 0;
    const DWORD error = ::GetLastError();
    if (attempt == 5) {
      std::fwprintf(stderr, L"mkdev: the device could not be made, error 0x%lx\n", error);
      return 1;
    }
    ::Sleep(500);
  }
}

int MakeDeviceOnce(const GUID& classGuid, int count, wchar_t** ids) {
  GUID cls = classGuid;
  HDEVINFO set = ::SetupDiCreateDeviceInfoList(&cls, nullptr);
  if (set == INVALID_HANDLE_VALUE) return 1;
  SP_DEVINFO_DATA dev = {};
  dev.cbSize = sizeof(dev);
  int rc = 1;
  if (::SetupDiCreateDeviceInfoW(set, L"TARNVALETEST", &cls, nullptr, nullptr, DICD_GENERATE_ID, &dev)) {
    std::vector<wchar_t> multi;
    for (int i = 0; i < count; ++i) {
      multi.insert(multi.end(), ids[i], ids[i] + wcslen(ids[i]));
      multi.push_back(L'\0');
    }
    multi.push_back(L'\0');
    if (::SetupDiSetDeviceRegistryPropertyW(set, &dev, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(multi.data()),
                                            static_cast<DWORD>(multi.size() * sizeof(wchar_t))) &&
        ::SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &dev)) {
      wchar_t id[200];
      if (::SetupDiGetDeviceInstanceIdW(set, &dev, id, 200, nullptr)) std::wprintf(L"%ls\n", id);
      rc = 0;
    }
  }
  const DWORD error = ::GetLastError();
  ::SetupDiDestroyDeviceInfoList(set);
  ::SetLastError(error);
  return rc;
}

int RemoveDevices(const wchar_t* hwid) {
  HDEVINFO set = ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return 1;
  int removed = 0;
  SP_DEVINFO_DATA dev = {};
  dev.cbSize = sizeof(dev);
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
    wchar_t ids[1024] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                             sizeof(ids) - 2 * sizeof(wchar_t), nullptr)) {
      continue;
    }
    if (_wcsicmp(ids, hwid) == 0 && ::SetupDiCallClassInstaller(DIF_REMOVE, set, &dev)) ++removed;
  }
  ::SetupDiDestroyDeviceInfoList(set);
  std::printf("%d\n", removed);
  return 0;
}

// The folder of this executable, with a trailing backslash.
std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\') + 1);
}

void AppendUtf8(const std::wstring& file, const std::wstring& text) {
  const int n =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  HANDLE h = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(h);
}

int PrintExitCode(int argc, wchar_t** argv) {
  std::wstring commandLine;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) commandLine += L' ';
    const std::wstring arg = argv[i];
    commandLine += arg.find(L' ') == std::wstring::npos && !arg.empty() ? arg : L"\"" + arg + L"\"";
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &pi)) {
    std::printf("cannot start: error %lu\n", ::GetLastError());
    return 2;
  }
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  std::printf("exit=%lu\n", code);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring name = std::wstring(self).substr(std::wstring(self).rfind(L'\\') + 1);
  if (_wcsnicmp(name.c_str(), L"recorder", 8) == 0) {
    wchar_t cwd[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, cwd);
    AppendUtf8(OwnFolder() + L"recorded.txt",
               std::wstring(L"cmdline=") + ::GetCommandLineW() + L"\ncwd=" + cwd + L"\n");
    return 0;
  }
  if (_wcsicmp(name.c_str(), L"sleeper.exe") == 0) {
    ::Sleep(3000);
    AppendUtf8(OwnFolder() + L"survived.txt", L"survived\n");
    return 0;
  }
  const std::wstring verb = argc > 1 ? argv[1] : L"";
  if (verb == L"mutex" && (argc == 4 || argc == 5)) return HoldMutex(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  if (verb == L"mkdev" && argc >= 4) return MakeDevice(argv[2], argc - 3, argv + 3);
  if (verb == L"rmdev" && argc == 3) return RemoveDevices(argv[2]);
  if (verb == L"manifest" && argc == 3) return PrintManifest(argv[2]);
  if (verb == L"version" && argc == 3) return PrintVersion(argv[2]);
  if (verb == L"exitcode" && argc >= 3) return PrintExitCode(argc - 2, argv + 2);
  // Starts and ends: what Wine's start of a program costs, for the benchmarks.
  if (verb == L"nothing" && argc == 2) return 0;
  std::fprintf(stderr, "usage: winhelper mutex NAME MS [SDDL] | mkdev CLASS-GUID HWID... | rmdev HWID\n");
  return 2;
}
