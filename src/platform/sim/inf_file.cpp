#include "platform/sim/inf_file.h"

#include <algorithm>
#include <cstdlib>

#include "platform/sim/ansi.h"
#include "platform/text.h"

namespace tv::sim {

namespace {

constexpr wchar_t kCtrlZ = 0x1A;
constexpr std::size_t kMostFieldChars = 511;  // longer fields are cut off
constexpr std::size_t kMostSectionNameChars = 255;

bool IsInfSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

}  // namespace

// The parser's rules: ";" starts a comment; fields are split at commas; blanks
// around a field go, blanks inside it stay; quotation marks keep what they
// enclose ("" is one mark) and, left open, run to the line end; a backslash
// followed by nothing but blanks (and a comment) joins the next line to the
// field, elsewhere it is text; "=" in the first field makes it the line's
// key; a Ctrl-Z ends the file. A section header without "]", or a line before
// the first section, makes the whole file unreadable: nothing is installed.
InfParse ParseInfText(std::wstring_view text) {
  if (const auto z = text.find(kCtrlZ); z != std::wstring_view::npos) text = text.substr(0, z);
  InfText sections;
  std::size_t pos = 0;
  const std::size_t end = text.size();
  // SetupOpenInfFile's answer for a file it cannot read, with the line (from 1) where it stopped.
  auto failAt = [&](WinError error) {
    const auto line = static_cast<std::size_t>(std::count(text.begin(), text.begin() + pos, L'\n')) + 1;
    return InfParse{std::nullopt, error, line};
  };
  auto skipToLineEnd = [&] {
    while (pos < end && text[pos] != L'\n') ++pos;
  };
  // After a backslash at `pos`: true (and past the line end) when only blanks,
  // more backslashes and a comment follow on this line.
  auto continues = [&] {
    std::size_t p = pos;
    while (p < end && (text[p] == L'\\' || (IsInfSpace(text[p]) && text[p] != L'\n'))) ++p;
    if (p < end && text[p] == L';') {
      while (p < end && text[p] != L'\n') ++p;
    }
    if (p < end && text[p] == L'\n') {
      pos = p + 1;
      return true;
    }
    if (p >= end) {
      pos = end;
      return true;
    }
    return false;
  };
  while (pos < end) {
    const wchar_t c = text[pos];
    if (IsInfSpace(c)) {
      ++pos;
      continue;
    }
    if (c == L';') {
      skipToLineEnd();
      continue;
    }
    if (c == L'[') {
      const std::size_t close = text.find_first_of(L"]\n", pos + 1);
      if (close == std::wstring_view::npos || text[close] != L']') return failAt(inf_error::kBadSectionNameLine);
      std::wstring name(text.substr(pos + 1, close - pos - 1));
      if (name.size() > kMostSectionNameChars) return failAt(inf_error::kSectionNameTooLong);
      for (auto& ch : name) {
        if (ch == 0) ch = L' ';
      }
      auto same = std::find_if(sections.begin(), sections.end(),
                               [&](const InfSection& s) { return EqualsNoCase(s.name, name); });
      if (same == sections.end()) {
        sections.push_back(InfSection{std::move(name), {}});
      } else {
        // The lines of a second section of the same name go on the first:
        // it moves to the end, where lines are added.
        std::rotate(same, same + 1, sections.end());
      }
      pos = close + 1;
      skipToLineEnd();
      continue;
    }
    if (sections.empty()) return failAt(inf_error::kExpectedSectionName);
    InfLine line;
    std::wstring field;
    std::wstring blanks;  // after the text so far; kept only if more text follows
    bool first = true;
    auto put = [&](std::wstring_view more) {
      for (wchar_t ch : more) {
        if (field.size() < kMostFieldChars) field += ch == 0 ? L' ' : ch;
      }
    };
    auto skipLeadingBlanks = [&] {
      while (pos < end && text[pos] != L'\n' && IsInfSpace(text[pos])) ++pos;
    };
    auto closeField = [&] {
      line.fields.push_back(std::move(field));
      field.clear();
      blanks.clear();
    };
    bool lineDone = false;
    while (!lineDone) {
      if (pos >= end || text[pos] == L'\n') {
        closeField();
        lineDone = true;
        break;
      }
      const wchar_t ch = text[pos];
      if (ch == L'"') {
        put(blanks);
        blanks.clear();
        ++pos;
        while (pos < end && text[pos] != L'\n') {
          if (text[pos] == L'"') {
            if (pos + 1 < end && text[pos + 1] == L'"') {
              put(L"\"");
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          put(text.substr(pos, 1));
          ++pos;
        }
      } else if (ch == L',') {
        first = false;
        ++pos;
        closeField();
        skipLeadingBlanks();
      } else if (ch == L';') {
        closeField();
        skipToLineEnd();
        lineDone = true;
      } else if (ch == L'=' && first && !line.key) {
        line.key = field;
        field.clear();
        blanks.clear();
        first = false;
        ++pos;
        skipLeadingBlanks();
      } else if (ch == L'\\') {
        const std::size_t backslash = pos;
        if (continues()) {
          blanks.clear();
          skipLeadingBlanks();
        } else {
          // Text after all: the blanks before it, the backslashes and the blanks after them stay.
          std::size_t p = backslash;
          while (p < end && (text[p] == L'\\' || (IsInfSpace(text[p]) && text[p] != L'\n'))) ++p;
          put(blanks);
          blanks.clear();
          put(text.substr(backslash, p - backslash));
          pos = p;
        }
      } else if (IsInfSpace(ch)) {
        blanks += ch;
        ++pos;
      } else {
        put(blanks);
        blanks.clear();
        put(text.substr(pos, 1));
        ++pos;
      }
    }
    sections.back().lines.push_back(std::move(line));
  }
  return InfParse{std::move(sections), 0, 0};
}

const InfSection* FindSection(const InfText& inf, std::wstring_view name) {
  for (const auto& s : inf) {
    if (EqualsNoCase(s.name, name)) return &s;
  }
  return nullptr;
}

const InfLine* FindLine(const InfSection& section, std::wstring_view key) {
  for (const auto& line : section.lines) {
    if (line.key && EqualsNoCase(*line.key, key)) return &line;
  }
  return nullptr;
}

namespace {

// A directory ID's folder as the installer gives it, or nothing for an ID it
// does not know (the reference then stays as written).
std::optional<std::wstring> DirectoryOfId(long id, const InfDirectories& dirs) {
  const std::wstring& windows = dirs.windows;
  const std::wstring system = windows + L"\\system32";
  switch (id) {
    case 0:       // no folder
    case -1:      // an absolute path follows
    case 0xFFFF:  // the same, in 16-bit form
      return std::wstring();
    case 1: {  // the folder of the INF, with its closing backslash
      const auto slash = dirs.infFile.rfind(L'\\');
      return slash == std::wstring::npos ? std::wstring() : dirs.infFile.substr(0, slash + 1);
    }
    case 10: return windows;
    case 11: return system;
    case 12: return system + L"\\drivers";
    case 17: return windows + L"\\inf";
    case 18: return windows + L"\\help";
    case 20: return windows + L"\\fonts";
    case 21: return system + L"\\viewers";
    case 24:  // the root of the system drive, and the boot folders on it
    case 30:
    case 54: return windows.size() >= 2 ? windows.substr(0, 2) + L"\\" : std::wstring(L"C:\\");
    case 25: return windows;
    case 50: return windows + L"\\system";
    case 51: return windows + L"\\spool";
    case 53:
      if (!dirs.userProfile.empty()) return dirs.userProfile;
      return std::nullopt;
    default: return std::nullopt;
  }
}

// The [Strings] section that the machine's language picks: the one of the
// language itself ([Strings.0407]), else the one of its primary language
// with a neutral sublanguage ([Strings.0007]), else [Strings].
const InfSection* StringsFor(const InfText& inf, std::uint16_t language) {
  if (language != 0) {
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    for (const std::uint16_t id : {language, static_cast<std::uint16_t>(language & 0x3FF)}) {
      std::wstring name = L"Strings.";
      for (int shift = 12; shift >= 0; shift -= 4) name += kHex[(id >> shift) & 0xF];
      if (const auto* s = FindSection(inf, name)) return s;
    }
  }
  return FindSection(inf, L"Strings");
}

std::optional<std::wstring> StringValue(const InfSection* strings, std::wstring_view name) {
  if (strings == nullptr) return std::nullopt;
  for (const auto& line : strings->lines) {
    if (line.key && EqualsNoCase(*line.key, name)) {
      if (!line.fields.empty()) return line.fields.front();
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

// The substitution the installer makes in a field when it reads it: "%%" is
// one percent sign; "%name%" the first field of that line of the language's
// strings section or else of [Strings] (compared without case), else, when the name is a decimal number, the
// folder of that directory ID (a closing backslash dropped when one follows
// in the text); any other %name% stays as written, and so does a lone "%".
std::wstring Substitute(std::wstring_view field, const InfText& inf, const InfDirectories& dirs) {
  if (field.find(L'%') == std::wstring_view::npos) return std::wstring(field);
  const InfSection* strings = StringsFor(inf, dirs.language);
  const InfSection* plain = FindSection(inf, L"Strings");
  std::wstring out;
  std::size_t i = 0;
  while (i < field.size()) {
    const std::size_t open = field.find(L'%', i);
    const std::size_t close = open == std::wstring_view::npos ? open : field.find(L'%', open + 1);
    if (close == std::wstring_view::npos) {
      out += field.substr(i);
      break;
    }
    out += field.substr(i, open - i);
    const std::wstring_view name = field.substr(open + 1, close - open - 1);
    std::optional<std::wstring> value;
    if (name.empty()) {
      value = L"%";
    } else {
      value = StringValue(strings, name);
      if (!value && strings != plain) value = StringValue(plain, name);
      if (!value) {
        // strtol in base 10: leading blanks and a sign, and nothing after the digits.
        const std::string narrow = ToUtf8(name);
        char* stop = nullptr;
        const long id = std::strtol(narrow.c_str(), &stop, 10);
        if (stop != narrow.c_str() && *stop == 0) {
          value = DirectoryOfId(id, dirs);
          if (value && close + 1 < field.size() && field[close + 1] == L'\\' && !value->empty() &&
              value->back() == L'\\') {
            value->pop_back();
          }
        }
      }
    }
    out += value ? *value : std::wstring(field.substr(open, close - open + 1));
    i = close + 1;
  }
  return out;
}

std::optional<std::wstring> Field(const InfLine& line, std::size_t n, const InfText& inf, const InfDirectories& dirs) {
  if (n == 0 || n > line.fields.size()) return std::nullopt;
  return Substitute(line.fields[n - 1], inf, dirs);
}

InfParse OpenInf(std::span<const std::uint8_t> bytes, unsigned ansiCodePage) {
  InfParse parsed = ParseInfText(DecodeTextFile(bytes, ansiCodePage));
  if (!parsed.inf) return parsed;
  // The signature is read as written, without substitution.
  if (const auto* version = FindSection(*parsed.inf, L"Version")) {
    if (const auto* line = FindLine(*version, L"Signature"); line != nullptr && !line->fields.empty()) {
      for (const wchar_t* known : {L"$Windows NT$", L"$Chicago$", L"$Windows 95$"}) {
        if (EqualsNoCase(line->fields.front(), known)) return parsed;
      }
    }
  }
  return InfParse{std::nullopt, inf_error::kWrongInfStyle, 0};
}

}  // namespace tv::sim
