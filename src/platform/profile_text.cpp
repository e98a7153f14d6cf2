#include "platform/profile_text.h"

#include <algorithm>

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

}  // namespace

// Names and values are packed as UTF-8, extended to any value a wchar_t of
// the decoded text holds (a lone surrogate too), so that unpacking gives the
// same characters back.
std::uint32_t ParsedProfile::Pack(std::wstring_view text) {
  const auto at = static_cast<std::uint32_t>(text_.size());
  for (const wchar_t c : text) AppendUtf8(text_, static_cast<char32_t>(c));
  return at;
}

std::wstring ParsedProfile::Unpack(std::uint32_t at, std::uint32_t size) const {
  std::wstring out;
  out.reserve(size);
  const auto* b = reinterpret_cast<const unsigned char*>(text_.data()) + at;
  for (std::uint32_t i = 0; i < size;) {
    const unsigned char lead = b[i];
    std::uint32_t c = lead;
    std::uint32_t more = 0;
    if (lead >= 0xF0) {
      c = lead & 0x07;
      more = 3;
    } else if (lead >= 0xE0) {
      c = lead & 0x0F;
      more = 2;
    } else if (lead >= 0xC0) {
      c = lead & 0x1F;
      more = 1;
    }
    for (std::uint32_t k = 1; k <= more; ++k) c = (c << 6) | (b[i + k] & 0x3F);
    out += static_cast<wchar_t>(c);
    i += 1 + more;
  }
  return out;
}

bool ParsedProfile::NameIs(std::uint32_t at, std::uint32_t size, std::wstring_view name) const {
  // Plain ASCII names (nearly all) compare without unpacking.
  if (size == name.size()) {
    bool ascii = true;
    for (std::uint32_t i = 0; i < size && ascii; ++i) ascii = static_cast<unsigned char>(text_[at + i]) < 0x80;
    if (ascii) {
      for (std::uint32_t i = 0; i < size; ++i) {
        if (AsciiLower(static_cast<wchar_t>(text_[at + i])) != AsciiLower(name[i])) return false;
      }
      return true;
    }
  }
  return EqualsNoCase(Unpack(at, size), name);
}

// HashNoCase of the unpacked name; an ASCII name (nearly every one) is
// hashed from its bytes without unpacking it.
std::uint64_t ParsedProfile::PackedNameHash(std::uint32_t at, std::uint32_t size) const {
  std::uint64_t h = kFnvOffset;
  for (std::uint32_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(text_[at + i]);
    if (c >= 0x80) return HashNoCase(Unpack(at, size));
    h = FnvStep(h, AsciiLower(static_cast<wchar_t>(c)));
  }
  return h;
}

ParsedProfile::Builder::Builder(std::size_t expectedChars) {
  // Keys before the first header belong to a section without a name, which
  // no lookup by name reaches.
  p_.sections_.push_back(Section{});
  p_.text_.reserve(expectedChars);
  p_.entries_.reserve(expectedChars / 24);  // a key line is seldom shorter than an entry
}

void ParsedProfile::Builder::AddLine(std::wstring_view text) {
  ++lineNumber_;
  const std::wstring_view line = Trim(text);
  if (line.empty()) return;
  if (line.front() == L'[') {
    const std::size_t close = line.rfind(L']');
    if (close != std::wstring_view::npos && close > 0) {
      const std::wstring_view name = Trim(line.substr(1, close - 1));
      Section s;
      s.nameAt = p_.Pack(name);
      s.nameSize = static_cast<std::uint32_t>(p_.text_.size()) - s.nameAt;
      s.line = lineNumber_;
      s.firstEntry = static_cast<std::uint32_t>(p_.entries_.size());
      p_.sections_.push_back(s);
      return;
    }
    // A header without its closing bracket is read as a key line.
  }
  Entry e;
  e.line = lineNumber_;
  const std::size_t eq = line.find(L'=');
  const std::wstring_view name = eq == std::wstring_view::npos ? line : Trim(line.substr(0, eq));
  e.nameAt = p_.Pack(name);
  e.nameSize = static_cast<std::uint32_t>(p_.text_.size()) - e.nameAt;
  if (eq != std::wstring_view::npos) {
    const std::uint32_t valueAt = p_.Pack(Trim(line.substr(eq + 1)));
    e.valueSize = static_cast<std::uint32_t>(p_.text_.size()) - valueAt;
    e.hasValue = true;
  }
  p_.entries_.push_back(e);
  ++p_.sections_.back().entryCount;
}

