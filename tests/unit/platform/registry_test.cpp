#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"

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
