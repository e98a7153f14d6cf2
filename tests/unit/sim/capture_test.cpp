#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "capture/capture.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace tv::sim {
namespace {

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::filesystem::path kExamples = std::filesystem::path(TARNVALE_SOURCE_DIR) / "examples";

// A machine from a description text, with the notebook-line package laid in.
void Load(SimMachine& m, const std::string& description) {
  const auto error = ApplyMachineDescription(description, m, kExamples / "machines");
  ASSERT_FALSE(error.has_value()) << *error;
  ASSERT_FALSE(PlaceHostPackage(m, kExamples / "notebook-setup" / "netsetup.ini").has_value());
}

std::string Capture(SimMachine& m) {
  capture::Options options;
  options.script = L"C:\\Tarnvale\\netsetup.ini";
  options.folders = {L"C:\\Tarnvale\\docs"};
  options.withContents = true;
  options.version = "test";
  // On 64-bit Windows the capture is a 64-bit program, which can name every process.
  options.process64 = m.wow64;
  m.process64 = m.wow64;
  const std::string text = capture::CaptureMachine(m.platform(), options);
  m.process64 = false;
  return text;
}

// A capture is a description the simulator reads, and a machine made from
// it captures as the same text: nothing is lost or read differently.
TEST(Capture, ADescriptionOfTheMachineThatMakesTheSameMachine) {
  for (const char* name : {"pv715-xp-all-devices.json", "pv715-vista64-all-devices.json"}) {
    SimMachine original;
    Load(original, ReadText(kExamples / "machines" / name));
    // What the script's commands will find: an earlier install in the
    // folder INSTALL_DRIVER empties, and a copy of the tool still running.
    const std::wstring installed = original.programFilesFolder + L"\\VELTARO\\NetworkDriver\\old\\stale.dll";
    original.files.WriteFile(installed, "old driver");
    original.HoldMutex(L"netsetup.exe");
    // A junction on a path the capture walks is recorded, not followed.
    original.files.WriteFile(L"C:\\Users\\me\\private.txt", "mine");
    original.files.CreateLink(L"C:\\Tarnvale\\docs\\home", L"C:\\Users\\me");
    const std::string first = Capture(original);
    SimMachine again;
    Load(again, first);
    const std::string second = Capture(again);
    EXPECT_EQ(first, second) << name;
    EXPECT_EQ(first, Capture(original)) << name << ": two captures of one machine differ";

    const auto j = nlohmann::json::parse(first);
    EXPECT_EQ(j["product"]["Vendor"], "VELTARO") << name;
    EXPECT_EQ(j["debugMode"], 1) << name;
    EXPECT_EQ(j["capture"]["notes"], nlohmann::json::array({"link C:\\Tarnvale\\docs\\home was not followed"}));
    bool wlan = false;
    for (const auto& d : j["devices"]) {
      if (d["instanceId"] == "PCI\\VEN_8086&DEV_4229&SUBSYS_11118086\\4&1f7dbc9f&0&00E1") {
        wlan = true;
        EXPECT_EQ(d["parameters"]["Intel"]["ASPMOptIn"], 1) << name;
        EXPECT_EQ(d["class"], "{4D36E972-E325-11CE-BFC1-08002BE10318}");
      }
    }
    EXPECT_TRUE(wlan) << name;
    // The modem's compatible IDs and the driver it has, which a driver update is ranked against.
    const auto& modem = j["devices"][0];
    if (std::string(name) == "pv715-xp-all-devices.json") {
      EXPECT_EQ(modem["compatibleIds"][1], "PCI\\CC_070300") << modem.dump();
      EXPECT_EQ(modem["driver"]["date"], "2008-06-01") << modem.dump();
      EXPECT_EQ(modem["driver"]["version"], "5.10.0.30") << modem.dump();
      EXPECT_EQ(modem["driver"]["matchingId"], "PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179") << modem.dump();
    }
    // The tool reads its device lists in the 32-bit view: on 64-bit Windows
    // that is Wow6432Node, by its native path.
    const std::string lists = original.wow64 ? "HKLM\\SOFTWARE\\Wow6432Node\\Veltaro\\WirelessDeviceID"
                                             : "HKLM\\SOFTWARE\\Veltaro\\WirelessDeviceID";
    bool found = false;
    for (const auto& k : j["registry"]) found = found || k["key"] == lists;
    EXPECT_TRUE(found) << name << "\n" << j["registry"].dump(1);
    EXPECT_TRUE(j["files"].contains("C:\\Tarnvale\\docs\\manual.txt")) << j["files"].dump();
    ASSERT_TRUE(j["files"].contains(ToUtf8(installed))) << ToUtf8(installed) << "\n" << j["files"].dump(1);
    EXPECT_EQ(j["files"][ToUtf8(installed)]["content"], "old driver");
    EXPECT_EQ(j["mutexesHeld"], nlohmann::json::array({"netsetup.exe"}));
    EXPECT_EQ(j["links"], nlohmann::json::object({{"C:\\Tarnvale\\docs\\home", "C:\\Users\\me"}}));
    EXPECT_FALSE(j["files"].contains("C:\\Tarnvale\\docs\\home\\private.txt"));
    EXPECT_EQ(j["windows"]["folder"], "C:\\WINDOWS");
  }
}

// A path the script writes with "/", "..", or a closing dot is described by
// the name Windows opens, and such a description, or one with a path past
// MAX_PATH, is read back.
TEST(Capture, PathsAsWindowsOpensThem) {
  SimMachine m;
  Load(m, R"({"product": null, "windows": {"version": "5.1"}})");
  m.files.WriteFile(L"C:\\tvfuzz\\a.txt", "a");
  m.files.WriteFile(L"C:\\tvfuzz\\b.txt", "b");
  const std::wstring deep = L"C:\\tvfuzz\\" + std::wstring(240, L'd') + L"\\" + std::wstring(30, L'f') + L".txt";
  m.files.WriteFile(deep, "deep");
  m.files.WriteFile(L"C:\\Tarnvale\\fuzz.ini",
                    "[INIT]\r\nCMD1=REMOVE_FILES\r\nCMD1_SECTION=R\r\n[R]\r\nFILE=2\r\nFILE1=C:/tvfuzz/a.txt\r\n"
                    "FILE2=C:\\tvfuzz\\sub\\..\\b.txt.\r\n[C]\r\nFOLDER=1\r\nFOLDER1_SRC=C:/tvfuzz/\r\n");
  capture::Options options;
  options.script = L"C:\\Tarnvale\\fuzz.ini";
  options.withContents = true;
  options.version = "test";
  const std::string text = capture::CaptureMachine(m.platform(), options);
  const auto j = nlohmann::json::parse(text);
  EXPECT_TRUE(j["files"].contains("C:\\tvfuzz\\a.txt")) << j["files"].dump(1);
  EXPECT_TRUE(j["files"].contains("C:\\tvfuzz\\b.txt")) << j["files"].dump(1);
  EXPECT_FALSE(j["files"].contains("C:/tvfuzz/a.txt"));
  SimMachine again;
  const auto error = ApplyMachineDescription(text, again, kExamples / "machines");
  ASSERT_FALSE(error.has_value()) << *error;
  EXPECT_TRUE(again.files.Exists(L"C:\\tvfuzz\\a.txt"));
  EXPECT_TRUE(j["files"].contains(ToUtf8(deep))) << j["files"].dump(1);
  EXPECT_TRUE(again.files.Exists(deep));
  const auto forward = ApplyMachineDescription(
      R"({"product": null, "windows": {"version": "5.1"}, "files": {"C:/tvfuzz/c.txt": {"content": "c"}}})", again,
      kExamples / "machines");
  ASSERT_FALSE(forward.has_value()) << *forward;
  EXPECT_TRUE(again.files.Exists(L"C:\\tvfuzz\\c.txt"));
}

// What the capture could not read is said in the file, and the rest is there.
TEST(Capture, WhatCannotBeReadIsNotedNotFatal) {
  SimMachine m;
  Load(m, R"({"product": null, "windows": {"version": "6.0", "wow64": true},
              "runningProcesses": ["explorer.exe", {"name": "tray.exe", "bits": 32}],
              "devices": [{"class": "Net", "hardwareIds": ["ROOT\\NODRIVER"], "driverKey": null}]})");
  capture::Options options;
  options.folders = {L"C:\\NoSuchFolder"};
  options.script = L"C:\\Tarnvale\\netsetup.ini";
  const auto j = nlohmann::json::parse(capture::CaptureMachine(m.platform(), options));
  // The tool's mutex is looked for, never made: a tool starting then must not find one.
  EXPECT_TRUE(j["mutexesHeld"].empty());
  EXPECT_FALSE(m.mutexHeld(L"netsetup.exe"));
  const std::string notes = j["capture"]["notes"].dump();
  EXPECT_NE(notes.find("no Win32_ComputerSystemProduct values"), std::string::npos) << notes;
  EXPECT_NE(notes.find("1 processes could not be named"), std::string::npos) << notes;
  EXPECT_NE(notes.find("C:\\\\NoSuchFolder could not be listed"), std::string::npos) << notes;
  EXPECT_EQ(j["runningProcesses"], nlohmann::json::array({"tray.exe"}));
  EXPECT_EQ(j["windows"]["version"], "6.0");
  // A device with no driver installed has no driver key: DRIVER_REG has nowhere to write.
  ASSERT_EQ(j["devices"].size(), 1u);
  EXPECT_TRUE(j["devices"][0]["driverKey"].is_null()) << j["devices"].dump();

