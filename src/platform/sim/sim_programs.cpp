#include "platform/sim/sim_programs.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace tv::sim {

namespace {

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t' || s.back() == L'\r')) s.remove_suffix(1);
  return s;
}

std::vector<std::wstring_view> Lines(std::wstring_view text) {
  std::vector<std::wstring_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == L'\n') {
      out.push_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  return out;
}

std::optional<RegRoot> ParseRoot(std::wstring_view name) {
  const std::pair<const wchar_t*, RegRoot> roots[] = {
      {L"HKLM", RegRoot::kLocalMachine},
      {L"HKEY_LOCAL_MACHINE", RegRoot::kLocalMachine},
      {L"HKCU", RegRoot::kCurrentUser},
      {L"HKEY_CURRENT_USER", RegRoot::kCurrentUser},
      {L"HKCR", RegRoot::kClassesRoot},
      {L"HKEY_CLASSES_ROOT", RegRoot::kClassesRoot},
      {L"HKU", RegRoot::kUsers},
      {L"HKEY_USERS", RegRoot::kUsers},
      {L"HKEY_CURRENT_CONFIG", RegRoot::kCurrentConfig},
  };
  for (const auto& [n, r] : roots) {
    if (EqualsNoCase(n, name)) return r;
  }
  return std::nullopt;
}

std::vector<std::uint8_t> Utf16(std::wstring_view text) {
  std::vector<std::uint8_t> out;
  for (wchar_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  return out;
}

std::vector<std::uint8_t> Utf16z(std::wstring_view text) {
  auto out = Utf16(text);
  out.insert(out.end(), {0, 0});
  return out;
}

std::vector<std::uint8_t> Dword(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
          static_cast<std::uint8_t>(v >> 24)};
}

std::uint32_t ParseNumber(std::wstring_view s) {
  s = Trim(s);
  try {
    return static_cast<std::uint32_t>(std::stoul(ToUtf8(s), nullptr, 0));
  } catch (const std::exception&) {
    return 0;
  }
}

// ---- INF ----

// The fields of an INF line: split at commas outside quotation marks, each
// trimmed, a quoted field without its marks ("" inside standing for one).
std::vector<std::wstring> InfFields(std::wstring_view line) {
  std::vector<std::wstring> fields(1);
  bool quoted = false;
  bool wasQuoted = false;
  std::wstring pending;  // blanks after the last character, kept only if more follows
  for (std::size_t i = 0; i < line.size(); ++i) {
    const wchar_t c = line[i];
    if (c == L'"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
        fields.back() += L'"';
        ++i;
      } else {
        quoted = !quoted;
        wasQuoted = true;
      }
    } else if (c == L',' && !quoted) {
      fields.emplace_back();
      pending.clear();
      wasQuoted = false;
    } else if (c == L';' && !quoted) {
      break;
    } else if ((c == L' ' || c == L'\t') && !quoted) {
      if (!fields.back().empty() || wasQuoted) pending += c;
    } else {
      fields.back() += pending;
      pending.clear();
      fields.back() += c;
    }
  }
  return fields;
}

// The string substitution the installer makes in every field it reads, inside
// quotation marks too: "%%" is one percent sign, "%name%" the value of name in
// [Strings], and a %name% that [Strings] does not define stays as it is.
using StringTable = std::map<std::wstring, std::wstring, LessNoCase>;
std::wstring Substitute(std::wstring_view field, const StringTable& strings) {
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
    const std::wstring name(field.substr(open + 1, close - open - 1));
    if (name.empty()) {
      out += L'%';
    } else if (auto it = strings.find(name); it != strings.end()) {
      out += it->second;
    } else {
      out += field.substr(open, close - open + 1);
    }
    i = close + 1;
  }
  return out;
}

std::vector<std::wstring> Fields(std::wstring_view line, const StringTable& strings) {
  auto fields = InfFields(line);
  for (auto& f : fields) f = Substitute(f, strings);
  return fields;
}

// AddReg flags of the INF format.
constexpr std::uint32_t kFlgBinary = 0x00000001;
constexpr std::uint32_t kFlgNoClobber = 0x00000002;
constexpr std::uint32_t kFlgDelVal = 0x00000004;
constexpr std::uint32_t kFlgKeyOnly = 0x00000010;
constexpr std::uint32_t kFlg64BitKey = 0x00001000;
constexpr std::uint32_t kFlg32BitKey = 0x00004000;
constexpr std::uint32_t kFlgMultiSz = 0x00010000;
constexpr std::uint32_t kFlgExpandSz = 0x00020000;
constexpr std::uint32_t kFlgDword = 0x00010001;
constexpr std::uint32_t kFlgNone = 0x00020001;
constexpr std::uint32_t kFlgDelRegKeyOnly = 0x00002000;

std::wstring NativePath(const SimRegistry& r, RegRoot root, std::wstring_view path, bool is64, std::uint32_t flags) {
  std::uint32_t access = is64 ? reg::kWow64_64Key : 0;
  if (flags & kFlg64BitKey) access = reg::kWow64_64Key;
  if (flags & kFlg32BitKey) access = 0;
  return r.ViewPath(root, path, access);
}

