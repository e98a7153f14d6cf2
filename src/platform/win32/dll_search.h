// The first thing every program of the package does: DLLs come from the
// system folder only, never from the folder of a package run from a
// download or a share, where anyone may have laid one of the same name.
#pragma once

#include <windows.h>

namespace tv::win32 {

inline void LoadDllsFromSystemOnly() {
  const HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
  if (kernel32 == nullptr) return;
  // Windows 7 and later, and Vista with its update; looked up so that the
  // programs still start on 2000 and XP.
  using SetDefault = BOOL(WINAPI*)(DWORD);
  const auto setDefault =
      reinterpret_cast<SetDefault>(reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDefaultDllDirectories")));
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (setDefault != nullptr && setDefault(kSearchSystem32)) return;
  // XP SP1 and later without it: the current folder at least leaves the search.
  using SetDirectory = BOOL(WINAPI*)(LPCWSTR);
  const auto setDirectory =
      reinterpret_cast<SetDirectory>(reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetDllDirectoryW")));
  if (setDirectory != nullptr) setDirectory(L"");
}

}  // namespace tv::win32
