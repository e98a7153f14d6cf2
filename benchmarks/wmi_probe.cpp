// The yardstick of the tool's start-up under Wine: a GUI program built with
// the same toolchain that asks WMI once for Win32_ComputerSystemProduct and exits.
// Built with WITH_HIDDEN_WINDOW (wmi_window_probe) it first makes a hidden main
// window as the tool must, so that the two yardsticks tell the tool's own
// cost apart from the window's.
#include <ole2.h>
#include <wbemidl.h>
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#ifdef WITH_HIDDEN_WINDOW
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"WMIPROBE";
  ::RegisterClassExW(&wc);
  HWND window = ::CreateWindowExW(0, L"WMIPROBE", L"WMI probe", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                  nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 2;
  ::ShowWindow(window, SW_HIDE);
  ::UpdateWindow(window);
#else
  (void)instance;
#endif
  const CLSID locatorClass = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
  const IID locatorInterface = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
  ::OleInitialize(nullptr);
  IWbemLocator* locator = nullptr;
  int rc = 1;
  if (SUCCEEDED(::CoCreateInstance(locatorClass, nullptr, CLSCTX_INPROC_SERVER, locatorInterface,
                                   reinterpret_cast<void**>(&locator)))) {
    IWbemServices* services = nullptr;
    BSTR ns = ::SysAllocString(L"\\\\.\\root\\CIMV2");
    if (SUCCEEDED(locator->ConnectServer(ns, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services))) {
      ::CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, COLE_DEFAULT_PRINCIPAL, RPC_C_AUTHN_LEVEL_CALL,
                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
      IEnumWbemClassObject* instances = nullptr;
      BSTR cls = ::SysAllocString(L"Win32_ComputerSystemProduct");
      if (SUCCEEDED(services->CreateInstanceEnum(cls, 0, nullptr, &instances))) {
        IWbemClassObject* product = nullptr;
        ULONG returned = 0;
        if (instances->Next(2000, 1, &product, &returned) == WBEM_S_NO_ERROR && returned == 1) {
          VARIANT v;
          ::VariantInit(&v);
          if (SUCCEEDED(product->Get(L"Version", 0, &v, nullptr, nullptr))) rc = 0;
          ::VariantClear(&v);
          product->Release();
        }
        instances->Release();
      }
      ::SysFreeString(cls);
      services->Release();
    }
    ::SysFreeString(ns);
    locator->Release();
  }
  ::OleUninitialize();
  return rc;
}
