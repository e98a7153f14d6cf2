// The simulated INF installer does what the system's does with each form of a
// delete line and with the INF's quoting and string substitution, so that a
// run on the simulator shows the damage a script asks for.
#include <gtest/gtest.h>

#include "platform/sim/ansi.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_programs.h"
#include "platform/text.h"

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

// One AddReg line applied under HKCU\Software\T, with a value "old" = "1"
// (REG_SZ) and a multi-string "list" = a, b there before.
struct AddLine {
  explicit AddLine(std::wstring_view line, std::wstring_view more = L"") {
    m.registry.SetString(RegRoot::kCurrentUser, L"Software\\T", L"old", L"1");
    m.registry.SetValue(RegRoot::kCurrentUser, L"Software\\T", L"list",
                        RegValue{reg::kTypeMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}});
    m.registry.SetDword(RegRoot::kCurrentUser, L"Software\\T\\Sub", L"s", 1);
    sim::InfDirectories dirs;
    dirs.windows = L"C:\\windows";
    dirs.infFile = L"C:\\Temp\\Tarnvale.x\\StaticAddDel.inf";
    sim::ApplyInf(m.registry,
                  std::wstring(kFrame) + L"AddReg = Add.reg\r\n\r\n[Add.reg]\r\n" + std::wstring(line) + L" \r\n" +
                      std::wstring(more),
                  true, dirs);
  }
  std::optional<RegValue> Get(std::wstring_view name, std::wstring_view path = L"Software\\T") const {
    return m.registry.GetValue(RegRoot::kCurrentUser, path, name);
  }
  bool Key(std::wstring_view path) const { return m.registry.KeyExists(RegRoot::kCurrentUser, path); }
  sim::SimMachine m;
};

// A string value's data as the registry keeps it: UTF-16LE with its terminator.
std::vector<std::uint8_t> Sz(std::wstring_view text) {
  const std::string bytes = sim::EncodeUtf16Le(std::wstring(text) + L'\0');
  return {bytes.begin(), bytes.end()};
}

TEST(InfInstaller, TheFlagsOfAnAddRegLine) {
  struct Case {
    const wchar_t* line;
    const wchar_t* name;
    std::optional<RegValue> expected;
  };
  const std::vector<Case> cases = {
      // The type in the high word, also where no FLG_ADDREG_TYPE_* names it.
      {L"HKCU,\"Software\\T\",\"v\",0x00040000,12", L"v", RegValue{reg::kTypeDword, {12, 0, 0, 0}}},
      {L"HKCU,\"Software\\T\",\"v\",0x00030001,01,02", L"v", RegValue{reg::kTypeBinary, {1, 2}}},
      // A DWORD is read by wcstoul: past 32 bits it is 0xFFFFFFFF.
      {L"HKCU,\"Software\\T\",\"v\",0x00010001,99999999999", L"v", RegValue{reg::kTypeDword, {255, 255, 255, 255}}},
      {L"HKCU,\"Software\\T\",\"v\",0x00010001,-1", L"v", RegValue{reg::kTypeDword, {255, 255, 255, 255}}},
      // More than one data field: the bytes, as a REG_DWORD of two bytes.
      {L"HKCU,\"Software\\T\",\"v\",0x00010001,1,2", L"v", RegValue{reg::kTypeDword, {1, 2}}},
      // Flags that are not a whole number are 0: a string.
      {L"HKCU,\"Software\\T\",\"v\",0x10001junk,5", L"v", RegValue{reg::kTypeSz, Sz(L"5")}},
      // An empty binary field is a zero byte; REG_NONE keeps its bytes.
      {L"HKCU,\"Software\\T\",\"v\",0x00000001,01,,02", L"v", RegValue{reg::kTypeBinary, {1, 0, 2}}},
      {L"HKCU,\"Software\\T\",\"v\",0x00020001,01,02", L"v", RegValue{reg::kTypeNone, {1, 2}}},
      // Key only, in both forms, and the DelReg bit: no value.
      {L"HKCU,\"Software\\T\",\"v\",0x00002000,x", L"v", std::nullopt},
      {L"HKCU,\"Software\\T\",\"v\",0x00000010,x", L"v", std::nullopt},
      {L"HKCU,\"Software\\T\",\"v\",0x00008000,x", L"v", std::nullopt},
      // Overwrite only: a value that is there, none that is not.
      {L"HKCU,\"Software\\T\",\"old\",0x00000020,2", L"old", RegValue{reg::kTypeSz, Sz(L"2")}},
      {L"HKCU,\"Software\\T\",\"v\",0x00000020,2", L"v", std::nullopt},
      // No clobber keeps what is there.
      {L"HKCU,\"Software\\T\",\"old\",0x00000002,2", L"old", RegValue{reg::kTypeSz, Sz(L"1")}},
      // Append adds the strings a multi-string lacks, and makes none.
      {L"HKCU,\"Software\\T\",\"list\",0x00010008,B,c", L"list",
       RegValue{reg::kTypeMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 'c', 0, 0, 0, 0, 0}}},
      {L"HKCU,\"Software\\T\",\"v\",0x00010008,c", L"v", std::nullopt},
      // Directory IDs in a value, a closing backslash of the folder dropped before one in the text.
      {L"HKCU,\"Software\\T\",\"v\",0,%10%\\x", L"v", RegValue{reg::kTypeSz, Sz(L"C:\\windows\\x")}},
      {L"HKCU,\"Software\\T\",\"v\",0,%1%\\x;% 11%;%0%;%9999%", L"v",
       RegValue{reg::kTypeSz, Sz(L"C:\\Temp\\Tarnvale.x\\x")}},
      {L"HKCU,\"Software\\T\",\"v\",0,\"% 11%|%0%|%9999%|%24%\"", L"v",
       RegValue{reg::kTypeSz, Sz(L"C:\\windows\\system32||%9999%|C:\\")}},
  };
  for (const auto& c : cases) {
    AddLine t(c.line);
    const auto got = t.Get(c.name);
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << ToUtf8(c.line) << "\n" << t.m.ToString();
    if (got) {
      EXPECT_EQ(got->type, c.expected->type) << ToUtf8(c.line);
      EXPECT_EQ(got->data, c.expected->data) << ToUtf8(c.line);
    }
  }
}