void AddRegLine(SimRegistry& r, const std::vector<std::wstring>& f, bool is64) {
  auto root = f.empty() ? std::nullopt : ParseRoot(f[0]);
  if (!root) return;
  const std::wstring subkey = f.size() > 1 ? f[1] : L"";
  const std::wstring name = f.size() > 2 ? f[2] : L"";
  const std::uint32_t flags = f.size() > 3 ? ParseNumber(f[3]) : 0;
  const std::wstring path = NativePath(r, *root, subkey, is64, flags);
  if (flags & kFlgKeyOnly) {
    r.CreateKey(*root, path);
    return;
  }
  if (flags & kFlgDelVal) {
    r.DeleteValue(*root, path, name);
    return;
  }
  if ((flags & kFlgNoClobber) && r.GetValue(*root, path, name)) return;
  RegValue value;
  if ((flags & kFlgDword) == kFlgDword && (flags & kFlgNone) != kFlgNone) {
    value = RegValue{reg::kTypeDword, Dword(f.size() > 4 ? ParseNumber(f[4]) : 0)};
  } else if ((flags & kFlgNone) == kFlgNone) {
    value = RegValue{reg::kTypeNone, {}};
  } else if (flags & kFlgBinary) {
    value.type = reg::kTypeBinary;
    for (std::size_t i = 4; i < f.size(); ++i) {
      if (!f[i].empty()) value.data.push_back(static_cast<std::uint8_t>(ParseNumber(L"0x" + f[i])));
    }
  } else if (flags & kFlgMultiSz) {
    value.type = reg::kTypeMultiSz;
    for (std::size_t i = 4; i < f.size(); ++i) {
      auto part = Utf16z(f[i]);
      value.data.insert(value.data.end(), part.begin(), part.end());
    }
    value.data.insert(value.data.end(), {0, 0});
  } else {
    value = RegValue{(flags & kFlgExpandSz) ? reg::kTypeExpandSz : reg::kTypeSz, Utf16z(f.size() > 4 ? f[4] : L"")};
  }
  r.SetValue(*root, path, name, std::move(value));
}

void DelRegLine(SimRegistry& r, const std::vector<std::wstring>& f, bool is64) {
  auto root = f.empty() ? std::nullopt : ParseRoot(f[0]);
  if (!root) return;
  const std::uint32_t flags = f.size() > 3 ? ParseNumber(f[3]) : 0;
  const std::wstring path = NativePath(r, *root, f.size() > 1 ? f[1] : L"", is64, flags);
  // The installer opens root and key, then deletes the value the line names;
  // without a value name, absent or empty alike, it deletes the key with
  // everything below it, and with no key path that is the whole root.
  const std::wstring name = f.size() > 2 ? f[2] : L"";
  if (!name.empty() && (flags & kFlgDelRegKeyOnly) == 0) {
    r.DeleteValue(*root, path, name);
  } else {
    r.DeleteKeyTree(*root, path);
  }
}

std::vector<std::wstring> SectionList(std::wstring_view value) {
  std::vector<std::wstring> out;
  for (auto& f : InfFields(value)) {
    if (!f.empty()) out.push_back(f);
  }
  return out;
}

// ---- registry files ----

std::optional<std::wstring> RegString(std::wstring_view s, std::size_t& pos) {
  if (pos >= s.size() || s[pos] != L'"') return std::nullopt;
  std::wstring out;
  for (++pos; pos < s.size(); ++pos) {
    if (s[pos] == L'\\' && pos + 1 < s.size()) {
      out += s[++pos];
    } else if (s[pos] == L'"') {
      ++pos;
      return out;
    } else {
      out += s[pos];
    }
  }
  return std::nullopt;
}

std::vector<std::uint8_t> HexBytes(std::wstring_view s) {
  std::vector<std::uint8_t> out;
  std::wstring digits;
  for (wchar_t c : s) {
    if (c == L',') {
      if (!digits.empty()) out.push_back(static_cast<std::uint8_t>(ParseNumber(L"0x" + digits)));
      digits.clear();
    } else if (c != L' ' && c != L'\t') {
      digits += c;
    }
  }
  if (!digits.empty()) out.push_back(static_cast<std::uint8_t>(ParseNumber(L"0x" + digits)));
  return out;
}

}  // namespace

