#include <gtest/gtest.h>

#include <algorithm>

#include "platform/sim/sim_machine.h"
#include "platform/text.h"

namespace tv::sim {
namespace {

TEST(SimRegistry, KeepsTheRulesOfTheRealRegistry) {
  SimMachine m;
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\A\\B", L"V", 5);
  IRegistry& r = m.platform().registry;
  // Names ignore case; a trailing backslash is accepted, a leading one refused.
  EXPECT_TRUE(r.OpenKey(RegRoot::kLocalMachine, L"software\\a\\b\\", reg::kKeyRead));
  auto leading = r.OpenKey(RegRoot::kLocalMachine, L"\\SOFTWARE\\A", reg::kKeyRead);
  EXPECT_FALSE(leading);
  EXPECT_EQ(leading.error(), err::kBadPathname);
  EXPECT_EQ(r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\Missing", reg::kKeyRead).error(), err::kFileNotFound);

  auto key = r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\A\\B", reg::kKeyRead);
  ASSERT_TRUE(key);
  EXPECT_EQ((*key)->QueryValue(L"v", 2).error(), err::kMoreData);
  EXPECT_EQ((*key)->QueryValue(L"none", 4).error(), err::kFileNotFound);
  const std::uint8_t one[] = {1, 0, 0, 0};
  EXPECT_EQ((*key)->SetValue(L"W", reg::kTypeDword, one), err::kAccessDenied);  // opened read-only
  EXPECT_EQ(m.registry.OpenKeyCount(), 1);
  key = Result<RegKeyPtr>::Fail(err::kInvalidHandle);
  EXPECT_EQ(m.registry.OpenKeyCount(), 0);

  auto parent = r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE", reg::kKeyRead);
  ASSERT_TRUE(parent);
  EXPECT_EQ(*(*parent)->EnumSubKey(0), L"A");
  EXPECT_EQ((*parent)->EnumSubKey(1).error(), err::kNoMoreItems);

  // Values are found by name without case and enumerated in the order they
  // were made; a value deleted from the middle leaves the others findable.
  for (const wchar_t* name : {L"First", L"Second", L"Third", L"first"}) {
    m.registry.SetString(RegRoot::kLocalMachine, L"SOFTWARE\\Order", name, name);
  }
  EXPECT_TRUE(m.registry.DeleteValue(RegRoot::kLocalMachine, L"SOFTWARE\\Order", L"SECOND"));
  EXPECT_FALSE(m.registry.DeleteValue(RegRoot::kLocalMachine, L"SOFTWARE\\Order", L"Second"));
  auto order = r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\Order", reg::kKeyRead);
  ASSERT_TRUE(order);
  EXPECT_EQ((*order)->EnumValue(0)->first, L"First");
  EXPECT_EQ(StringFromRegistryData((*order)->EnumValue(0)->second.data), L"first");  // rewritten in its place
  EXPECT_EQ((*order)->EnumValue(1)->first, L"Third");
  EXPECT_EQ((*order)->EnumValue(2).error(), err::kNoMoreItems);
  EXPECT_TRUE((*order)->QueryValue(L"THIRD", 100));
}

// A key's values against a plain list, through many puts and erases of
// names in any case, the key holding about 5, 7, 13 or 60 at a time so that
// its table is small and its runs of slots often wrap around: each name is
// found, replaced or erased as the list says, and the order is the list's.
TEST(SimRegistry, ValuesStayFoundThroughPutsAndErases) {
  std::uint32_t seed = 7;
  const auto next = [&seed] { return seed = seed * 1103515245U + 12345U, (seed >> 8) & 0xFFFF; };
  for (const std::size_t size : {5U, 7U, 13U, 60U}) {
    SimKeyNode key;
    std::vector<std::pair<std::wstring, std::uint8_t>> expected;
    for (int step = 0; step < 20000; ++step) {
      const bool erase = expected.size() > size || (!expected.empty() && next() % 3 == 0);
      std::wstring name =
          erase && next() % 4 != 0 ? expected[next() % expected.size()].first : L"v" + std::to_wstring(next() % 1000);
      if (next() % 2 == 0) name[0] = L'V';
      const auto at =
          std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return EqualsNoCase(e.first, name); });
      const auto data = static_cast<std::uint8_t>(step);
      if (erase) {
        ASSERT_EQ(key.EraseValue(name), at != expected.end()) << step;
        if (at != expected.end()) expected.erase(at);
      } else if (at != expected.end()) {
        key.PutValue(name, RegValue{reg::kTypeBinary, {data}});
        at->second = data;
      } else {
        key.PutValue(name, RegValue{reg::kTypeBinary, {data}});
        expected.emplace_back(name, data);
      }
      ASSERT_EQ(key.values.size(), expected.size()) << step;
      for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(EqualsNoCase(key.values[i].first, expected[i].first)) << step;
        const RegValue* found = key.FindValue(expected[i].first);
        ASSERT_EQ(found, &key.values[i].second) << step << " " << ToUtf8(expected[i].first);
        ASSERT_EQ(found->data, std::vector<std::uint8_t>{expected[i].second}) << step;
      }
    }
  }
}

