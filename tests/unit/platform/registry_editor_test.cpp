// The simulated registry editor imports a .reg file line by line as the
// system's editor reads it: what it cannot read it skips, and a header it
// does not know imports nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/ansi.h"
#include "platform/sim/sim_machine.h"
#include "platform/sim/sim_programs.h"
#include "platform/text.h"

namespace tv {
namespace {

struct Import {
  // An ANSI file (code page 1252) of the given bytes, or UTF-16 with `unicode`.
  explicit Import(const std::string& text, bool unicode = false) {
    std::vector<std::uint8_t> bytes;
    if (unicode) {
      const std::string wide = "\xFF\xFE" + sim::EncodeUtf16Le(FromUtf8(text));
      bytes.assign(wide.begin(), wide.end());
    } else {
      bytes.assign(text.begin(), text.end());
    }
    known = sim::ImportRegFile(m.registry, bytes, 1252, true);
  }
  std::optional<RegValue> Get(std::wstring_view name, std::wstring_view path = L"Software\\T") const {
    return m.registry.GetValue(RegRoot::kCurrentUser, path, name);
  }
  sim::SimMachine m;
  bool known = false;
};

// A string value's data as the registry keeps it: UTF-16LE with its terminator.
std::vector<std::uint8_t> Sz(std::wstring_view text) {
  const std::string bytes = sim::EncodeUtf16Le(std::wstring(text) + L'\0');
  return {bytes.begin(), bytes.end()};
}

TEST(RegistryEditor, OnlyTheHeadersItKnowsAsTheFirstLine) {
  const std::string body = "\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"v\"=\"x\"\r\n";
  EXPECT_TRUE(Import("REGEDIT4" + body).Get(L"v"));
  EXPECT_TRUE(Import("Windows Registry Editor Version 5.00" + body, true).Get(L"v"));
  EXPECT_TRUE(Import(" REGEDIT4" + body).Get(L"v"));  // blanks before it are allowed
  for (const std::string header : {"REGEDIT4 ", "\r\nREGEDIT4", "\xEF\xBB\xBFREGEDIT4", "regedit4", "REGEDIT5"}) {
    Import t(header + body);
    EXPECT_FALSE(t.Get(L"v")) << header;
  }
  // "REGEDIT" and more is accepted and imports nothing; anything else is no registry file.
  EXPECT_TRUE(Import("REGEDIT5" + body).known);
  EXPECT_FALSE(Import("HELLO" + body).known);
}

TEST(RegistryEditor, KeyLines) {
  Import t(
      "REGEDIT4\r\n[HKCU\\Software\\T]\r\n\"abbreviated\"=\"x\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\T]\r\n\"first\"=\"x\"\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other\r\n\"unclosed\"=\"x\"\r\n"
      "[HKEY_CURRENT_USER\\\\Software\\T2]\r\n\"doubled\"=\"x\"\r\n"
      "[hkey_current_user\\Software\\T3] trailing text\r\n\"lower\"=\"x\"\r\n");
  EXPECT_FALSE(t.m.registry.KeyExists(RegRoot::kCurrentUser, L"Software\\Other"));
  // A key line it cannot read leaves the key before it open.
  EXPECT_TRUE(t.Get(L"unclosed"));
  // A short root name, or a path that begins with a backslash: no key is open.
  EXPECT_FALSE(t.Get(L"abbreviated"));
  EXPECT_FALSE(t.m.registry.KeyExists(RegRoot::kCurrentUser, L"Software\\T2"));
  EXPECT_FALSE(t.Get(L"doubled"));
  EXPECT_TRUE(t.Get(L"lower", L"Software\\T3"));
}

TEST(RegistryEditor, ValueLines) {
  struct Case {
    const char* line;
    std::optional<RegValue> expected;
  };
  const std::vector<Case> cases = {
      {"\"v\"=\"a\\\\b\\\"c\"", RegValue{reg::kTypeSz, Sz(L"a\\b\"c")}},
      {"\"v\"=\"a\\nb\"", RegValue{reg::kTypeSz, Sz(L"a\nb")}},
      {"\"v\"=\"a\\0b\"", std::nullopt},
      {"\"v\"=\"x\" ; a comment", RegValue{reg::kTypeSz, Sz(L"x")}},
      {"\"v\"=\"x\" junk", std::nullopt},
      {"\"v\"=\"x\" #c", std::nullopt},
      {"\"v\" = dword:0000001f", RegValue{reg::kTypeDword, {0x1f, 0, 0, 0}}},
      {"\"v\"=dword:123456789", std::nullopt},
      {"\"v\"=dword:0x10", std::nullopt},
      {"\"v\"=dword:", std::nullopt},
      {"\"v\"=DWORD:1", std::nullopt},
      {"\"v\"=hex:01,ff", RegValue{reg::kTypeBinary, {1, 0xff}}},
      {"\"v\"=hex:", RegValue{reg::kTypeBinary, {}}},
      {"\"v\"=hex:01,,02", std::nullopt},
      {"\"v\"=hex:1ff", std::nullopt},
      {"\"v\"=HEX:01", std::nullopt},
      {"\"v\"=hex(2):41,42", RegValue{reg::kTypeExpandSz, Sz(L"AB")}},
      {"\"v\"=hex(7):61,00,62,63,00,00", RegValue{reg::kTypeMultiSz, {'a', 0, 0, 0, 'b', 0, 'c', 0, 0, 0, 0, 0}}},
      {"\"v\"=hex(0x2):41", std::nullopt},
      {"@=\"d\"", RegValue{reg::kTypeSz, Sz(L"d")}},
  };
  for (const auto& c : cases) {
    Import t(std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n") + c.line + "\r\n");
    const auto got = t.Get(std::string(c.line).starts_with("@") ? L"" : L"v");
    ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.line << "\n" << t.m.ToString();
    if (got) {
      EXPECT_EQ(got->type, c.expected->type) << c.line;
      EXPECT_EQ(got->data, c.expected->data) << c.line;
    }
  }
}

TEST(RegistryEditor, DeletionsContinuationsAndTheOldFormat) {
  {
    SCOPED_TRACE("a deletion followed by a comment deletes");
    Import t("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"v\"=\"x\"\r\n\"v\"=- ;gone\r\n");
    EXPECT_FALSE(t.Get(L"v"));
  }
  {
    SCOPED_TRACE("hex data goes on past a closing backslash, over blank and comment lines");
    Import t("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"v\"=hex:01,\\\r\n\r\n; c\r\n  02\r\n\"w\"=\"x\"\r\n");
    EXPECT_EQ(t.Get(L"v")->data, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_TRUE(t.Get(L"w"));
  }
  {
    SCOPED_TRACE("a comment that ends in a backslash joins nothing");
    Import t("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n; note \\\r\n\"v\"=\"x\"\r\n");
    EXPECT_TRUE(t.Get(L"v"));
  }
  {
    SCOPED_TRACE("lines may end with a carriage return alone");
    Import t("REGEDIT4\r[HKEY_CURRENT_USER\\Software\\T]\r\"v\"=\"x\"\r");
    EXPECT_TRUE(t.Get(L"v"));
  }
  {
    SCOPED_TRACE("a key deletion with a root it does not know ends the import");
    Import t("REGEDIT4\r\n[-HKCU\\Software\\X]\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"v\"=\"x\"\r\n");
    EXPECT_FALSE(t.Get(L"v"));
  }
  {
    SCOPED_TRACE("the Windows 3.1 form sets the default value of a class key");
    Import t("REGEDIT\r\nHKEY_CLASSES_ROOT\\TvW31 = hello\r\nHKEY_CURRENT_USER\\Software\\T = no\r\n");
    EXPECT_EQ(t.m.registry.GetValue(RegRoot::kClassesRoot, L"TvW31", L"")->data, Sz(L"hello"));
    EXPECT_FALSE(t.m.registry.KeyExists(RegRoot::kCurrentUser, L"Software\\T"));
  }
}

}  // namespace
}  // namespace tv
