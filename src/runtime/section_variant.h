// Section variants: one setup script can carry a version of a command section
// per region or per user-interface language, named "<section>_<suffix>".
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tv {

// Variants are looked for in the list of section names read into a buffer of
// this many characters; a section beyond it is never selected.
inline constexpr std::size_t kSectionListChars = 2600;

// The variant section when the setup script has one (ASCII case ignored),
// else the plain section; the plain section when the suffix is empty.
std::wstring SelectSectionVariant(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                  std::wstring_view suffix);

// The user-interface language as a variant suffix: four lower-case hexadecimal digits.
std::wstring UiLanguageSuffix(std::uint16_t language);

}  // namespace tv
