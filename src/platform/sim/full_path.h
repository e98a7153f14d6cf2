// The full path Windows makes of a path before it opens anything
// (GetFullPathNameW): relative paths against the current directory, "/" as
// "\", runs of separators as one, "." and ".." resolved, trailing dots and
// blanks dropped. A "\\?\" path is taken as it stands, as the file
// functions take it (GetFullPathNameW itself resolves its "..").
#pragma once

#include <string>
#include <string_view>

namespace tv::sim {

// `currentDirectory` is a full path such as C:\Tools.
std::wstring FullPathName(std::wstring_view path, std::wstring_view currentDirectory);

// The path a file operation reaches: the full path, without the "\\?\"
// prefix (and "\\?\UNC\" as "\\").
std::wstring PathToOpen(std::wstring_view path, std::wstring_view currentDirectory);

}  // namespace tv::sim
