#include "platform/sim/sim_programs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/reg_root.h"
#include "platform/sim/ansi.h"
#include "platform/text.h"

namespace tv::sim {

namespace {

bool IsInfSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

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

// The value of a hexadecimal digit, either case; none for another character.
std::optional<std::uint32_t> HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return static_cast<std::uint32_t>(c - L'0');
  const auto lower = static_cast<wchar_t>(c | 0x20);
  if (lower >= L'a' && lower <= L'f') return static_cast<std::uint32_t>(lower - L'a' + 10);
  return std::nullopt;
}

// AddReg and DelReg flags of the INF format.
constexpr std::uint32_t kFlgBinValueType = 0x00000001;
constexpr std::uint32_t kFlgNoClobber = 0x00000002;
constexpr std::uint32_t kFlgDelVal = 0x00000004;
constexpr std::uint32_t kFlgAppend = 0x00000008;
constexpr std::uint32_t kFlgKeyOnly = 0x00000010;
constexpr std::uint32_t kFlgOverwriteOnly = 0x00000020;
constexpr std::uint32_t kFlg64BitKey = 0x00001000;
constexpr std::uint32_t kFlgKeyOnlyCommon = 0x00002000;
constexpr std::uint32_t kFlg32BitKey = 0x00004000;
constexpr std::uint32_t kFlgDelRegBit = 0x00008000;
constexpr std::uint32_t kFlgTypeMask = 0xFFFF0001;
constexpr std::uint32_t kFlgMultiSzDelString = 0x00018002;

std::wstring NativePath(const SimRegistry& r, RegRoot root, std::wstring_view path, bool is64, std::uint32_t flags) {
  std::uint32_t access = is64 ? reg::kWow64_64Key : 0;
  if (flags & kFlg64BitKey) access = reg::kWow64_64Key;
  if (flags & kFlg32BitKey) access = 0;
  return r.ViewPath(root, path, access);
}

// The roots an INF line may name: the short forms only.
std::optional<RegRoot> InfRoot(std::wstring_view name) {
  if (EqualsNoCase(name, L"HKLM")) return RegRoot::kLocalMachine;
  if (EqualsNoCase(name, L"HKCU")) return RegRoot::kCurrentUser;
  if (EqualsNoCase(name, L"HKCR")) return RegRoot::kClassesRoot;
  if (EqualsNoCase(name, L"HKU")) return RegRoot::kUsers;
  return std::nullopt;
}

// SetupGetIntField: a whole number as strtol reads it (base from its prefix,
// clamped to the int range); an empty field is 0; anything else fails.
std::optional<std::uint32_t> IntField(const std::wstring& text) {
  if (text.empty()) return 0U;
  const std::string narrow = ToUtf8(text);
  char* stop = nullptr;
  errno = 0;
  long long value = std::strtoll(narrow.c_str(), &stop, 0);
  if (stop == narrow.c_str() || *stop != 0) return std::nullopt;
  if (value > 0x7FFFFFFFLL) value = 0x7FFFFFFFLL;
  if (value < -0x80000000LL) value = -0x80000000LL;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

// wcstoul in base 0: leading blanks, a sign, a prefix; it stops at the first
// other character, and a number past 32 bits is 0xFFFFFFFF.
std::uint32_t Wcstoul(const std::wstring& text) {
  const std::string narrow = ToUtf8(text);
  const char* p = narrow.c_str();
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p == '+' || *p == '-' || *p == ' ' || (*p >= '\t' && *p <= '\r')) return 0;
  errno = 0;
  char* stop = nullptr;
  const unsigned long long value = std::strtoull(p, &stop, 0);
  if (stop == p) return 0;
  if (errno == ERANGE || value > 0xFFFFFFFFULL) return 0xFFFFFFFFU;
  const auto v32 = static_cast<std::uint32_t>(value);
  return negative ? 0U - v32 : v32;
}

// SetupGetBinaryField: each field from the fifth on is a byte in hex digits
// (an empty field is 0, the digits end at the first other character). A
// field past ff makes the call fail.
std::optional<std::vector<std::uint8_t>> BinaryFields(const std::vector<std::wstring>& raw) {
  std::vector<std::uint8_t> out;
  for (std::size_t i = 4; i < raw.size(); ++i) {
    std::uint32_t value = 0;
    for (wchar_t c : raw[i]) {
      const auto digit = HexDigitValue(c);
      if (!digit) break;
      value <<= 4;
      if (value > 255) return std::nullopt;
      value |= *digit;
    }
    out.push_back(static_cast<std::uint8_t>(value));
  }
  return out;
}

std::vector<std::uint8_t> MultiSzBytes(const std::vector<std::wstring>& strings) {
  std::vector<std::uint8_t> out;
  for (const auto& s : strings) {
    auto part = Utf16z(s);
    out.insert(out.end(), part.begin(), part.end());
  }
  out.insert(out.end(), {0, 0});
  return out;
}

std::vector<std::wstring> MultiSzStrings(const std::vector<std::uint8_t>& data) {
  std::vector<std::wstring> out;
  std::wstring current;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) {
      if (current.empty()) break;
      out.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  return out;
}

// One line of an AddReg (`remove` false) or DelReg section, as the installer
// applies it.
void RegistryLine(SimRegistry& r, const InfLine& line, const InfText& inf, const InfDirectories& dirs, bool is64,
                  bool remove) {
  const auto& raw = line.fields;
  auto field = [&](std::size_t i) -> std::optional<std::wstring> {
    if (i >= raw.size()) return std::nullopt;
    return Substitute(raw[i], inf, dirs);
  };
  auto root = InfRoot(field(0).value_or(L""));
  std::wstring subkey = field(1).value_or(L"");
  // HKR: the key the install gives it (a device's driver key).
  if (!root && !dirs.relativeKey.empty() && EqualsNoCase(field(0).value_or(L""), L"HKR")) {
    root = RegRoot::kLocalMachine;
    subkey = subkey.empty() ? dirs.relativeKey : dirs.relativeKey + L"\\" + subkey;
  }
  if (!root) return;
  std::uint32_t flags = 0;
  if (auto f = field(3)) flags = IntField(*f).value_or(0);
  if (!remove) {
    if (flags & kFlgDelRegBit) return;
  } else if (flags == 0) {
    flags = kFlgDelRegBit;
  } else if ((flags & kFlgDelRegBit) == 0) {
    return;
  }
  // RegCreateKeyEx or, to delete and to overwrite only, RegOpenKeyEx: either
  // refuses a path that begins with a backslash.
  if (!subkey.empty() && subkey.front() == L'\\') return;
  const std::wstring path = NativePath(r, *root, subkey, is64, flags);
  const bool openOnly = remove || (flags & kFlgOverwriteOnly) != 0;
  if (openOnly && !r.KeyExists(*root, path)) return;
  r.CreateKey(*root, path);
  const std::wstring name = field(2).value_or(L"");

  if (flags & (kFlgDelRegBit | kFlgDelVal)) {
    if (!name.empty() && (flags & kFlgKeyOnlyCommon) == 0) {
      if ((flags & kFlgMultiSzDelString) == kFlgMultiSzDelString) {
        const auto drop = field(4);
        const auto value = r.GetValue(*root, path, name);
        if (!drop || drop->empty() || !value || value->type != reg::kTypeMultiSz) return;
        auto strings = MultiSzStrings(value->data);
        std::erase_if(strings, [&](const std::wstring& s) { return EqualsNoCase(s, *drop); });
        r.SetValue(*root, path, name, RegValue{reg::kTypeMultiSz, MultiSzBytes(strings)});
      } else {
        r.DeleteValue(*root, path, name);
      }
    } else {
      // No value name: the key goes, with everything below it.
      r.DeleteKeyTree(*root, path);
    }
    return;
  }
  if (flags & (kFlgKeyOnly | kFlgKeyOnlyCommon)) return;
  const bool exists = r.GetValue(*root, path, name).has_value();
  if (exists && (flags & kFlgNoClobber)) return;
  if (!exists && (flags & kFlgOverwriteOnly)) return;

  std::uint32_t type = 0;
  switch (flags & kFlgTypeMask) {
    case 0x00000000: type = reg::kTypeSz; break;
    case 0x00010000: type = reg::kTypeMultiSz; break;
    case 0x00020000: type = reg::kTypeExpandSz; break;
    case 0x00000001: type = reg::kTypeBinary; break;
    case 0x00010001: type = reg::kTypeDword; break;
    case 0x00020001: type = reg::kTypeNone; break;
    default: type = flags >> 16; break;
  }
  const bool asText = (flags & kFlgBinValueType) == 0 || (type == reg::kTypeDword && raw.size() == 5);
  if (!asText) {
    // Binary data of the type; fields the installer cannot read give no data.
    r.SetValue(*root, path, name, RegValue{type, BinaryFields(raw).value_or(std::vector<std::uint8_t>{})});
    return;
  }
  if (type == reg::kTypeMultiSz) {
    // The fifth field and those after it, up to the first empty one.
    std::vector<std::wstring> strings;
    for (std::size_t i = 4; i < raw.size(); ++i) {
      auto s = Substitute(raw[i], inf, dirs);
      if (s.empty()) break;
      strings.push_back(std::move(s));
    }
    if (flags & kFlgAppend) {
      if (raw.size() < 5) return;
      const auto current = r.GetValue(*root, path, name);
      if (!current || current->type != reg::kTypeMultiSz) return;
      auto merged = MultiSzStrings(current->data);
      const std::size_t before = merged.size();
      for (auto& s : strings) {
        const bool known =
            std::any_of(merged.begin(), merged.end(), [&](const std::wstring& have) { return EqualsNoCase(have, s); });
        if (!known) merged.push_back(std::move(s));
      }
      if (merged.size() != before) r.SetValue(*root, path, name, RegValue{type, MultiSzBytes(merged)});
      return;
    }
    if (raw.size() < 5) {
      r.SetValue(*root, path, name, RegValue{type, {0, 0}});
    } else {
      r.SetValue(*root, path, name,
                 RegValue{type, strings.empty() ? std::vector<std::uint8_t>{0, 0} : MultiSzBytes(strings)});
    }
    return;
  }
  const auto text = field(4);
  if (type == reg::kTypeDword) {
    r.SetValue(*root, path, name, RegValue{type, Dword(text ? Wcstoul(*text) : 0)});
  } else {
    r.SetValue(*root, path, name, RegValue{type, Utf16z(text.value_or(L""))});
  }
}

// The section names that the install section's lines of one directive give.
std::vector<std::wstring> DirectiveSections(const InfSection& install, std::wstring_view directive, const InfText& inf,
                                            const InfDirectories& dirs) {
  std::vector<std::wstring> out;
  for (const auto& line : install.lines) {
    if (!line.key || !EqualsNoCase(*line.key, directive)) continue;
    for (const auto& f : line.fields) {
      auto name = Substitute(f, inf, dirs);
      if (!name.empty()) out.push_back(std::move(name));
    }
  }
  return out;
}

// ---- registry files ----

// The registry editor's import, as its parser reads a file: the header
// first line exactly; then key lines "[HKEY_...\path]" ("[-...]" deletes),
// value lines "name"=data or @=data, where data is "string", dword:XXXXXXXX,
// hex:.. or hex(N):.. (the tags with their case), "-" deletes, and only blanks
// or a ';' comment may follow; hex data alone continues on the next line
// after a closing backslash. A line it cannot read is skipped. The Windows 3.1
// form (header REGEDIT) holds "HKEY_CLASSES_ROOT\key = value" lines.
struct RegFileReader {
  SimRegistry& registry;
  bool editor64;
  bool unicode;  // the file is UTF-16 (it began with FF FE)
  unsigned codePage;
  std::vector<std::wstring> lines;
  std::size_t next = 0;
  std::optional<std::pair<RegRoot, std::wstring>> key;  // the open key, native path

