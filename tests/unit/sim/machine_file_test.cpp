#include <gtest/gtest.h>

#include "sim/machine_file.h"

namespace tv::sim {
namespace {

TEST(MachineDescription, ErrorsNameTheFieldAndWhatWasExpected) {
  const std::pair<const char*, const char*> cases[] = {
      {"[1]", "\"(top level)\": expected an object"},
      {"{\"windows\": {\"version\": \"six\"}}", "\"windows.version\": expected major.minor"},
      {"{\"uiLanguage\": 1041}", "\"uiLanguage\": expected a string"},
      {"{\"registry\": [{\"key\": \"HKXX\\\\A\"}]}", "\"registry[0].key\": expected a path that begins with a root"},
      {"{\"registry\": [{\"key\": \"HKLM\\\\A\", \"values\": {\"v\": {\"qword\": 1}}}]}",
       "\"registry[0].values.v\": expected one of dword"},
      {"{\"colour\": 1}", "\"colour\": expected no such field"},
      {"{", "not JSON"},
  };
  for (const auto& [json, message] : cases) {
    SimMachine m;
    const auto error = ApplyMachineDescription(json, m);
    ASSERT_TRUE(error.has_value()) << json;
    EXPECT_NE(error->find(message), std::string::npos) << *error;
  }
}

TEST(MachineDescription, DescribesWindowsProductRegistryAndSwitches) {
  SimMachine m;
  const auto error = ApplyMachineDescription(R"({
    "windows": {"version": "6.0", "build": 6002, "wow64": true},
    "uiLanguage": "0411",
    "product": {"Vendor": "VELTARO", "Version": null},
    "debugMode": 1,
    "registry": [{"key": "HKLM\\SOFTWARE\\X", "values": {
      "s": "text", "d": 7, "b": {"binary": "01 ff"}, "m": {"multi_sz": ["a", "b"]}}}]
  })",
                                             m);
  ASSERT_FALSE(error.has_value()) << *error;
  EXPECT_TRUE(m.wow64);
  EXPECT_EQ(m.os.major, 6U);
  EXPECT_EQ(m.uiLanguage, 0x0411);
  EXPECT_FALSE(m.product[L"Version"].has_value());
  EXPECT_TRUE(m.kernel32HasDisableRedirection);
  // The 32-bit tool reads its switch through the 32-bit view.
  EXPECT_TRUE(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\VELTARO\\Quillmark", L"DebugMode"));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"d")->data,
            (std::vector<std::uint8_t>{7, 0, 0, 0}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"b")->data,
            (std::vector<std::uint8_t>{1, 0xff}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"m")->data,
            (std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
  EXPECT_EQ(m.registry.GetValue(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"s")->type, reg::kTypeSz);
}

}  // namespace
}  // namespace tv::sim