namespace {

// Keeps, of the items in `indexed` (in their order), the first of each name:
// sorted by hash, and within a hash by their place.
template <class SameName>
void KeepFirstOfEachName(std::vector<std::pair<std::uint64_t, std::uint32_t>>& indexed, SameName same) {
  std::stable_sort(indexed.begin(), indexed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::size_t kept = 0;
  for (std::size_t i = 0; i < indexed.size();) {
    std::size_t j = i;
    while (j < indexed.size() && indexed[j].first == indexed[i].first) ++j;
    const std::size_t groupStart = kept;
    for (std::size_t k = i; k < j; ++k) {
      bool repeated = false;
      for (std::size_t g = groupStart; g < kept && !repeated; ++g)
        repeated = same(indexed[g].second, indexed[k].second);
      if (!repeated) indexed[kept++] = indexed[k];
    }
    i = j;
  }
  indexed.resize(kept);
}

}  // namespace

ParsedProfile ParsedProfile::Builder::Finish() {
  std::vector<std::pair<std::uint64_t, std::uint32_t>> indexed;
  p_.entryIndex_.reserve(p_.entries_.size());
  for (auto& s : p_.sections_) {
    indexed.clear();
    for (std::uint32_t i = s.firstEntry; i < s.firstEntry + s.entryCount; ++i) {
      indexed.emplace_back(p_.PackedNameHash(p_.entries_[i].nameAt, p_.entries_[i].nameSize), i);
    }
    KeepFirstOfEachName(indexed, [this](std::uint32_t a, std::uint32_t b) {
      const Entry& x = p_.entries_[a];
      const Entry& y = p_.entries_[b];
      return x.nameSize == y.nameSize && p_.NameIs(x.nameAt, x.nameSize, p_.Unpack(y.nameAt, y.nameSize));
    });
    s.firstIndexed = static_cast<std::uint32_t>(p_.entryIndex_.size());
    s.indexedCount = static_cast<std::uint32_t>(indexed.size());
    for (const auto& [hash, at] : indexed) p_.entryIndex_.push_back(Indexed{hash, at});
  }
  indexed.clear();
  // The section without a name is never found by name.
  for (std::uint32_t i = 1; i < p_.sections_.size(); ++i) {
    indexed.emplace_back(p_.PackedNameHash(p_.sections_[i].nameAt, p_.sections_[i].nameSize), i);
  }
  KeepFirstOfEachName(indexed, [this](std::uint32_t a, std::uint32_t b) {
    const Section& x = p_.sections_[a];
    const Section& y = p_.sections_[b];
    return p_.NameIs(x.nameAt, x.nameSize, p_.Unpack(y.nameAt, y.nameSize));
  });
  for (const auto& [hash, at] : indexed) p_.sectionIndex_.push_back(Indexed{hash, at});
  return std::move(p_);
}

ParsedProfile ParsedProfile::Parse(std::wstring_view text) {
  Builder builder;
  ForEachProfileLine(text, [&builder](std::wstring_view line) { builder.AddLine(line); });
  return builder.Finish();
}

namespace {

template <class Found>
const ParsedProfile::Indexed* FirstIn(std::span<const ParsedProfile::Indexed> index, std::uint64_t hash, Found found) {
  auto it =
      std::lower_bound(index.begin(), index.end(), hash, [](const auto& e, std::uint64_t h) { return e.hash < h; });
  for (; it != index.end() && it->hash == hash; ++it) {
    if (found(it->at)) return &*it;
  }
  return nullptr;
}

}  // namespace

const ParsedProfile::Section* ParsedProfile::FindSection(std::wstring_view name) const {
  name = Trim(name);
  if (name.empty()) return nullptr;
  const Indexed* hit = FirstIn(sectionIndex_, HashNoCase(name), [&](std::uint32_t at) {
    return NameIs(sections_[at].nameAt, sections_[at].nameSize, name);
  });
  return hit == nullptr ? nullptr : &sections_[hit->at];
}

const ParsedProfile::Entry* ParsedProfile::Find(const Section& section, std::wstring_view key) const {
  key = Trim(key);
  const auto index = std::span(entryIndex_).subspan(section.firstIndexed, section.indexedCount);
  const Indexed* hit = FirstIn(index, HashNoCase(key), [&](std::uint32_t at) {
    return NameIs(entries_[at].nameAt, entries_[at].nameSize, key);
  });
  return hit == nullptr ? nullptr : &entries_[hit->at];
}

const ParsedProfile::Entry* ParsedProfile::Find(std::wstring_view section, std::wstring_view key) const {
  // Only the first section of a name is searched, as Windows does; the
  // section before the first header has no name a lookup can give.
  const Section* s = FindSection(section);
  return s == nullptr ? nullptr : Find(*s, key);
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
  if (e != nullptr && e->hasValue) return CopyProfileValue(Value(*e), bufferChars);
  return CopyProfileValue(TrimProfileDefault(defaultValue), bufferChars);
}

std::uint32_t ParsedProfile::Int(std::wstring_view section, std::wstring_view key, std::int32_t defaultValue) const {
  const std::wstring text = String(section, key, L"", 30);
  if (text.empty()) return static_cast<std::uint32_t>(defaultValue);
  // An optional sign after leading blanks, then digits in decimal or, after
  // 0x, 0o or 0b (lower case only: "0X1" is 0), in hexadecimal, octal or
  // binary; the digits end at the first other character. A negative value
  // comes back in two's complement.
  std::size_t i = 0;
  while (i < text.size() && text[i] <= L' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  std::uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == L'0') {
    const wchar_t prefix = text[i + 1];
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
    if (s.nameSize == 0) continue;
    if (left <= 1) break;
    const std::wstring name = Name(s);
    const std::size_t take = std::min(name.size(), left - 1);
    out.push_back(name.substr(0, take));
    left -= take + 1;
  }
  return out;
}

}  // namespace tv
