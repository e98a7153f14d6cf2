#include "platform/win32/lazy_api.h"

#include <shlwapi.h>

#include <string>
#include <type_traits>

namespace tv::win32::lazy {

#if defined(__i386__)
// The pointers take their type from the SDK's declarations, calling
// convention included: a call through a pointer of another convention would
// unbalance the stack of the 32-bit tool.
static_assert(std::is_same_v<decltype(&::PathFileExistsW), BOOL(WINAPI*)(LPCWSTR)>);
static_assert(!std::is_same_v<BOOL(WINAPI*)(LPCWSTR), BOOL(__cdecl*)(LPCWSTR)>);
#endif

HMODULE LoadSystemDll(std::wstring_view file) {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    ::SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const std::wstring path = std::wstring(folder, n) + L"\\" + std::wstring(file);
  return ::LoadLibraryW(path.c_str());
}

namespace {

void Load(Library& library) {
  if (library.tried) return;
  library.tried = true;
  // Kept for the rest of the process, as a static import would be.
  library.module = LoadSystemDll(library.file);
  if (library.module == nullptr) library.error = ::GetLastError();
}

}  // namespace

Library& SetupApi() {
  static Library library{L"setupapi.dll"};
  return library;
}
Library& NewDev() {
  static Library library{L"newdev.dll"};
  return library;
}
Library& ShlwApi() {
  static Library library{L"shlwapi.dll"};
  return library;
}
Library& Shell32() {
  static Library library{L"shell32.dll"};
  return library;
}

FARPROC Find(Library& library, const char* name) {
  Load(library);
  if (library.module == nullptr) {
    ::SetLastError(library.error == ERROR_SUCCESS ? ERROR_MOD_NOT_FOUND : library.error);
    return nullptr;
  }
  const FARPROC proc = ::GetProcAddress(library.module, name);
  if (proc == nullptr) ::SetLastError(ERROR_PROC_NOT_FOUND);
  return proc;
}

void LoadAll() {
  for (Library* library : {&SetupApi(), &NewDev(), &ShlwApi(), &Shell32()}) Load(*library);
}

}  // namespace tv::win32::lazy
