// Private-profile (INI) reading through the Windows profile functions.
#include "platform/win32/win32_parts.h"

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace tv::win32 {

namespace {

class Profile final : public IProfile {
 public:
  std::wstring ReadString(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                          std::wstring_view defaultValue, std::size_t bufferChars) override {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    const DWORD n = ::GetPrivateProfileStringW(Z(section).c_str(), Z(key).c_str(), Z(defaultValue).c_str(),
                                               buffer.data(), static_cast<DWORD>(bufferChars), Z(file).c_str());
    return std::wstring(buffer.data(), n);
  }
  std::uint32_t ReadInt(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                        std::int32_t defaultValue) override {
    return ::GetPrivateProfileIntW(Z(section).c_str(), Z(key).c_str(), defaultValue, Z(file).c_str());
  }
  std::vector<std::wstring> ReadSectionNames(std::wstring_view file, std::size_t bufferChars) override {
    std::vector<wchar_t> buffer(bufferChars + 2, L'\0');
    const DWORD n = ::GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(bufferChars), Z(file).c_str());
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < n;) {
      std::wstring name(buffer.data() + i);
      if (name.empty()) break;
      i += static_cast<DWORD>(name.size()) + 1;
      names.push_back(std::move(name));
    }
    return names;
  }
};

}  // namespace

std::unique_ptr<IProfile> MakeProfile() { return std::make_unique<Profile>(); }

}  // namespace tv::win32
