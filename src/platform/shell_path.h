// The shell's path functions, with their documented effects, on std::wstring.
// Written once so that the real build and the simulated one split paths alike.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tv::shell {

// Index of the extension: the last "." not followed by a space or a
// backslash; the text's length when there is none (PathFindExtensionW).
std::size_t FindExtension(std::wstring_view path);
// The extension with its leading ".", or empty.
std::wstring Extension(std::wstring_view path);
// PathRemoveExtensionW.
std::wstring RemoveExtension(std::wstring_view path);
// PathRenameExtensionW: replaces the extension, or appends when there is none.
// Fails (nullopt) when the result would not fit in MAX_PATH.
std::optional<std::wstring> RenameExtension(std::wstring_view path, std::wstring_view extension);
// Index of the file name (PathFindFileNameW).
std::size_t FindFileName(std::wstring_view path);
// PathStripPathW: the file name alone.
std::wstring StripPath(std::wstring_view path);
// PathRemoveFileSpecW: the folder, without a trailing backslash except after a drive or root.
std::wstring RemoveFileSpec(std::wstring_view path);
// PathGetArgsW: what follows the first blank outside quotation marks.
std::wstring GetArgs(std::wstring_view commandLine);
// PathAppendW: joins with one backslash and resolves "." and ".."; nullopt when
// the result would not fit in MAX_PATH.
std::optional<std::wstring> Append(std::wstring_view path, std::wstring_view more);

}  // namespace tv::shell
