// A second run of a script on the machine its first run left: what it still
// changes, told with the command that changed it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "example_machine.h"
#include "sim/machine_file.h"
#include "sim/second_run.h"
#include "sim/sim_run.h"
#include "test_machine.h"

namespace tv::sim {
namespace {

// Every bundled script on every bundled machine is safe to run again but for
// the one change its author asked for on every run: MODEM_HOMOL's stamp.
TEST(SecondRun, EveryBundledExampleChangesNothingButTheStampItFlips) {
  int pairs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::kExamples + "machines")) {
    for (const std::string script :
         {"notebook-setup/netsetup.ini", "wow64-setup/netset64.ini", "scripts/notebook-check.ini"}) {
      const std::string what = entry.path().filename().string() + " " + script;
      SimMachine m;
      const auto error = test::LayExample(m, entry.path().filename().string(), script);
      ASSERT_FALSE(error.has_value()) << *error;
      int first = 0;
      RunWithSummary(m, first);
      const std::size_t staged = m.stagedInfs.size();
      const SecondRun again = RunAgain(m);
      ++pairs;
      EXPECT_EQ(again.exitCode, first) << what;
      // The driver store keeps the INFs it has; nothing is staged twice.
      EXPECT_EQ(m.stagedInfs.size(), staged) << what;
      for (const auto& c : again.changes) {
        EXPECT_NE(c.line.find("\"HomolTimeStamp\""), std::string::npos) << what << ": " << c.line;
        EXPECT_TRUE(c.commandText.starts_with(L"MODEM_HOMOL")) << what;
      }
      const std::string report = SecondRunText(again);
      if (again.changes.empty()) {
        EXPECT_NE(report.find("A second run changes nothing."), std::string::npos) << what << report;
      } else {
        EXPECT_NE(report.find("A second run changes 1 thing:\nCMD"), std::string::npos) << what << report;
      }
    }
  }
  EXPECT_EQ(pairs, 30);
}

// Each change is told with the last command that made it; a file that one
// command makes and a later one deletes is put back, not changed.
TEST(SecondRun, AChangeIsToldWithItsCommand) {
  SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=REG_INI\nCMD1_SECTION=Reg\nCMD2=COPY_FOLDERS\nCMD2_SECTION=Copy\n"
                      "CMD3=REMOVE_FILES\nCMD3_SECTION=Del\nCMD4=MODEM_HOMOL\n"
                      "[Reg]\nADDREG=1\nADDREG1_ROOT=HKLM\nADDREG1_SUBKEY=Software\\Veltaro\\Net\n"
                      "ADDREG1_ENTRYNAME=Version\nADDREG1_VALUE=3\n"
                      "[Copy]\nDEST_IS_PROGRAMFOLDER=1\nFOLDER=1\nFOLDER1_SRC=C:\\Pkg\nFOLDER1_DEST=VELTARO\\Pkg\n"
                      "[Del]\nFILE=1\nFILE1=C:\\Program Files\\VELTARO\\Pkg\\setup.log\n");
  m.files.WriteFile(L"C:\\Pkg\\readme.txt", std::string_view("read me"));
  m.files.WriteFile(L"C:\\Pkg\\setup.log", std::string_view("log"));
  m.registry.SetValue(RegRoot::kLocalMachine, L"Software\\Agere\\SoftModem", L"HomolTimeStamp",
                      RegValue{reg::kTypeBinary, {0, 0, 0, 0}});
  RunTool(m);
  ASSERT_TRUE(m.files.Exists(L"C:\\Program Files\\VELTARO\\Pkg\\readme.txt")) << ToUtf8(m.DebugText());
  ASSERT_FALSE(m.files.Exists(L"C:\\Program Files\\VELTARO\\Pkg\\setup.log"));
  const SecondRun again = RunAgain(m);
  ASSERT_EQ(again.changes.size(), 1U) << SecondRunText(again);
  EXPECT_EQ(again.changes[0].command, 4U);
  EXPECT_EQ(again.putBack, 1U);  // setup.log, copied by CMD2 and deleted by CMD3
  const std::string text = SecondRunText(again);
  EXPECT_NE(text.find("CMD4=MODEM_HOMOL:\n    registry changed  HKEY_LOCAL_MACHINE\\SOFTWARE\\Agere\\SoftModem  "
                      "\"HomolTimeStamp\"=hex:00,00,00,00, was \"HomolTimeStamp\"=hex:01,00,00,00\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("that later commands put back"), std::string::npos) << text;
  const auto json = SecondRunJson(again);
  EXPECT_FALSE(json["changesNothing"].get<bool>());
  EXPECT_EQ(json["changes"][0]["where"], "CMD4=MODEM_HOMOL");
}

// A run ended after its n-th call has made exactly its first n calls: what
// they wrote stays, the (n+1)-th does not happen.
TEST(SecondRun, AStoppedRunEndsRightAfterItsNthCall) {
  const std::string script = "[INIT]\nCMD1=CHECK_VENDOR\nCMD2=MODEM_HOMOL\n";
  const auto build = [&](SimMachine& m) {
    test::SetUpNotebook(m, script);
    m.registry.SetValue(RegRoot::kLocalMachine, L"Software\\Agere\\SoftModem", L"HomolTimeStamp",
                        RegValue{reg::kTypeBinary, {0, 0, 0, 0}});
  };
  SimMachine whole;
  build(whole);
  whole.faults.recording = true;
  RunTool(whole);
  const auto& calls = whole.faults.calls;
  const auto write = std::find_if(calls.begin(), calls.end(), [](const auto& c) {
    return c.operation == "RegSetValueEx" && c.subject.ends_with(L"HomolTimeStamp");
  });
  ASSERT_NE(write, calls.end());
  const auto writeIs = static_cast<std::size_t>(write - calls.begin()) + 1;  // the n-th call
  ASSERT_EQ(whole.faults.callCount, calls.size());
  for (std::size_t n = 0; n < calls.size(); ++n) {
    SimMachine m;
    build(m);
    m.faults.stopAfter = n;
    int exit = 0;
    const RunSummary summary = RunWithSummary(m, exit);
    ASSERT_EQ(exit, kToolProcessEnded) << n;
    EXPECT_EQ(summary.end, RunSummary::End::kProcessEnded);
    EXPECT_EQ(summary.callsMade, n);
    EXPECT_TRUE(summary.Stopped());
    const auto stamp = m.registry.GetValue(RegRoot::kLocalMachine, L"Software\\Agere\\SoftModem", L"HomolTimeStamp");
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->data[0] == 1, n >= writeIs) << n;
  }
  SimMachine m;
  build(m);
  m.faults.stopAfter = writeIs;
  int exit = 0;
  const std::string text = SummaryText(RunWithSummary(m, exit));
  // The stamp is the command's last call: the process ends after it, before CMD3 is read.
  EXPECT_NE(text.find("CMD2=MODEM_HOMOL: ran\n"), std::string::npos) << text;
  EXPECT_NE(text.find("the process was ended after its " + std::to_string(writeIs) +
                      " calls to Windows, after CMD2: what it wrote stays"),
            std::string::npos)
      << text;
  // One call earlier it ends in the command.
  SimMachine earlier;
  build(earlier);
  earlier.faults.stopAfter = writeIs - 1;
  const std::string inText = SummaryText(RunWithSummary(earlier, exit));
  EXPECT_NE(inText.find("CMD2=MODEM_HOMOL: ended with the process\n"), std::string::npos) << inText;
  EXPECT_NE(inText.find(" calls to Windows, in CMD2: "), std::string::npos) << inText;
}

}  // namespace
}  // namespace tv::sim
