// The reading rules of the Windows private-profile functions, over text that
// has already been decoded: lines, sections, keys, blanks, quotes and cuts.
// The simulated machine reads setup scripts through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tv {

class ParsedProfile {
 public:
  static ParsedProfile Parse(std::wstring_view text);

  // GetPrivateProfileStringW's answer for a buffer of `bufferChars` characters.
  std::wstring String(std::wstring_view section, std::wstring_view key, std::wstring_view defaultValue,
                      std::size_t bufferChars) const;
  // GetPrivateProfileIntW.
  std::uint32_t Int(std::wstring_view section, std::wstring_view key, std::int32_t defaultValue) const;
  // GetPrivateProfileSectionNamesW for a buffer of `bufferChars` characters.
  std::vector<std::wstring> SectionNames(std::size_t bufferChars) const;

  struct Entry {
    std::wstring name;
    std::wstring value;
    bool hasValue = false;  // a line without "=" names a key with no value
    std::size_t line = 0;   // counted from 1
  };
  struct Section {
    std::wstring name;  // empty for the keys before the first header
    std::vector<Entry> entries;
    std::size_t line = 0;
    // The first entry of each name, by a hash of the name without case.
    std::unordered_multimap<std::uint64_t, std::uint32_t> firstEntries = {};
  };
  // Every section as written, duplicates included, in file order.
  const std::vector<Section>& sections() const { return sections_; }

 private:
  const Entry* Find(std::wstring_view section, std::wstring_view key) const;

  std::vector<Section> sections_;
  // The first section of each name: a lookup is not a walk over the file.
  std::unordered_multimap<std::uint64_t, std::uint32_t> firstSections_;
};

// Copies a value into a buffer of `bufferChars` characters as the profile
// reader does: one pair of enclosing quotation marks removed, cut to fit.
std::wstring CopyProfileValue(std::wstring_view value, std::size_t bufferChars);

// Trailing blanks of a default value are not part of it.
std::wstring_view TrimProfileDefault(std::wstring_view defaultValue);

}  // namespace tv