void ApplyInf(SimRegistry& registry, std::wstring_view infText, bool installerIs64Bit) {
  std::vector<std::pair<std::wstring, std::vector<std::wstring_view>>> sections;
  for (auto line : Lines(infText)) {
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      const auto close = line.find(L']');
      sections.emplace_back(std::wstring(Trim(line.substr(1, close == std::wstring_view::npos ? 0 : close - 1))),
                            std::vector<std::wstring_view>{});
    } else if (!sections.empty()) {
      sections.back().second.push_back(line);
    }
  }
  auto find = [&](std::wstring_view name) -> const std::vector<std::wstring_view>* {
    for (const auto& [n, lines] : sections) {
      if (EqualsNoCase(n, name)) return &lines;
    }
    return nullptr;
  };
  const auto* install = find(L"DefaultInstall");
  if (install == nullptr) return;
  StringTable strings;
  if (const auto* lines = find(L"Strings")) {
    for (auto line : *lines) {
      const auto eq = line.find(L'=');
      if (eq == std::wstring_view::npos) continue;
      const auto value = InfFields(line.substr(eq + 1));
      strings[std::wstring(Trim(line.substr(0, eq)))] = value.empty() ? L"" : value.front();
    }
  }
  // The installer deletes before it adds, whatever the order of the directives.
  std::vector<std::wstring> addSections;
  std::vector<std::wstring> delSections;
  for (auto line : *install) {
    const auto eq = line.find(L'=');
    if (eq == std::wstring_view::npos) continue;
    const auto directive = Trim(line.substr(0, eq));
    if (EqualsNoCase(directive, L"AddReg")) addSections = SectionList(line.substr(eq + 1));
    if (EqualsNoCase(directive, L"DelReg")) delSections = SectionList(line.substr(eq + 1));
  }
  for (const auto& name : delSections) {
    if (const auto* lines = find(name)) {
      for (auto line : *lines) DelRegLine(registry, Fields(line, strings), installerIs64Bit);
    }
  }
  for (const auto& name : addSections) {
    if (const auto* lines = find(name)) {
      for (auto line : *lines) AddRegLine(registry, Fields(line, strings), installerIs64Bit);
    }
  }
}

bool ImportRegFile(SimRegistry& registry, std::wstring_view text, bool editorIs64Bit) {
  auto raw = Lines(text);
  // Continuation lines end with a backslash.
  std::vector<std::wstring> lines;
  std::wstring joined;
  for (auto line : raw) {
    if (!line.empty() && line.back() == L'\\') {
      joined += line.substr(0, line.size() - 1);
      continue;
    }
    joined += line;
    lines.push_back(std::move(joined));
    joined.clear();
  }
  std::size_t i = 0;
  while (i < lines.size() && lines[i].empty()) ++i;
  if (i == lines.size()) return false;
  if (lines[i] != L"REGEDIT4" && lines[i] != L"Windows Registry Editor Version 5.00") return false;
  RegRoot root = RegRoot::kLocalMachine;
  bool inKey = false;  // false before the first key and after a deleted one
  std::wstring path;
  for (++i; i < lines.size(); ++i) {
    std::wstring_view line = lines[i];
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      const auto close = line.rfind(L']');
      std::wstring_view key = line.substr(1, close == std::wstring_view::npos ? line.size() - 1 : close - 1);
      const bool remove = !key.empty() && key.front() == L'-';
      if (remove) key.remove_prefix(1);
      const auto slash = key.find(L'\\');
      const auto parsed = ParseRoot(key.substr(0, slash));
      path = slash == std::wstring_view::npos ? L"" : std::wstring(key.substr(slash + 1));
      inKey = parsed.has_value() && !remove;
      if (!parsed) continue;
      root = *parsed;
      path = registry.ViewPath(root, path, editorIs64Bit ? reg::kWow64_64Key : 0);
      if (remove) {
        registry.DeleteKeyTree(root, path);
      } else {
        registry.CreateKey(root, path);
      }
      continue;
    }
    if (!inKey) continue;
    std::size_t pos = 0;
    std::wstring name;
    if (line.front() == L'@') {
      pos = 1;
    } else if (auto n = RegString(line, pos)) {
      name = *n;
    } else {
      continue;
    }
    while (pos < line.size() && line[pos] == L' ') ++pos;
    if (pos >= line.size() || line[pos] != L'=') continue;
    std::wstring_view data = Trim(line.substr(pos + 1));
    if (data == L"-") {
      registry.DeleteValue(root, path, name);
    } else if (!data.empty() && data.front() == L'"') {
      std::size_t p = 0;
      registry.SetValue(root, path, name, RegValue{reg::kTypeSz, Utf16z(RegString(data, p).value_or(L""))});
    } else if (StartsWithNoCase(data, L"dword:")) {
      registry.SetValue(root, path, name,
                        RegValue{reg::kTypeDword, Dword(ParseNumber(L"0x" + std::wstring(data.substr(6))))});
    } else if (StartsWithNoCase(data, L"hex:")) {
      registry.SetValue(root, path, name, RegValue{reg::kTypeBinary, HexBytes(data.substr(4))});
    } else if (StartsWithNoCase(data, L"hex(")) {
      const auto close = data.find(L"):");
      if (close == std::wstring_view::npos) continue;
      const std::uint32_t type = ParseNumber(L"0x" + std::wstring(data.substr(4, close - 4)));
      registry.SetValue(root, path, name, RegValue{type, HexBytes(data.substr(close + 2))});
    }
  }
  return true;
}

}  // namespace tv::sim
