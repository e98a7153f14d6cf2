// A DLL that someone laid beside the tool under the name of a system DLL:
// loaded, it leaves "planted-was-loaded.txt" beside itself, which the Wine
// case looks for.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(instance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  wchar_t* slash = path;
  for (wchar_t* c = path; *c != L'\0'; ++c) {
    if (*c == L'\\') slash = c + 1;
  }
  *slash = L'\0';
  if (::lstrlenW(path) + 32 >= MAX_PATH) return TRUE;
  ::lstrcatW(path, L"planted-was-loaded.txt");
  const HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker != INVALID_HANDLE_VALUE) ::CloseHandle(marker);
  return TRUE;
}
