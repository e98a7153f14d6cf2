// The rules of the driver installation that its command and the linter share:
// the section a Windows version reads and the install folders it accepts.
#pragma once

#include <string>

#include "platform/platform.h"
#include "runtime/run_context.h"

namespace tv {

// The section ending by Windows version: "_2000", "_XP", "_VISTA" or none.
std::wstring OsClassSectionEnding(std::uint32_t osClass);

// What a folder under the install root is, for a command that empties or
// writes into it: the install folder is deleted before the copy.
enum class Subfolder {
  kSafe,
  kOutsideTheRoot,   // empty, absolute, the root itself or climbing out of it with ..
  kSharedByWindows,  // Common Files and the other folders that Windows keeps there
};
Subfolder CheckInstallSubfolder(std::wstring_view destination);
// A destination given relative to `root`, judged as the folder PathAppendW
// makes of it: a leading backslash dropped, "." and ".." resolved, a drive or
// a share taking the root's place.
Subfolder CheckAppendedSubfolder(std::wstring_view root, std::wstring_view value);
bool IsSafeInstallSubfolder(std::wstring_view destination);

// The folder Windows reaches for `path`: each component without the closing
// dots and blanks that Win32 path normalization drops, and the part that
// exists with each component in its long form (an 8.3 alias such as COMMON~1
// as the folder it stands for).
std::wstring ReachedFolder(IFileSystem& files, std::wstring_view path);

// True when one path is the other or lies inside it (ASCII case ignored,
// trailing backslashes too).
bool PathsOverlap(std::wstring_view a, std::wstring_view b);
// True when `inner` is `outer` or lies inside it.
bool PathIsInside(std::wstring_view inner, std::wstring_view outer);

}  // namespace tv