  static bool Blank(wchar_t c) { return c == L' ' || c == L'\t'; }

  std::optional<std::wstring> Line() {
    if (next >= lines.size()) return std::nullopt;
    return lines[next++];
  }

  // The root of a key name, by its long name only (the editor knows no
  // HKLM), and the path after its first backslash.
  static std::optional<std::pair<RegRoot, std::wstring>> SplitKeyName(std::wstring_view name) {
    const std::size_t slash = name.find(L'\\');
    const std::wstring_view rootName = name.substr(0, slash);
    const auto root = RegRootFromName(rootName);
    if (!root || !EqualsNoCase(RegRootName(*root), rootName)) return std::nullopt;
    return std::pair{*root, slash == std::wstring_view::npos ? std::wstring() : std::wstring(name.substr(slash + 1))};
  }

  std::uint32_t Access() const { return editor64 ? reg::kWow64_64Key : 0; }

  // RegCreateKeyEx of the key the line names; a failure leaves no key open.
  void Open(std::wstring_view name) {
    key.reset();
    const auto split = SplitKeyName(name);
    if (!split || (!split->second.empty() && split->second.front() == L'\\')) return;
    const std::wstring native = registry.ViewPath(split->first, split->second, Access());
    registry.CreateKey(split->first, native);
    key = std::pair{split->first, native};
  }

