// The DLLs that only device commands, file checks and the install root need
// (SetupAPI, newdev, shlwapi, shell32) are loaded by the first call that
// needs them, not at start-up: a run that installs no driver does not pay
// for them. They are loaded from the system folder only, never from the
// package beside the tool. A DLL or entry point that cannot be had makes the
// call fail with ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND, which the
// command traces as it traces any failure of that call.
#pragma once

#include <windows.h>

#include <string_view>

namespace tv::win32::lazy {

struct Library {
  const wchar_t* file;
  HMODULE module = nullptr;
  DWORD error = ERROR_SUCCESS;  // why it could not be loaded, once tried
  bool tried = false;
};

Library& SetupApi();
Library& NewDev();
Library& ShlwApi();
Library& Shell32();

// The entry point, or null with the last error set.
FARPROC Find(Library& library, const char* name);

// LoadLibraryW of a DLL of the system folder by its full path, never one
// found beside the tool; null with the last error set.
HMODULE LoadSystemDll(std::wstring_view file);

// Loads every one of them now: a 32-bit process cannot load a DLL while
// WOW64 file-system redirection is off, so this comes before it is turned off.
void LoadAll();

// The function `name` with the type of its declaration in the SDK headers
// (calling convention included), or null.
template <class Function>
Function* Get(Library& library, const char* name) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(Find(library, name)));
}

}  // namespace tv::win32::lazy

// TV_LAZY(SetupApi, SetupDiEnumDeviceInfo): the entry point, typed as declared.
#define TV_LAZY(library, function) ::tv::win32::lazy::Get<decltype(::function)>(::tv::win32::lazy::library(), #function)
