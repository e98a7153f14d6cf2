#include "platform/reg_root.h"

#include "platform/text.h"

namespace tv {

namespace {

struct RootNames {
  RegRoot root;
  std::wstring_view name;
  std::wstring_view shortName;
};

constexpr RootNames kRoots[] = {
    {RegRoot::kLocalMachine, L"HKEY_LOCAL_MACHINE", L"HKLM"},   {RegRoot::kCurrentUser, L"HKEY_CURRENT_USER", L"HKCU"},
    {RegRoot::kClassesRoot, L"HKEY_CLASSES_ROOT", L"HKCR"},     {RegRoot::kUsers, L"HKEY_USERS", L"HKU"},
    {RegRoot::kCurrentConfig, L"HKEY_CURRENT_CONFIG", L"HKCC"},
};

const RootNames& NamesOf(RegRoot root) {
  for (const auto& r : kRoots) {
    if (r.root == root) return r;
  }
  return kRoots[0];
}

}  // namespace

std::wstring_view RegRootName(RegRoot root) { return NamesOf(root).name; }
std::wstring_view RegRootShortName(RegRoot root) { return NamesOf(root).shortName; }

std::optional<RegRoot> RegRootFromName(std::wstring_view name) {
  for (const auto& r : kRoots) {
    if (EqualsNoCase(name, r.name) || EqualsNoCase(name, r.shortName)) return r.root;
  }
  return std::nullopt;
}

}  // namespace tv
