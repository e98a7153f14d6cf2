#include "runtime/section_variant.h"

#include "platform/format.h"
#include "platform/text.h"

namespace tv {

std::wstring SelectSectionVariant(IProfile& profile, std::wstring_view script, std::wstring_view section,
                                  std::wstring_view suffix) {
  if (suffix.empty()) return std::wstring(section);
  const std::wstring candidate = std::wstring(section) + L"_" + std::wstring(suffix);
  for (const auto& name : profile.ReadSectionNames(script, kSectionListChars)) {
    if (EqualsNoCase(name, candidate)) return candidate;
  }
  return std::wstring(section);
}

std::wstring UiLanguageSuffix(std::uint16_t language) { return Format(L"%04x", language); }

}  // namespace tv
