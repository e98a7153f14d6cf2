// What the tool learns about itself and the machine before its first
// command: its paths, its arguments, the model version and maker, the class
// of Windows and the user-interface language.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// OS classes: the Windows families that drivers tell apart.
namespace os_class {
inline constexpr std::uint32_t kWin32s = 0;
inline constexpr std::uint32_t kWin95 = 1;
inline constexpr std::uint32_t kWin98 = 2;
inline constexpr std::uint32_t kWinMe = 3;
inline constexpr std::uint32_t kNt4 = 4;
inline constexpr std::uint32_t kWin2000 = 5;
inline constexpr std::uint32_t kServer2003 = 6;
inline constexpr std::uint32_t kXp = 7;
inline constexpr std::uint32_t kVista = 8;
inline constexpr std::uint32_t kOther = 9;
}  // namespace os_class

// The OS class of a version record.
std::uint32_t OsClassOf(const OsVersionRecord& v);

class CRunContext {
 public:
  explicit CRunContext(const Platform& platform);

  // One string property of the first Win32_ComputerSystemProduct instance;
  // 1 on success, 0 on failure (and at once when no output is given).
  int QueryProductValue(std::wstring_view property, std::wstring* output);
  // Sets the OS class; 0 when the version cannot be read (the class stays).
  int ClassifyOs();

  // The region code: the sixth character of the version, or empty.
  std::wstring RegionCode() const;

  // Every text field holds at most 259 characters.
  std::wstring modulePath;
  bool modulePathCut = false;  // the whole path did not fit the room above
  std::wstring exeFileName;
  std::wstring baseName;
  std::wstring moduleDirectory;
  std::wstring shortModuleDirectory;
  std::wstring setupScriptPath;
  std::wstring registryFilePath;
  std::wstring arguments;
  std::wstring version;
  std::wstring vendor;
  std::uint32_t osClass = 0;
  std::uint16_t uiLanguage = 0;

 private:
  Platform platform_;
};

// Index of the region code in the model version string.
inline constexpr std::size_t kRegionCodeIndex = 5;

}  // namespace tv
