// The reading rules of the Windows private-profile functions, over text that
// has already been decoded: lines, sections, keys, blanks, quotes and cuts.
// The simulated machine reads setup scripts through it.
//
// Scripts made by other tools run to tens of megabytes, so the parse keeps
// every name and value once, packed in one buffer, and entries are offsets
// into it; a name or value is unpacked when it is asked for.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tv {

class ParsedProfile {
 public:
  static ParsedProfile Parse(std::wstring_view text);

#pragma pack(push, 4)
  struct Indexed {  // 12 bytes: there is one for nearly every line
    std::uint64_t hash;
    std::uint32_t at;  // an entry, or a section
  };
#pragma pack(pop)

  // Builds a profile line by line, for a reader that decodes a large file as
  // it goes (below).
  class Builder;

  // GetPrivateProfileStringW's answer for a buffer of `bufferChars` characters.
  std::wstring String(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                      std::size_t bufferChars) const;
  // GetPrivateProfileIntW.
  std::uint32_t Int(std::wstring_view section, std::wstring_view key, std::int32_t defaultValue) const;
  // GetPrivateProfileSectionNamesW for a buffer of `bufferChars` characters.
  std::vector<std::wstring> SectionNames(std::size_t bufferChars) const;

  struct Entry {
    std::uint32_t nameAt = 0;  // where the packed name is; the value follows it
    std::uint32_t nameSize = 0;
    std::uint32_t valueSize = 0;
    std::uint32_t line = 0;  // counted from 1
    bool hasValue = false;   // a line without "=" names a key with no value
  };
  struct Section {
    std::uint32_t nameAt = 0;
    std::uint32_t nameSize = 0;  // 0 for the keys before the first header
    std::uint32_t line = 0;
    std::uint32_t firstEntry = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t firstIndexed = 0;  // its part of the index of first names
    std::uint32_t indexedCount = 0;
  };
  // Every section as written, duplicates included, in file order.
  const std::vector<Section>& sections() const { return sections_; }
  std::span<const Entry> Entries(const Section& section) const {
    return std::span(entries_).subspan(section.firstEntry, section.entryCount);
  }
  std::wstring Name(const Section& section) const { return Unpack(section.nameAt, section.nameSize); }
  std::wstring Name(const Entry& entry) const { return Unpack(entry.nameAt, entry.nameSize); }
  std::wstring Value(const Entry& entry) const { return Unpack(entry.nameAt + entry.nameSize, entry.valueSize); }
  // The first section of a name, and the first entry of a key in a section,
  // as the reader finds them (names compared without ASCII case).
  const Section* FindSection(std::wstring_view name) const;
  const Entry* Find(const Section& section, std::wstring_view key) const;

 private:
  const Entry* Find(std::wstring_view section, std::wstring_view key) const;
  std::uint32_t Pack(std::wstring_view text);
  std::wstring Unpack(std::uint32_t at, std::uint32_t size) const;
  bool NameIs(std::uint32_t at, std::uint32_t size, std::wstring_view name) const;
  std::uint64_t PackedNameHash(std::uint32_t at, std::uint32_t size) const;

  friend class Builder;
  std::string text_;  // every name and value, one after another
  std::vector<Entry> entries_;
  std::vector<Section> sections_;
  std::vector<Indexed> entryIndex_;  // each section's first entries by name, sorted by hash
  std::vector<Indexed> sectionIndex_;
};

class ParsedProfile::Builder {
 public:
  // `expectedChars`: about how long the text is, so that the packed names
  // and values are not copied as they grow.
  explicit Builder(std::size_t expectedChars = 0);
  // One line as the reader ends it, its line break with it or not.
  void AddLine(std::wstring_view line);
  ParsedProfile Finish();

 private:
  ParsedProfile p_;
  std::uint32_t lineNumber_ = 0;
};

// The lines of a text as the reader ends them: at each line feed, and where
// no line feed is left, at each carriage return. Each comes with its break.
template <class Visit>
void ForEachProfileLine(std::wstring_view text, Visit&& visit) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(L'\n', pos);
    if (end == std::wstring_view::npos) end = text.find(L'\r', pos);
    const std::size_t next = end == std::wstring_view::npos ? text.size() : end + 1;
    visit(text.substr(pos, next - pos));
    pos = next;
  }
}

// Copies a value into a buffer of `bufferChars` characters as the profile
// reader does: one pair of enclosing quotation marks removed, cut to fit.
std::wstring CopyProfileValue(std::wstring_view value, std::size_t bufferChars);

// Trailing blanks of a default value are not part of it.
std::wstring_view TrimProfileDefault(std::wstring_view defaultValue);

}  // namespace tv
