// An INF as SetupAPI reads it: the parser's sections, lines and fields, the
// substitution of %strkey% and directory IDs, and the checks with which
// SetupOpenInfFile refuses a file. The INF installer, the driver update and
// the linter read INFs through it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tv::sim {

// One line: an optional key (the text before "=") and its fields, as written
// (nothing substituted yet).
struct InfLine {
  std::optional<std::wstring> key;
  std::vector<std::wstring> fields;
};
struct InfSection {
  std::wstring name;
  std::vector<InfLine> lines;
};
using InfText = std::vector<InfSection>;

// SetupAPI's codes for an INF it cannot open.
namespace inf_error {
inline constexpr WinError kExpectedSectionName = 0xE0000000;
inline constexpr WinError kBadSectionNameLine = 0xE0000001;
inline constexpr WinError kSectionNameTooLong = 0xE0000002;
inline constexpr WinError kWrongInfStyle = 0xE0000100;
}  // namespace inf_error

struct InfParse {
  std::optional<InfText> inf;  // none: the file cannot be read
  WinError error = 0;
  std::size_t errorLine = 0;  // from 1; 0 where no line is to blame
};

// The parser's rules over decoded text.
InfParse ParseInfText(std::wstring_view text);
inline std::optional<InfText> ParseInf(std::wstring_view text) { return ParseInfText(text).inf; }

// SetupOpenInfFile(INF_STYLE_WIN4) over a file's bytes: UTF-16 after FF FE,
// UTF-8 after its mark, otherwise the ANSI code page; then the [Version]
// Signature must be one that Windows knows ("$Windows NT$", "$Chicago$",
// "$Windows 95$", any case).
InfParse OpenInf(std::span<const std::uint8_t> bytes, unsigned ansiCodePage);

const InfSection* FindSection(const InfText& inf, std::wstring_view name);
// The first line of a section with this key, or none.
const InfLine* FindLine(const InfSection& section, std::wstring_view key);

// What the fields of an INF stand for on this machine: the folders of the
// directory IDs (%10%, %11%, %1% ...), the language that picks a
// [Strings.<LangID>] section, and the registry key HKR names.
struct InfDirectories {
  std::wstring windows = L"C:\\WINDOWS";
  std::wstring infFile;
  std::wstring userProfile;
  std::uint16_t language = 0;  // 0: [Strings] only
  std::wstring relativeKey;    // HKR: this key of HKLM; empty: HKR names nothing
};

// The substitution the installer makes in a field when it reads it.
std::wstring Substitute(std::wstring_view field, const InfText& inf, const InfDirectories& dirs);

// A line's field n (1 = the first after "="), substituted; none past the end.
std::optional<std::wstring> Field(const InfLine& line, std::size_t n, const InfText& inf, const InfDirectories& dirs);

}  // namespace tv::sim
