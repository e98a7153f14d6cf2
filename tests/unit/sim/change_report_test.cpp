#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/change_report.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace tv::sim {
namespace {

const std::string kSource = TARNVALE_SOURCE_DIR;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Changes made by hand between two snapshots: each kind of change once.
TEST(ChangeReport, NamesEveryKindOfChange) {
  SimMachine m;
  m.wow64 = true;
  const auto hklm = RegRoot::kLocalMachine;
  m.registry.SetString(hklm, L"SOFTWARE\\Wow6432Node\\V\\Net", L"Mode", L"old");
  m.registry.SetDword(hklm, L"SOFTWARE\\Wow6432Node\\V\\Net", L"Gone", 1);
  m.registry.SetDword(hklm, L"SOFTWARE\\V\\Old\\Sub\\Deeper", L"X", 1);
  m.files.WriteFile(L"C:\\Data\\keep.txt", std::string("a"));
  m.files.WriteFile(L"C:\\Data\\write.txt", std::string("a"));
  m.files.WriteFile(L"C:\\Data\\Old\\gone.txt", std::string("abc"));
  const auto modem = m.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_1&DEV_2"});
  const auto wlan = m.AddDevice(L"{4D36E972-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_3"});
  m.devices[wlan].disabled = true;
  m.AddRunningProcess(L"tray.exe");
  const auto before = TakeSnapshot(m);

  m.registry.SetString(hklm, L"SOFTWARE\\Wow6432Node\\V\\Net", L"Mode", L"new \"quoted\" C:\\path");
  m.registry.DeleteValue(hklm, L"SOFTWARE\\Wow6432Node\\V\\Net", L"Gone");
  m.registry.SetDword(hklm, L"SOFTWARE\\V\\Net", L"Bits", 64);
  m.registry.SetValue(hklm, L"SOFTWARE\\V\\Net", L"", RegValue{reg::kTypeBinary, {1, 0xab}});
  m.registry.DeleteKeyTree(hklm, L"SOFTWARE\\V\\Old");
  m.registry.CreateKey(RegRoot::kCurrentUser, L"Software\\V\\Empty");
  m.files.WriteFile(L"C:\\Data\\write.txt", std::string("a"));  // the same bytes written again
  m.files.WriteFile(L"C:\\Data\\New\\new.txt", std::string("12345"));
  m.files.RemoveFile(L"C:\\Data\\Old\\gone.txt");
  m.files.RemoveEmptyDirectory(L"C:\\Data\\Old");
  m.devices[modem].removed = true;
  m.devices[wlan].disabled = false;
  m.driverUpdates.push_back({L"PCI\\VEN_3", L"C:\\Pkg\\wlan.inf"});
  m.stagedInfs.push_back(L"oem7.inf");
  m.stagedInfSources.push_back(L"C:\\Pkg\\modem.inf");
  m.processes[0].running = false;
  m.started.push_back({L"C:\\Tools\\a.exe /s", L"C:\\Tools\\a.exe", L"C:\\Tools", 0, true});
  m.pauses = {500, 20000};

  const auto report = CompareWithMachine(before, m, 1);
  const std::string text = ReportText(report);
  // Registry in .reg syntax, grouped by what happened and by view.
  EXPECT_TRUE(Contains(text,
                       "; ---- added, 64-bit view ----\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\Net]\n"
                       "@=hex:01,ab\n\"Bits\"=dword:00000040\n"))
      << text;
  EXPECT_TRUE(Contains(text, "; ---- added, shared by both views ----\n\n[HKEY_CURRENT_USER\\Software\\V\\Empty]\n"))
      << text;
  EXPECT_TRUE(Contains(text,
                       "; ---- changed, 32-bit view ----\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\V\\Net]\n"
                       "; was \"Mode\"=\"old\"\n\"Mode\"=\"new \\\"quoted\\\" C:\\\\path\"\n"))
      << text;
  EXPECT_TRUE(Contains(text, "; was \"Gone\"=dword:00000001\n\"Gone\"=-\n")) << text;
  // A deleted tree is one line, at its top.
  EXPECT_TRUE(Contains(text, "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\V\\Old]\n")) << text;
  EXPECT_FALSE(Contains(text, "Old\\Sub")) << text;
  // Files: a rewrite counts even with the same bytes; an untouched file is not named.
  EXPECT_TRUE(Contains(text, "overwritten  C:\\Data\\write.txt (1 bytes)")) << text;
  EXPECT_TRUE(Contains(text, "folder created  C:\\Data\\New\ncreated  C:\\Data\\New\\new.txt (5 bytes)")) << text;
  EXPECT_TRUE(Contains(text, "deleted  C:\\Data\\Old\\gone.txt")) << text;
  EXPECT_TRUE(Contains(text, "folder deleted  C:\\Data\\Old")) << text;
  EXPECT_FALSE(Contains(text, "keep.txt")) << text;
  // Devices, programs, pauses.
  EXPECT_TRUE(Contains(text, "removed  PCI\\DEV_0\\0 (PCI\\VEN_1&DEV_2)")) << text;
  EXPECT_TRUE(Contains(text, "enabled  PCI\\DEV_1\\1 (PCI\\VEN_3)")) << text;
  EXPECT_TRUE(Contains(text, "driver updated  PCI\\VEN_3 from C:\\Pkg\\wlan.inf")) << text;
  EXPECT_TRUE(Contains(text, "staged  C:\\Pkg\\modem.inf as oem7.inf")) << text;
  EXPECT_TRUE(Contains(text, "started  C:\\Tools\\a.exe /s\n         in C:\\Tools, waited for")) << text;
  EXPECT_TRUE(Contains(text, "ended    tray.exe")) << text;
  EXPECT_TRUE(Contains(text, "500 ms, 20000 ms (20500 ms in all)")) << text;

