// The simulated INF installer does what the system's does with each form of a
// delete line and with the INF's quoting and string substitution, so that a
// run on the simulator shows the damage a script asks for.
#include <gtest/gtest.h>

#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_programs.h"

namespace tv {
namespace {

constexpr std::wstring_view kFrame = L"[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[DefaultInstall]\r\n";

struct Installer {
  Installer() {
    m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Keep", L"K", 1);
    m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old", L"A", 1);
    m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old", L"B", 1);
    m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\Old\\Sub", L"C", 1);
  }
  void Apply(std::wstring_view lines) {
    sim::ApplyInf(m.registry, std::wstring(kFrame) + L"DelReg = Del.reg\r\n\r\n[Del.reg]\r\n" + std::wstring(lines),
                  true);
  }
  bool Key(std::wstring_view path) const { return m.registry.KeyExists(RegRoot::kCurrentUser, path); }
  bool Value(std::wstring_view path, std::wstring_view name) const {
    return m.registry.GetValue(RegRoot::kCurrentUser, path, name).has_value();
  }
  sim::SimMachine m;
};

TEST(InfInstaller, EachDeleteForm) {
  {
    SCOPED_TRACE("key alone: the key and its subtree");
    Installer t;
    t.Apply(L"HKCU, \"Software\\Old\" \r\n");
    EXPECT_FALSE(t.Key(L"Software\\Old"));
    EXPECT_TRUE(t.Value(L"Software\\Keep", L"K"));
  }
  {
    SCOPED_TRACE("an empty value name deletes the key as the key alone does");
    Installer t;
    t.Apply(L"HKCU, \"Software\\Old\",\"\"\r\n");
    EXPECT_FALSE(t.Key(L"Software\\Old"));
    EXPECT_FALSE(t.Key(L"Software\\Old\\Sub"));
    EXPECT_TRUE(t.Value(L"Software\\Keep", L"K"));
  }
  {
    SCOPED_TRACE("a value name deletes that value only");
    Installer t;
    t.Apply(L"HKCU, \"Software\\Old\",\"A\"\r\n");
    EXPECT_FALSE(t.Value(L"Software\\Old", L"A"));
    EXPECT_TRUE(t.Value(L"Software\\Old", L"B"));
    EXPECT_TRUE(t.Value(L"Software\\Old\\Sub", L"C"));
  }
  {
    SCOPED_TRACE("no key path: everything under the root");
    Installer t;
    t.Apply(L"HKCU, \"\" \r\n");
    EXPECT_FALSE(t.Key(L"Software"));
    EXPECT_FALSE(t.Value(L"Software\\Keep", L"K"));
  }
  {
    SCOPED_TRACE("a key that is not there deletes nothing");
    Installer t;
    t.Apply(L"HKCU, \"Software\\None\",\"\"\r\n");
    EXPECT_TRUE(t.Key(L"Software\\Old"));
    EXPECT_TRUE(t.Value(L"Software\\Keep", L"K"));
  }
}

TEST(InfInstaller, QuotesAndPercentSignsAsTheInstallerReadsThem) {
  sim::SimMachine m;
  sim::ApplyInf(m.registry,
                std::wstring(kFrame) +
                    L"AddReg = Add.reg\r\n\r\n[Add.reg]\r\n"
                    L"HKCU, \"Software\\A\"\"B%%1\",\"x\"\"y\",0,v ; a comment\r\n"
                    L"HKCU, \"Software\\%Undefined%\",\"%Name%\",0,%Name%\r\n"
                    L"\r\n[Strings]\r\nName = \"Named\"\r\n",
                true);
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\A\"B%1", L"x\"y")) << m.ToString();
  const auto named = m.registry.GetValue(RegRoot::kCurrentUser, L"Software\\%Undefined%", L"Named");
  ASSERT_TRUE(named) << m.ToString();
  EXPECT_EQ(named->data, (std::vector<std::uint8_t>{'N', 0, 'a', 0, 'm', 0, 'e', 0, 'd', 0, 0, 0}));
}

}  // namespace
}  // namespace tv
