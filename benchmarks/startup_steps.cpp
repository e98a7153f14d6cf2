// What each step of the tool's start-up costs, measured with the calls the
// tool makes: loading the DLLs that only device and file commands need, the
// hidden window, the instance mutex, the 24 opens of the debug-switch key and
// the one WMI query. One line per step in milliseconds; run it several times
// (each step's first cost in a process is what start-up pays).
#include <ole2.h>
#include <wbemidl.h>
#include <windows.h>

#include <cstdio>

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

}  // namespace

int wmain() {
  double t = Now();
  ::LoadLibraryW(L"setupapi.dll");
  ::LoadLibraryW(L"newdev.dll");
  Step("imports:setupapi+newdev", t);
  ::LoadLibraryW(L"shlwapi.dll");
  ::LoadLibraryW(L"shell32.dll");
  Step("imports:shlwapi+shell32", t);
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
  for (int i = 0; i < 24; ++i) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\VELTARO\\Quillmark", 0, KEY_READ, &key) == ERROR_SUCCESS) {
      DWORD type = 0;
      DWORD data = 0;
      DWORD size = sizeof(data);
      ::RegQueryValueExW(key, L"DebugMode", nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
      ::RegCloseKey(key);
    }
  }
  Step("switches:24-opens", t);
  QueryWmi();
  Step("wmi", t);
  if (mutex != nullptr) ::CloseHandle(mutex);
  return 0;
}