TEST(SimRegistry, NamesCompareWithoutCaseForEveryLetter) {
  SimMachine m;
  auto& r = m.registry;
  // Key names: Ä and ä, Cyrillic, Greek with its final sigma, full-width forms.
  r.SetDword(RegRoot::kCurrentUser, L"Software\\\u00C4pfel", L"a", 1);
  r.SetDword(RegRoot::kCurrentUser, L"Software\\\u00E4pfel", L"b", 2);
  EXPECT_EQ(r.GetValue(RegRoot::kCurrentUser, L"SOFTWARE\\\u00C4PFEL", L"b")->data[0], 2);
  for (std::wstring_view pair :
       {L"\u041A\u043B\u044E\u0447|\u041A\u041B\u042E\u0427", L"\u03C3\u03BF\u03C2|\u03A3\u039F\u03A3",
        L"\uFF41|\uFF21", L"\u0151|\u0150", L"\u00FF|\u0178"}) {
    const auto bar = pair.find(L'|');
    r.CreateKey(RegRoot::kCurrentUser, std::wstring(L"Software\\") + std::wstring(pair.substr(0, bar)));
    EXPECT_TRUE(r.KeyExists(RegRoot::kCurrentUser, std::wstring(L"Software\\") + std::wstring(pair.substr(bar + 1))))
        << ToUtf8(pair);
  }
  // Value names too; letters that only look alike stay apart.
  r.SetDword(RegRoot::kCurrentUser, L"Software\\V", L"\u00C9t\u00E9", 1);
  EXPECT_TRUE(r.GetValue(RegRoot::kCurrentUser, L"Software\\V", L"\u00E9T\u00C9"));
  EXPECT_FALSE(r.GetValue(RegRoot::kCurrentUser, L"Software\\V", L"Ete"));
  EXPECT_FALSE(r.KeyExists(RegRoot::kCurrentUser, L"Software\\Apfel"));
}

TEST(SimRegistry, ClassesRootIsAViewOfTheMachineClasses) {
  SimMachine m;
  auto& r = m.registry;
  r.SetString(RegRoot::kClassesRoot, L"Tv\\A", L"v", L"1");
  r.SetString(RegRoot::kLocalMachine, L"SOFTWARE\\Classes\\Tv\\A", L"w", L"2");
  EXPECT_TRUE(r.GetValue(RegRoot::kLocalMachine, L"Software\\Classes\\Tv\\A", L"v"));
  EXPECT_TRUE(r.GetValue(RegRoot::kClassesRoot, L"Tv\\A", L"w"));
  // Through the calls the tool makes, and a delete through either name.
  auto key = r.OpenKey(RegRoot::kClassesRoot, L"Tv\\A", reg::kKeyRead);
  ASSERT_TRUE(key.ok());
  EXPECT_TRUE((*key)->QueryValue(L"w", 64).ok());
  ASSERT_TRUE(r.CreateKey(RegRoot::kClassesRoot, L"Tv\\B", reg::kKeyAllAccess).ok());
  EXPECT_TRUE(r.KeyExists(RegRoot::kLocalMachine, L"Software\\Classes\\Tv\\B"));
  EXPECT_TRUE(r.DeleteKeyTree(RegRoot::kClassesRoot, L"Tv"));
  EXPECT_FALSE(r.KeyExists(RegRoot::kLocalMachine, L"Software\\Classes\\Tv"));
  EXPECT_TRUE(r.KeyExists(RegRoot::kLocalMachine, L"Software\\Classes"));
}

TEST(SimRegistry, Wow64ViewsOfSoftware) {
  SimMachine m;
  m.wow64 = true;
  IRegistry& r = m.platform().registry;
  m.registry.CreateKey(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\Vendor");
  m.registry.CreateKey(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet");
  auto key = r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", reg::kKeyAllAccess);
  ASSERT_TRUE(key);
  const std::uint8_t one[] = {1, 0, 0, 0};
  EXPECT_EQ((*key)->SetValue(L"T", reg::kTypeDword, one), err::kSuccess);
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\Vendor", L"T"));
  // The 64-bit view does not see the 32-bit key; keys outside SOFTWARE are shared.
  EXPECT_FALSE(r.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\Vendor", reg::kKeyRead | reg::kWow64_64Key));
  EXPECT_TRUE(r.OpenKey(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet", reg::kKeyRead));
}

TEST(SimFiles, ShortPathsOfExistingPaths) {
  SimMachine m;
  m.files.CreateDirectories(L"C:\\Program Files\\Net Setup.dir");
  m.files.CreateDirectories(L"C:\\DRIVERS\\x.y");
  EXPECT_EQ(*m.files.ShortPath(L"C:\\Program Files\\Net Setup.dir"), L"C:\\PROGRA~1\\NETSET~1.DIR");
  EXPECT_EQ(*m.files.ShortPath(L"C:\\DRIVERS\\x.y\\"), L"C:\\DRIVERS\\x.y");
  EXPECT_EQ(m.files.ShortPath(L"C:\\Missing\\x").error(), err::kPathNotFound);
  EXPECT_EQ(m.files.ShortPath(L"C:\\DRIVERS\\none").error(), err::kFileNotFound);
}

}  // namespace
}  // namespace tv::sim