TEST(InfInstaller, WhereAnAddRegLineWritesNothingOrDeletes) {
  {
    SCOPED_TRACE("a long root name is no root: the line is skipped");
    AddLine t(L"HKEY_CURRENT_USER,\"Software\\New\",\"v\",0,x");
    EXPECT_FALSE(t.Key(L"Software\\New"));
  }
  {
    SCOPED_TRACE("a key path that begins with a backslash is refused");
    AddLine t(L"HKCU,\"\\Software\\New\",\"v\",0,x");
    EXPECT_FALSE(t.Key(L"Software\\New"));
  }
  {
    SCOPED_TRACE("overwrite only does not make the key");
    AddLine t(L"HKCU,\"Software\\New\",\"v\",0x00000020,x");
    EXPECT_FALSE(t.Key(L"Software\\New"));
  }
  {
    SCOPED_TRACE("the DelReg bit: not even the key");
    AddLine t(L"HKCU,\"Software\\New\",\"v\",0x00008000,x");
    EXPECT_FALSE(t.Key(L"Software\\New"));
  }
  {
    SCOPED_TRACE("FLG_ADDREG_DELVAL without a value name deletes the key and all below it");
    AddLine t(L"HKCU,\"Software\\T\",\"\",0x00000004,");
    EXPECT_FALSE(t.Key(L"Software\\T"));
    EXPECT_FALSE(t.Key(L"Software\\T\\Sub"));
  }
  {
    SCOPED_TRACE("FLG_ADDREG_DELVAL with a value name makes the key and deletes the value");
    AddLine t(L"HKCU,\"Software\\New\",\"v\",0x00000004,");
    EXPECT_TRUE(t.Key(L"Software\\New"));
    AddLine u(L"HKCU,\"Software\\T\",\"old\",0x00000004,");
    EXPECT_FALSE(u.Get(L"old"));
    EXPECT_TRUE(u.Get(L"list"));
  }
}

TEST(InfInstaller, TheInfSyntaxAsTheParserReadsIt) {
  {
    SCOPED_TRACE("a backslash and blanks at the line end join the next line; its entry is lost");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,C:\\dir\\", L"HKCU, \"Software\\T\",\"b\",0,next \r\n");
    EXPECT_EQ(t.Get(L"a")->data, Sz(L"C:\\dirHKCU"));
    EXPECT_FALSE(t.Get(L"b"));
  }
  {
    SCOPED_TRACE("a backslash inside the text is text");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,C:\\dir\\ x");
    EXPECT_EQ(t.Get(L"a")->data, Sz(L"C:\\dir\\ x"));
  }
  {
    SCOPED_TRACE("an open quotation runs to the line end, blank and carriage return too");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,a\"b");
    EXPECT_EQ(t.Get(L"a")->data, Sz(L"ab \r"));
  }
  {
    SCOPED_TRACE("a Ctrl-Z ends the file");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,x\x1Ay", L"HKCU, \"Software\\T\",\"b\",0,next \r\n");
    EXPECT_EQ(t.Get(L"a")->data, Sz(L"x"));
    EXPECT_FALSE(t.Get(L"b"));
  }
  {
    SCOPED_TRACE("a section header without its bracket: the file is not read at all");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,x", L"[Broken\r\n");
    EXPECT_FALSE(t.Get(L"a"));
  }
  {
    SCOPED_TRACE("a second section of the same name adds its lines to the first");
    AddLine t(L"HKCU,\"Software\\T\",\"a\",0,x", L"[Other]\r\n[Add.reg]\r\nHKCU,\"Software\\T\",\"b\",0,y\r\n");
    EXPECT_TRUE(t.Get(L"a"));
    EXPECT_TRUE(t.Get(L"b"));
  }
}

}  // namespace
}  // namespace tv