  void Set(std::wstring_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    if (key) registry.SetValue(key->first, key->second, name, RegValue{type, std::move(data)});
  }

  // The text up to the closing quotation mark, escapes undone (\n, \r, \\,
  // \"; another character after a backslash stands for itself; \0 and a
  // missing closing mark make the line unreadable); `rest` is what follows.
  static std::optional<std::wstring> Unescape(std::wstring_view s, std::wstring_view& rest) {
    std::wstring out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == L'\\') {
        if (++i >= s.size()) return std::nullopt;
        switch (s[i]) {
          case L'n': out += L'\n'; break;
          case L'r': out += L'\r'; break;
          case L'0': return std::nullopt;
          default: out += s[i]; break;
        }
      } else if (s[i] == L'"') {
        rest = s.substr(i + 1);
        return out;
      } else {
        out += s[i];
      }
    }
    return std::nullopt;
  }

  // Only blanks, or blanks and a comment, after the data.
  static bool EndsClean(std::wstring_view rest) {
    std::size_t i = 0;
    while (i < rest.size() && Blank(rest[i])) ++i;
    return i == rest.size() || rest[i] == L';';
  }

  static bool HexDigit(wchar_t c) { return HexDigitValue(c).has_value(); }

  // One line of comma-separated bytes appended to `data`; `more` when a
  // backslash says the data goes on. False when the line is not such data.
  static bool HexLine(std::wstring_view s, std::vector<std::uint8_t>& data, bool& more) {
    more = false;
    std::size_t i = 0;
    while (i < s.size()) {
      // wcstoul in base 16: blanks, a sign and a 0x prefix are taken too.
      std::size_t j = i;
      while (j < s.size() && (Blank(s[j]) || s[j] == L'\n' || s[j] == L'\r')) ++j;
      bool negative = false;
      if (j < s.size() && (s[j] == L'+' || s[j] == L'-')) negative = s[j++] == L'-';
      if (j + 1 < s.size() && s[j] == L'0' && (s[j + 1] | 0x20) == L'x' && j + 2 < s.size() && HexDigit(s[j + 2])) {
        j += 2;
      }
      const std::size_t digits = j;
      std::uint64_t value = 0;
      while (j < s.size() && HexDigit(s[j])) {
        value = std::min<std::uint64_t>(value * 16 + *HexDigitValue(s[j]), 0x100000000ULL);
        ++j;
      }
      if (j == digits) {
        // No number: a continuation, a comment, or not hex data at all.
        std::size_t k = i;
        while (k < s.size() && Blank(s[k])) ++k;
        if (k < s.size() && s[k] == L'\\') {
          more = true;
          return EndsClean(s.substr(k + 1));
        }
        return k < s.size() && s[k] == L';';
      }
      if (negative && value != 0) value = 0x100000000ULL;  // wcstoul wraps a negative number past ff
      if (value > 0xFF) return false;
      data.push_back(static_cast<std::uint8_t>(value));
      if (j < s.size() && s[j] != L',') return EndsClean(s.substr(j));
      i = j < s.size() ? j + 1 : j;
    }
    return true;
  }

  // Text types given as bytes: in an ANSI file the bytes are ANSI text,
  // which the editor converts; either way the text gets its terminator.
  std::vector<std::uint8_t> HexText(std::uint32_t type, std::vector<std::uint8_t> data) const {
    if (type != reg::kTypeSz && type != reg::kTypeExpandSz && type != reg::kTypeMultiSz) return data;
    if (data.empty()) return data;
    if (unicode) {
      if (data.size() >= 2 && (data[data.size() - 2] != 0 || data[data.size() - 1] != 0))
        data.insert(data.end(), {0, 0});
      return data;
    }
    if (data.back() != 0) data.push_back(0);
    const std::string wide = EncodeUtf16Le(DecodeAnsi(data, codePage));
    return {wide.begin(), wide.end()};
  }

  void Value(std::wstring_view line) {
    std::size_t i = 0;
    while (i < line.size() && Blank(line[i])) ++i;
    std::wstring name;
    std::wstring_view rest;
    if (line[i] == L'@') {
      rest = line.substr(i + 1);
    } else {
      auto unescaped = Unescape(line.substr(i + 1), rest);
      if (!unescaped) return;
      name = std::move(*unescaped);
    }
    std::size_t p = 0;
    while (p < rest.size() && Blank(rest[p])) ++p;
    if (p >= rest.size() || rest[p] != L'=') return;
    ++p;
    while (p < rest.size() && Blank(rest[p])) ++p;
    std::wstring_view data = rest.substr(p);
    while (!data.empty() && Blank(data.back())) data.remove_suffix(1);
    if (!data.empty() && data.front() == L'-') {
      if (EndsClean(data.substr(1)) && key) registry.DeleteValue(key->first, key->second, name);
      return;
    }
    if (data.starts_with(L"\"")) {
      std::wstring_view after;
      auto text = Unescape(data.substr(1), after);
      if (text && EndsClean(after)) Set(name, reg::kTypeSz, Utf16z(*text));
      return;
    }
    if (data.starts_with(L"dword:")) {
      std::wstring_view d = data.substr(6);
      std::size_t k = 0;
      while (k < d.size() && Blank(d[k])) ++k;
      if (k >= d.size()) return;
      std::size_t e = k;
      std::uint32_t v = 0;
      while (e < d.size() && HexDigit(d[e])) {
        v = v * 16 + *HexDigitValue(d[e]);
        ++e;
      }
      if (e - k > 8 || !EndsClean(d.substr(e))) return;
      Set(name, reg::kTypeDword, Dword(v));
      return;
    }
    std::uint32_t type = reg::kTypeBinary;
    if (data.starts_with(L"hex:")) {
      data.remove_prefix(4);
    } else if (data.starts_with(L"hex(")) {
      data.remove_prefix(4);
      if (data.empty() || (data.size() > 1 && (data[1] | 0x20) == L'x')) return;
      std::size_t e = 0;
      std::uint64_t v = 0;
      while (e < data.size() && HexDigit(data[e])) {
        v = v * 16 + *HexDigitValue(data[e]);
        if (v > 0xFFFFFFFFULL) return;
        ++e;
      }
      if (e + 1 >= data.size() || data[e] != L')' || data[e + 1] != L':') return;
      type = static_cast<std::uint32_t>(v);
      data.remove_prefix(e + 2);
    } else {
      return;
    }
    std::vector<std::uint8_t> bytes;
    if (data.empty()) {
      Set(name, type, {});
      return;
    }
    bool more = false;
    if (!HexLine(data, bytes, more)) return;
    while (more) {
      auto nextLine = Line();
      if (!nextLine) break;
      std::wstring_view l = *nextLine;
      std::size_t k = 0;
      while (k < l.size() && Blank(l[k])) ++k;
      l.remove_prefix(k);
      if (l.empty() || l.front() == L';') continue;                  // blank and comment lines inside hex data
      if (!HexDigit(l.front()) || !HexLine(l, bytes, more)) return;  // that line is lost too
    }
    Set(name, type, HexText(type, std::move(bytes)));
  }

  // Returns false when the editor stops the whole import.
  bool KeyLine(std::wstring_view line, std::size_t open) {
    std::wstring_view p = line.substr(open + 1);
    const std::size_t close = p.rfind(L']');
    if (p.empty() || Blank(p.front()) || close == std::wstring_view::npos) return true;
    p = p.substr(0, close);
    if (!p.empty() && p.front() == L'-') {
      key.reset();
      p.remove_prefix(1);
      if (p.empty() || (p.front() != L'H' && p.front() != L'h')) return true;
      const auto split = SplitKeyName(p);
      // A root it does not know, or no key below the root: the editor gives up.
      if (!split || split->second.empty()) return false;
      registry.DeleteKeyTree(split->first, registry.ViewPath(split->first, split->second, Access()));
      return true;
    }
    Open(p);
    return true;
  }

  void Win31Line(std::wstring_view line) {
    constexpr std::wstring_view kClasses = L"HKEY_CLASSES_ROOT";
    if (!line.starts_with(kClasses)) return;
    std::size_t end = 0;
    while (end < line.size() && !IsInfSpace(line[end])) ++end;
    std::size_t v = end;
    while (v < line.size() && Blank(line[v])) ++v;
    if (v < line.size() && line[v] == L'=') ++v;
    if (v < line.size() && line[v] == L' ') ++v;  // one blank at most
    Open(line.substr(0, end));
    Set(L"", reg::kTypeSz, Utf16z(line.substr(v)));
  }

  bool Run() {
    auto header = Line();
    if (!header) return false;
    std::wstring_view h = *header;
    while (!h.empty() && Blank(h.front())) h.remove_prefix(1);
    const bool win31 = h == L"REGEDIT";
    if (!win31 && h != L"REGEDIT4" && h != L"Windows Registry Editor Version 5.00") {
      // "REGEDIT" and more is a header the editor accepts and imports nothing of.
      return h.starts_with(L"REGEDIT");
    }
    while (auto line = Line()) {
      std::wstring_view l = *line;
      if (win31) {
        Win31Line(l);
        continue;
      }
      std::size_t i = 0;
      while (i < l.size() && Blank(l[i])) ++i;
      if (i >= l.size()) continue;
      if (l[i] == L'[') {
        if (!KeyLine(l, i)) break;
      } else if (l[i] == L'@' || l[i] == L'"') {
        Value(l);
      }
    }
    return true;
  }
};

