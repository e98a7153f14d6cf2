// The registry: keys opened with RegOpenKeyExW or RegCreateKeyExW, one owning handle each.
#include "platform/win32/win32_parts.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace tv::win32 {

namespace {

HKEY RootKey(RegRoot root) {
  switch (root) {
    case RegRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegRoot::kCurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegRoot::kUsers: return HKEY_USERS;
    case RegRoot::kCurrentConfig: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

Result<RegKeyPtr> Open(HKEY parent, std::wstring_view path, std::uint32_t access);

class RegKey final : public IRegKey {
 public:
  explicit RegKey(HKEY key) : key_(key) {}

  Result<RegValue> QueryValue(std::wstring_view name, std::uint32_t maxBytes) override {
    RegValue value;
    value.data.resize(maxBytes);
    DWORD type = 0;
    DWORD size = maxBytes;
    const LONG rc = ::RegQueryValueExW(key_.get(), Z(name).c_str(), nullptr, &type,
                                       maxBytes == 0 ? nullptr : value.data.data(), &size);
    if (rc != ERROR_SUCCESS) return Result<RegValue>::Fail(static_cast<WinError>(rc));
    // Asked without a data room, Windows answers success with the size: the
    // data did not fit all the same, and zeroes are no value.
    if (size > maxBytes) return Result<RegValue>::Fail(err::kMoreData);
    value.type = type;
    value.data.resize(size);
    return Result<RegValue>::Ok(std::move(value));
  }

  WinError SetValue(std::wstring_view name, std::uint32_t type, std::span<const std::uint8_t> data) override {
    return static_cast<WinError>(
        ::RegSetValueExW(key_.get(), Z(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
  }

  Result<std::wstring> EnumSubKey(std::uint32_t index) override {
    wchar_t name[256];
    DWORD length = 256;
    const LONG rc = ::RegEnumKeyExW(key_.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return Result<std::wstring>::Fail(static_cast<WinError>(rc));
    return Result<std::wstring>::Ok(std::wstring(name, length));
  }

  Result<std::pair<std::wstring, RegValue>> EnumValue(std::uint32_t index) override {
    using R = Result<std::pair<std::wstring, RegValue>>;
    // Most values fit a name of the longest length Windows allows and a
    // kilobyte of data; the key's own longest sizes are asked for only when
    // one does not: a whole registry is read with half the calls.
    DWORD nameRoom = 16383;
    DWORD dataRoom = 1024;
    for (int attempt = 0;; ++attempt) {
      std::vector<wchar_t> name(nameRoom + 1);
      RegValue value;
      value.data.resize(dataRoom);
      DWORD nameLength = nameRoom + 1;
      DWORD type = 0;
      DWORD size = dataRoom;
      LONG rc = ::RegEnumValueW(key_.get(), index, name.data(), &nameLength, nullptr, &type,
                                dataRoom == 0 ? nullptr : value.data.data(), &size);
      if (rc == ERROR_MORE_DATA && attempt == 0) {
        rc = ::RegQueryInfoKeyW(key_.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameRoom,
                                &dataRoom, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) return R::Fail(static_cast<WinError>(rc));
        nameRoom = std::max<DWORD>(nameRoom, 16383);
        continue;
      }
      if (rc != ERROR_SUCCESS) return R::Fail(static_cast<WinError>(rc));
      value.type = type;
      value.data.resize(size);
      return R::Ok(std::pair{std::wstring(name.data(), nameLength), std::move(value)});
    }
  }

  Result<RegKeyPtr> OpenSubKey(std::wstring_view path, std::uint32_t access) override {
    return Open(key_.get(), path, access);
  }

  WinError DeleteValue(std::wstring_view name) override {
    return static_cast<WinError>(::RegDeleteValueW(key_.get(), Z(name).c_str()));
  }

  WinError DeleteSubKey(std::wstring_view name) override {
    return static_cast<WinError>(::RegDeleteKeyW(key_.get(), Z(name).c_str()));
  }

 private:
  unique_hkey key_;
};

Result<RegKeyPtr> Open(HKEY parent, std::wstring_view path, std::uint32_t access) {
  HKEY key = nullptr;
  const LONG rc = ::RegOpenKeyExW(parent, Z(path).c_str(), 0, access, &key);
  if (rc != ERROR_SUCCESS) return Result<RegKeyPtr>::Fail(static_cast<WinError>(rc));
  return Result<RegKeyPtr>::Ok(std::make_unique<RegKey>(key));
}

class Registry final : public IRegistry {
 public:
  Result<RegKeyPtr> OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) override {
    return Open(RootKey(root), path, access);
  }

  Result<RegKeyPtr> CreateKey(RegRoot root, std::wstring_view path, std::uint32_t access) override {
    HKEY key = nullptr;
    const LONG rc = ::RegCreateKeyExW(RootKey(root), Z(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                      nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS) return Result<RegKeyPtr>::Fail(static_cast<WinError>(rc));
    return Result<RegKeyPtr>::Ok(std::make_unique<RegKey>(key));
  }
};

}  // namespace

std::unique_ptr<IRegistry> MakeRegistry() { return std::make_unique<Registry>(); }

}  // namespace tv::win32