  // Contents: a file past the cap is described by its size, one that cannot
  // be read whole has no content at all; the notes say which.
  SimMachine files;
  Load(files, "{}");
  files.files.WriteFile(L"C:\\Pkg\\big.bin", std::string(100, 'x'));
  files.files.WriteFile(L"C:\\Pkg\\broken.txt", "half");
  files.files.WriteFile(L"C:\\Pkg\\small.txt", "small");
  files.faults.Fail("ReadFile", err::kGenFailure, L"C:\\Pkg\\broken.txt");
  capture::Options contents;
  contents.folders = {L"C:\\Pkg"};
  contents.withContents = true;
  contents.maxContentBytes = 99;
  const auto c = nlohmann::json::parse(capture::CaptureMachine(files.platform(), contents));
  EXPECT_EQ(c["files"]["C:\\Pkg\\big.bin"], nlohmann::json::object({{"size", 100}}));
  EXPECT_EQ(c["files"]["C:\\Pkg\\broken.txt"], nlohmann::json::object({{"size", 4}}));
  EXPECT_EQ(c["files"]["C:\\Pkg\\small.txt"]["content"], "small");
  const std::string fileNotes = c["capture"]["notes"].dump();
  EXPECT_NE(fileNotes.find("C:\\\\Pkg\\\\big.bin is larger than 99 bytes"), std::string::npos) << fileNotes;
  EXPECT_NE(fileNotes.find("C:\\\\Pkg\\\\broken.txt could not be read: error 31"), std::string::npos) << fileNotes;
}

}  // namespace
}  // namespace tv::sim