// The lines of a file, each without its end (\r\n, \r or \n); in an ANSI
// file decoded with the code page. A line ends at a NUL as the editor's
// strings do.
std::vector<std::wstring> RegFileLines(std::span<const std::uint8_t> bytes, bool unicode, unsigned codePage) {
  std::vector<std::wstring> out;
  auto cutAtNul = [](std::wstring line) {
    if (const auto nul = line.find(L'\0'); nul != std::wstring::npos) line.resize(nul);
    return line;
  };
  if (unicode) {
    const std::wstring text = DecodeUtf16Le(bytes.subspan(2));
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != L'\r' && text[i] != L'\n') continue;
      out.push_back(cutAtNul(text.substr(start, i - start)));
      if (i < text.size() && text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      start = i + 1;
    }
    return out;
  }
  std::size_t start = 0;
  for (std::size_t i = 0; i <= bytes.size(); ++i) {
    if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n') continue;
    auto line = bytes.subspan(start, i - start);
    if (const auto nul = std::find(line.begin(), line.end(), 0); nul != line.end()) {
      line = line.first(static_cast<std::size_t>(nul - line.begin()));
    }
    out.push_back(DecodeAnsi(line, codePage));
    if (i < bytes.size() && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return out;
}

}  // namespace

namespace {

void ApplyRegistryDirectives(SimRegistry& registry, const InfText& inf, const InfSection& install,
                             const InfDirectories& dirs, bool installerIs64Bit) {
  // The installer deletes before it adds, whatever the order of the directives.
  for (const auto& name : DirectiveSections(install, L"DelReg", inf, dirs)) {
    if (const auto* section = FindSection(inf, name)) {
      for (const auto& line : section->lines) RegistryLine(registry, line, inf, dirs, installerIs64Bit, true);
    }
  }
  for (const auto& name : DirectiveSections(install, L"AddReg", inf, dirs)) {
    if (const auto* section = FindSection(inf, name)) {
      for (const auto& line : section->lines) RegistryLine(registry, line, inf, dirs, installerIs64Bit, false);
    }
  }
}

}  // namespace

