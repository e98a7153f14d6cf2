// Text rules shared by every part of the tool: the fixed rooms of its buffers
// and ASCII-only case folding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tv {

// Rooms in characters, terminator excluded. A buffer of N characters holds N-1.
inline constexpr std::size_t kRoomPath = 259;  // MAX_PATH buffers
inline constexpr std::size_t kRoomHardwareId = 255;
inline constexpr std::size_t kRoomShort = 127;  // 128-character buffers
inline constexpr std::size_t kRoomTraceMessage = 511;
inline constexpr std::size_t kRoomScriptValue = 519;  // 520-character buffers
inline constexpr std::size_t kRoomLong = 1023;

// The buffer size that gives a room: what the private-profile reader is given.
constexpr std::size_t BufferFor(std::size_t room) { return room + 1; }

// A value longer than its room is cut to it, as a fixed buffer would cut it.
std::wstring CutTo(std::wstring_view text, std::size_t room);

constexpr wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
constexpr wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Whole-string comparison that folds the ASCII letters only.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// True when `whole` begins with `prefix`, ASCII case folded: the hardware-ID rule.
bool StartsWithNoCase(std::wstring_view whole, std::wstring_view prefix);
// Three-way comparison with ASCII folding, for ordered containers.
int CompareNoCase(std::wstring_view a, std::wstring_view b);
std::wstring ToLowerAscii(std::wstring_view text);

// FNV-1a over a name as names are compared: without ASCII case. For indexes
// of many names that must not be walked.
std::uint64_t HashNoCase(std::wstring_view name);
inline constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t FnvStep(std::uint64_t hash, wchar_t c) {
  return (hash ^ static_cast<std::uint64_t>(c)) * 1099511628211ULL;
}

struct LessNoCase {
  using is_transparent = void;
  bool operator()(std::wstring_view a, std::wstring_view b) const { return CompareNoCase(a, b) < 0; }
};

// Registry names compare without case for every letter, not only ASCII:
// Windows folds them with its upper-case table. This covers the letters of
// Latin-1, Latin Extended-A, Greek, Cyrillic, Armenian and the full-width
// Latin forms; other characters compare as they stand.
wchar_t UnicodeUpper(wchar_t c);
int CompareNoCaseUnicode(std::wstring_view a, std::wstring_view b);
bool EqualsNoCaseUnicode(std::wstring_view a, std::wstring_view b);
std::uint64_t HashNoCaseUnicode(std::wstring_view name);
struct LessNoCaseUnicode {
  using is_transparent = void;
  bool operator()(std::wstring_view a, std::wstring_view b) const { return CompareNoCaseUnicode(a, b) < 0; }
};

// A registry string's data (UTF-16LE), up to its first terminator.
std::wstring StringFromRegistryData(std::span<const std::uint8_t> data);
// A registry number's data: its first four bytes, little-endian (fewer: the ones there are).
std::uint32_t DwordFromRegistryData(std::span<const std::uint8_t> data);

// One value in UTF-8's form, whatever it is (a lone surrogate too), for
// text that must come back as it was.
void AppendUtf8(std::string& out, char32_t codePoint);
// UTF-8 <-> UTF-16 for the host side (files, console); invalid input becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

}  // namespace tv
