// What each step of the tool's start-up costs, measured with the calls the
// tool makes and in its order: the process start (loader, static imports,
// runtime), the one WMI query, the run contexts of the process-wide objects,
// the 12 opens of the debug-switch key, the hidden window, the instance
// mutex and the script's first reads; then, for comparison, the DLLs that
// only device and shell commands load. One line per step in milliseconds;
// run it several times (each step's first cost in a process is what start-up
// pays).
#include <ole2.h>
#include <wbemidl.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <initializer_list>

namespace {

double Now() {
  LARGE_INTEGER f;
  LARGE_INTEGER c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void Step(const char* name, double& t) {
  const double now = Now();
  std::printf("%s %.2f\n", name, now - t);
  t = Now();
}

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(w, m, wp, lp); }

void QueryWmi() {
  const CLSID locatorClass = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
  const IID locatorInterface = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
  ::OleInitialize(nullptr);
  IWbemLocator* locator = nullptr;
  if (SUCCEEDED(::CoCreateInstance(locatorClass, nullptr, CLSCTX_INPROC_SERVER, locatorInterface,
                                   reinterpret_cast<void**>(&locator)))) {
    IWbemServices* services = nullptr;
    BSTR ns = ::SysAllocString(L"\\\\.\\root\\CIMV2");
    if (SUCCEEDED(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services))) {
      IEnumWbemClassObject* instances = nullptr;
      BSTR cls = ::SysAllocString(L"Win32_ComputerSystemProduct");
      if (SUCCEEDED(services->CreateInstanceEnum(cls, 0, nullptr, &instances))) {
        IWbemClassObject* product = nullptr;
        ULONG returned = 0;
        if (instances->Next(2000, 1, &product, &returned) == WBEM_S_NO_ERROR && returned == 1) product->Release();
        instances->Release();
      }
      ::SysFreeString(cls);
      services->Release();
    }
    ::SysFreeString(ns);
    locator->Release();
  }
}

// Milliseconds from the creation of this process (the loader, the static
// imports and the runtime's start) to now.
double SinceProcessStart() {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  FILETIME now;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  ::GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& f) {
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}

}  // namespace

// The steps in the order the tool takes them.
int wmain() {
  std::printf("start %.2f\n", SinceProcessStart());
  double t = Now();
  QueryWmi();
  ::OleUninitialize();
  Step("wmi", t);
  // Each of the process-wide objects' run contexts: the module's path, the
  // short form of its folder (searched by the first only: it holds for the
  // run), the command line, the version, the UI language.
  for (int i = 0; i < 16; ++i) {
    wchar_t path[MAX_PATH];
    wchar_t shortPath[MAX_PATH];
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    *wcsrchr(path, L'\\') = 0;
    if (i == 0) ::GetShortPathNameW(path, shortPath, MAX_PATH);
    ::GetCommandLineW();
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExW(&version);
    ::GetUserDefaultUILanguage();
  }
  Step("run-contexts:16", t);
  // Each of the twelve debug traces opens the switch key once for its two switches.
  for (int i = 0; i < 12; ++i) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VELTARO\\Quillmark", 0, KEY_READ, &key) == ERROR_SUCCESS) {
      for (const wchar_t* name : {L"DebugMode", L"TestMode"}) {
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof(data);
        ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
      }
      ::RegCloseKey(key);
    }
  }
  Step("switches:12-opens", t);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TarnvaleStepClass";
  ::RegisterClassExW(&wc);
  HWND w = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                             nullptr, wc.hInstance, nullptr);
  Step(w != nullptr ? "window" : "window(failed)", t);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"startup_steps.exe");
  Step("mutex", t);
  wchar_t script[MAX_PATH];
  ::GetModuleFileNameW(nullptr, script, MAX_PATH);
  wcscpy(wcsrchr(script, L'.'), L".ini");
  wchar_t value[520];
  ::GetPrivateProfileStringW(L"INIT", L"FORCE_REGION", L"", value, 520, script);
  ::GetPrivateProfileStringW(L"INIT", L"CMD1", L"", value, 520, script);
  Step("script:2-reads", t);
  // What the tool no longer pays at start-up: the DLLs of device and shell commands.
  ::LoadLibraryW(L"setupapi.dll");
  ::LoadLibraryW(L"newdev.dll");
  Step("not-at-start:setupapi+newdev", t);
  ::LoadLibraryW(L"shlwapi.dll");
  ::LoadLibraryW(L"shell32.dll");
  Step("not-at-start:shlwapi+shell32", t);
  if (mutex != nullptr) ::CloseHandle(mutex);
  return 0;
}