void ApplyInf(SimRegistry& registry, std::wstring_view infText, bool installerIs64Bit, const InfDirectories& dirs) {
  const auto inf = ParseInf(infText);
  if (!inf) return;
  const InfSection* install = FindSection(*inf, L"DefaultInstall");
  if (install == nullptr) return;
  ApplyRegistryDirectives(registry, *inf, *install, dirs, installerIs64Bit);
}

void ApplyInstallSectionRegistry(SimRegistry& registry, const InfText& inf, const InfSection& install,
                                 const InfDirectories& dirs) {
  ApplyRegistryDirectives(registry, inf, install, dirs, true);
}

bool ImportRegFile(SimRegistry& registry, std::span<const std::uint8_t> bytes, unsigned ansiCodePage,
                   bool editorIs64Bit) {
  const bool unicode = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  RegFileReader reader{registry, editorIs64Bit, unicode, ansiCodePage, RegFileLines(bytes, unicode, ansiCodePage),
                       0,        std::nullopt};
  return reader.Run();
}

bool ImportRegFile(SimRegistry& registry, std::wstring_view text, bool editorIs64Bit) {
  const std::string wide = "\xFF\xFE" + EncodeUtf16Le(text);
  return ImportRegFile(registry, {reinterpret_cast<const std::uint8_t*>(wide.data()), wide.size()}, 1252,
                       editorIs64Bit);
}

}  // namespace tv::sim
