// The main window: it exists so that the tool is a proper GUI program, and is
// never shown. No message loop runs, so its menu and About box are reached
// only if some other program sends it their commands.
#include <windows.h>

#include "platform/win32/resource.h"
#include "platform/win32/win32_parts.h"

namespace tv::win32 {

namespace {

constexpr int kTitleChars = 100;
HINSTANCE g_instance = nullptr;  // kept for the About box, as a window procedure has no context of its own

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
    default: break;
  }
  return FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_ABOUT: ::DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUTBOX), window, AboutProc, 0); return 0;
        case IDM_EXIT: ::DestroyWindow(window); return 0;
        default: return ::DefWindowProcW(window, message, wParam, lParam);
      }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      ::BeginPaint(window, &paint);
      ::EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

bool CreateHiddenMainWindow(HINSTANCE instance) {
  g_instance = instance;
  wchar_t title[kTitleChars] = {};
  wchar_t className[kTitleChars] = {};
  ::LoadStringW(instance, IDS_APP_TITLE, title, kTitleChars);
  ::LoadStringW(instance, IDC_TARNVALE, className, kTitleChars);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(WNDCLASSEXW);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_TARNVALE));
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszMenuName = MAKEINTRESOURCEW(IDC_TARNVALE);
  wc.lpszClassName = className;
  wc.hIconSm = ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
  ::RegisterClassExW(&wc);

  HWND window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr,
                                  nullptr, instance, nullptr);
  if (window == nullptr) return false;
  ::ShowWindow(window, SW_HIDE);
  ::UpdateWindow(window);
  return true;
}

}  // namespace tv::win32