  const auto json = ReportJson(report);
  EXPECT_EQ(json["exitCode"], 1);
  ASSERT_TRUE(json["registry"].is_array());
  bool sawChange = false;
  for (const auto& e : json["registry"]) {
    if (e["change"] == "changed") {
      sawChange = true;
      EXPECT_EQ(e["view"], "32-bit");
      EXPECT_EQ(e["before"]["data"], "old");
      EXPECT_EQ(e["after"]["type"], "REG_SZ");
    }
    if (e["change"] == "added" && e["name"] == "Bits") {
      EXPECT_EQ(e["after"]["data"], 64);
    }
  }
  EXPECT_TRUE(sawChange);
  EXPECT_EQ(json["programs"]["started"][0]["waitedFor"], true);
  EXPECT_EQ(json["pauses"], nlohmann::json::array({500, 20000}));

  // Written piece by piece as changes are found, it is what json's own writer gives for the whole.
  std::string streamed;
  const nlohmann::json run{{"commands", 2}};
  WriteReportJson(report, &run, [&](std::string_view part) { streamed += part; });
  EXPECT_EQ(streamed, nlohmann::json::parse(streamed).dump(2) + "\n");
  EXPECT_EQ(nlohmann::json::parse(streamed)["run"], run);
}

// Names that sort between a key and its subkeys ("-" comes before "\\").
TEST(ChangeReport, TreesAreNamedOnceAmongSiblingsThatSortBetween) {
  SimMachine m;
  const auto hklm = RegRoot::kLocalMachine;
  m.registry.SetDword(hklm, L"SOFTWARE\\Old\\Sub", L"X", 1);
  m.registry.SetDword(hklm, L"SOFTWARE\\Old-2", L"Y", 1);
  const auto before = TakeSnapshot(m);
  m.registry.DeleteKeyTree(hklm, L"SOFTWARE\\Old");
  m.registry.DeleteKeyTree(hklm, L"SOFTWARE\\Old-2");
  m.registry.SetDword(hklm, L"SOFTWARE\\New\\Sub", L"Z", 1);
  m.registry.CreateKey(hklm, L"SOFTWARE\\New-2");
  const std::string text = ReportText(CompareWithMachine(before, m, 1));
  EXPECT_TRUE(Contains(text, "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n")) << text;
  EXPECT_TRUE(Contains(text, "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old-2]\n")) << text;
  EXPECT_FALSE(Contains(text, "Old\\Sub")) << text;
  // The new parent is not a line of its own: its subkey carries the value.
  EXPECT_FALSE(Contains(text, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\n")) << text;
  EXPECT_TRUE(Contains(text, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New\\Sub]\n\"Z\"=dword:00000001")) << text;
  EXPECT_TRUE(Contains(text, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\New-2]\n")) << text;
}

TEST(ChangeReport, NothingChangedSaysSo) {
  SimMachine m;
  m.registry.SetDword(RegRoot::kLocalMachine, L"SOFTWARE\\X", L"A", 1);
  const auto snapshot = TakeSnapshot(m);
  const auto report = CompareWithMachine(snapshot, m, 0);
  const std::string text = ReportText(report);
  EXPECT_TRUE(Contains(text, "(32-bit Windows: one view) --\nno change\n")) << text;
  EXPECT_TRUE(Contains(text, "-- Devices --\nno change\n")) << text;
  EXPECT_TRUE(Contains(text, "none started or ended")) << text;
  EXPECT_TRUE(ReportJson(report)["registry"].empty());
}

// The WOW64 example: the 32-bit and the 64-bit INF installer each write their own view.
TEST(ChangeReport, WowExampleWritesBothViews) {
  SimMachine m;
  std::ifstream in(kSource + "/examples/machines/pv715-vista64-all-devices.json", std::ios::binary);
  std::ostringstream description;
  description << in.rdbuf();
  ASSERT_FALSE(ApplyMachineDescription(description.str(), m).has_value());
  ASSERT_FALSE(PlaceHostPackage(m, kSource + "/examples/wow64-setup/netset64.ini").has_value());
  PlaceCompanion(m);
  const auto before = TakeSnapshot(m);
  const int code = RunTool(m);
  const auto json = ReportJson(CompareWithMachine(before, m, code));
  std::map<std::string, std::string> bitsByView;
  for (const auto& e : json["registry"]) {
    if (e.value("name", "") == "Bits") bitsByView[e["view"]] = e["after"]["data"];
  }
  EXPECT_EQ(bitsByView, (std::map<std::string, std::string>{{"32-bit", "32"}, {"64-bit", "64"}}));
  // .X32 is skipped on 64-bit Windows, .X64 runs; the driver update, which
  // 64-bit Windows refuses the 32-bit tool, is the companion's.
  ASSERT_EQ(json["programs"]["started"].size(), 4U);
  EXPECT_EQ(json["programs"]["started"][0]["image"], "C:\\WINDOWS\\SysWOW64\\rundll32.exe");
  EXPECT_EQ(json["programs"]["started"][1]["image"], "C:\\WINDOWS\\system32\\rundll32.exe");
  EXPECT_EQ(json["programs"]["started"][2]["image"], "C:\\Tarnvale\\netset6464.exe");
  EXPECT_EQ(json["programs"]["started"][3]["commandLine"], "C:\\Tarnvale\\tools\\tray64.exe  ");
  ASSERT_EQ(json["devices"].size(), 1U);
  EXPECT_EQ(json["devices"][0]["change"], "driver updated");
  EXPECT_EQ(json["devices"][0]["byCompanion"], true);
}

}  // namespace
}  // namespace tv::sim
