// The real Windows behind each interface of the seam, one file per interface;
// win32_platform.cpp puts them together.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv::win32 {

std::unique_ptr<IProfile> MakeProfile();
std::unique_ptr<IRegistry> MakeRegistry();
std::unique_ptr<IProductInfo> MakeProductInfo();
std::unique_ptr<ISystem> MakeSystem(HINSTANCE instance);
std::unique_ptr<IDebugOutput> MakeDebugOutput();
std::unique_ptr<IFileSystem> MakeFileSystem();
std::unique_ptr<IProcesses> MakeProcesses();
std::unique_ptr<IDevices> MakeDevices();

// A view as the NUL-terminated text that the Windows functions take.
inline std::wstring Z(std::wstring_view text) { return std::wstring(text); }

// Whether the SID is one of these, given as SID strings ("S-1-5-18").
bool SidIsOneOf(PSID sid, std::initializer_list<const wchar_t*> sids);

// Registers the main window's class and creates the window hidden; false when
// no window could be made.
bool CreateHiddenMainWindow(HINSTANCE instance);

}  // namespace tv::win32
