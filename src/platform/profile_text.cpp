#include "platform/profile_text.h"

#include "platform/text.h"

namespace tv {

namespace {

// White space as the profile reader sees it; Ctrl-Z too, which old editors
// leave at the end of a file.
bool IsProfileSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' || c == 0x1A || c == 0xA0 ||
         c == 0x3000 || c == 0xFEFF;
}

std::wstring_view Trim(std::wstring_view s) {
  while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
  return s;
}

// FNV-1a over the name as the reader compares it: without ASCII case.
std::uint64_t NameHash(std::wstring_view name) {
  std::uint64_t h = 14695981039346656037ULL;
  for (wchar_t c : name) {
    h ^= static_cast<std::uint64_t>(AsciiLower(c));
    h *= 1099511628211ULL;
  }
  return h;
}

// Index of the first of `items` whose name equals `name`, through `index`.
template <class Items>
const std::uint32_t* FirstByName(const std::unordered_multimap<std::uint64_t, std::uint32_t>& index,
                                 const Items& items, std::wstring_view name) {
  const auto [from, to] = index.equal_range(NameHash(name));
  for (auto it = from; it != to; ++it) {
    if (EqualsNoCase(items[it->second].name, name)) return &it->second;
  }
  return nullptr;
}

template <class Items>
void IndexByName(std::unordered_multimap<std::uint64_t, std::uint32_t>& index, const Items& items) {
  index.reserve(items.size());
  for (std::uint32_t i = 0; i < items.size(); ++i) {
    if (FirstByName(index, items, items[i].name) == nullptr) index.emplace(NameHash(items[i].name), i);
  }
}

}  // namespace

ParsedProfile ParsedProfile::Parse(std::wstring_view text) {
  ParsedProfile p;
  // Keys before the first section header belong to a section without a name,
  // which no lookup by name reaches.
  p.sections_.push_back(Section{});
  std::size_t pos = 0;
  std::size_t lineNumber = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(L'\n', pos);
    if (end == std::wstring_view::npos) end = text.find(L'\r', pos);
    const std::size_t next = end == std::wstring_view::npos ? text.size() : end + 1;
    std::wstring_view line = Trim(text.substr(pos, next - pos));
    pos = next;
    ++lineNumber;
    if (line.empty()) continue;
    if (line.front() == L'[') {
      const std::size_t close = line.rfind(L']');
      if (close != std::wstring_view::npos && close > 0) {
        p.sections_.push_back(Section{std::wstring(Trim(line.substr(1, close - 1))), {}, lineNumber});
        continue;
      }
      // A header without its closing bracket is read as a key line.
    }
    Entry e;
    e.line = lineNumber;
    const std::size_t eq = line.find(L'=');
    if (eq == std::wstring_view::npos) {
      e.name = std::wstring(line);
    } else {
      e.name = std::wstring(Trim(line.substr(0, eq)));
      e.value = std::wstring(Trim(line.substr(eq + 1)));
      e.hasValue = true;
    }
    p.sections_.back().entries.push_back(std::move(e));
  }
  for (auto& s : p.sections_) IndexByName(s.firstEntries, s.entries);
  IndexByName(p.firstSections_, p.sections_);
  return p;
}

const ParsedProfile::Entry* ParsedProfile::Find(std::wstring_view section, std::wstring_view key) const {
  section = Trim(section);
  key = Trim(key);
  // Only the first section of a name is searched, as Windows does; the
  // section before the first header has no name a lookup can give.
  if (section.empty()) return nullptr;
  const std::uint32_t* s = FirstByName(firstSections_, sections_, section);
  if (s == nullptr) return nullptr;
  const Section& found = sections_[*s];
  const std::uint32_t* e = FirstByName(found.firstEntries, found.entries, key);
  return e == nullptr ? nullptr : &found.entries[*e];
}

std::wstring CopyProfileValue(std::wstring_view value, std::size_t bufferChars) {
  if (bufferChars == 0) return {};
  bool quoted = false;
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
    quoted = true;
    value.remove_prefix(1);
  }
  const std::size_t room = bufferChars - 1;
  std::wstring out(value.substr(0, std::min(value.size(), room)));
  // The closing quotation mark goes only when the whole value fitted.
  if (quoted && bufferChars >= value.size() && !out.empty()) out.pop_back();
  return out;
}

std::wstring_view TrimProfileDefault(std::wstring_view defaultValue) {
  while (defaultValue.size() > 1 && defaultValue.back() == L' ') defaultValue.remove_suffix(1);
  return defaultValue;
}

std::wstring ParsedProfile::String(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                                   std::size_t bufferChars) const {
  const Entry* e = Find(section, key);
  if (e != nullptr && e->hasValue) return CopyProfileValue(e->value, bufferChars);
  return CopyProfileValue(TrimProfileDefault(defaultValue), bufferChars);
}

std::uint32_t ParsedProfile::Int(std::wstring_view section, std::wstring_view key, std::int32_t defaultValue) const {
  const std::wstring text = String(section, key, L"", 30);
  if (text.empty()) return static_cast<std::uint32_t>(defaultValue);
  // An optional sign after leading blanks, then digits in decimal or, after
  // 0x, 0o or 0b, in hexadecimal, octal or binary; the digits end at the first
  // other character. A negative value comes back in two's complement.
  std::size_t i = 0;
  while (i < text.size() && text[i] <= L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  std::uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == L'0') {
    const wchar_t prefix = AsciiLower(text[i + 1]);
    base = prefix == L'x' ? 16 : prefix == L'o' ? 8 : prefix == L'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  std::uint32_t value = 0;
  for (; i < text.size(); ++i) {
    const wchar_t c = AsciiLower(text[i]);
    std::uint32_t digit = 99;
    if (c >= L'0' && c <= L'9') digit = static_cast<std::uint32_t>(c - L'0');
    if (c >= L'a' && c <= L'f') digit = static_cast<std::uint32_t>(c - L'a' + 10);
    if (digit >= base) break;
    value = value * base + digit;
  }
  return negative ? 0U - value : value;
}

std::vector<std::wstring> ParsedProfile::SectionNames(std::size_t bufferChars) const {
  // The names are laid end to end, each with its terminator, and the list is
  // ended by one more; what does not fit in the buffer is cut off.
  std::vector<std::wstring> out;
  if (bufferChars < 2) return out;
  std::size_t left = bufferChars - 1;
  for (const auto& s : sections_) {
    if (s.name.empty()) continue;
    if (left <= 1) break;
    const std::size_t take = std::min(s.name.size(), left - 1);
    out.push_back(s.name.substr(0, take));
    left -= take + 1;
  }
  return out;
}

}  // namespace tv
