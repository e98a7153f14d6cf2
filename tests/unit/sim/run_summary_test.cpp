#include <gtest/gtest.h>

#include <cwctype>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "platform/text.h"
#include "runtime/trace_lines.h"
#include "sim/machine_file.h"
#include "sim/run_summary.h"
#include "sim/sim_run.h"
#include "test_machine.h"

namespace tv::sim {
namespace {

using Outcome = CommandSummary::Outcome;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A C++ string literal's text as the compiler reads it.
std::wstring Unescaped(const std::string& literal) {
  std::string out;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] != '\\' || i + 1 == literal.size()) {
      out += literal[i];
      continue;
    }
    const char c = literal[++i];
    out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
  }
  return FromUtf8(out);
}

// Every message format in the tool's sources: the formats handed to Trace,
// the enable and disable messages, and the line the INF installer waits with.
std::set<std::wstring> FormatsInTheSources() {
  std::set<std::wstring> formats;
  const std::regex trace(R"re((?:Trace|RunInstaller)\([^;{]*?L"((?:[^"\\]|\\.)*)")re");
  const std::regex messages(R"re(const StateMessages k\w+\{([^;]*)\};)re");
  const std::regex literal(R"re(L"((?:[^"\\]|\\.)*)")re");
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(std::filesystem::path(TARNVALE_SOURCE_DIR) / "src")) {
    if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
    const std::string text = ReadText(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), trace), end; it != end; ++it) {
      formats.insert(Unescaped((*it)[1]));
    }
    for (std::sregex_iterator it(text.begin(), text.end(), messages), end; it != end; ++it) {
      const std::string block = (*it)[1];
      for (std::sregex_iterator l(block.begin(), block.end(), literal); l != end; ++l)
        formats.insert(Unescaped((*l)[1]));
    }
  }
  return formats;
}

TEST(TraceLines, EveryMessageTheToolCanTraceHasAKind) {
  const auto sources = FormatsInTheSources();
  ASSERT_GT(sources.size(), 120U);  // the extraction found the tool's messages
  std::set<std::wstring> table;
  for (const auto& line : TraceLines())
    EXPECT_TRUE(table.insert(std::wstring(line.format)).second) << ToUtf8(line.format);
  for (const auto& format : sources) {
    // A bare "%s" hands on a message made elsewhere; the operation names
    // ("EnableAllProperty") are prefixes of other messages.
    if (format == L"%s" || format == L"EnableAllProperty" || format == L"DisableAllProperty") continue;
    EXPECT_TRUE(table.contains(format)) << "no kind for \"" << ToUtf8(format) << "\"";
  }
  // And the table holds nothing the tool cannot print: a row is a format of
  // the sources or one value of one.
  for (const auto& line : TraceLines()) {
    if (sources.contains(std::wstring(line.format))) continue;
    const bool valueOfAFormat = std::any_of(sources.begin(), sources.end(), [&](const std::wstring& f) {
      return f.find(L'%') != std::wstring::npos && MatchesFormat(f, line.format);
    });
    EXPECT_TRUE(valueOfAFormat) << "\"" << ToUtf8(line.format) << "\" is no message of the tool";
  }
}

TEST(TraceLines, TheReferenceListsEveryRowWithItsKind) {
  const std::string reference = ReadText(std::filesystem::path(TARNVALE_SOURCE_DIR) / "docs" / "setup-script.md");
  for (const auto& line : TraceLines()) {
    std::string shown;
    for (char c : ToUtf8(line.format)) shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    const std::string row = "| `" + shown + "` | " + std::string(KindName(line.kind)) + " |";
    EXPECT_NE(reference.find(row), std::string::npos) << row << " is not in the reference";
  }
}

// Every row of the table, written out as the tool would write it, is read
// back as a line of its own kind: no other row with another kind takes it,
// so the summary and tarnvale-run's log give each line the type it has.
TEST(TraceLines, EveryRowWrittenOutIsReadAsItsKind) {
  const auto writtenOut = [](std::wstring_view format) {
    std::wstring out;
    for (std::size_t i = 0; i < format.size(); ++i) {
      if (format[i] != L'%' || i + 1 == format.size()) {
        out += format[i];
        continue;
      }
      std::size_t j = i + 1;
      while (j < format.size() && (std::iswdigit(format[j]) || format[j] == L'l')) ++j;
      switch (format[j]) {
        case L's': out += L"C:\\Pkg\\x.inf"; break;
        case L'd':
        case L'u': out += L"7"; break;
        case L'x':
        case L'X': out += L"1F"; break;
        case L'%': out += L'%'; break;
        default: out += format.substr(i, j - i + 1);
      }
      i = j;
    }
    return out;
  };
  for (const auto& row : TraceLines()) {
    const std::wstring message = writtenOut(row.format);
    const TraceLine* read = Classify(message);
    ASSERT_NE(read, nullptr) << ToUtf8(message);
    EXPECT_EQ(read->kind, row.kind) << ToUtf8(message) << " is read as " << ToUtf8(read->format);
  }
}

TEST(TraceLines, TheMostSpecificRowDecides) {
  EXPECT_EQ(Classify(L"ERROR:DisabledProperty->erro code 259")->kind, LineKind::kBenign);
  EXPECT_EQ(Classify(L"ERROR:DisabledProperty->erro code 13")->kind, LineKind::kFailure);
  EXPECT_EQ(Classify(L"DeleteDirectory:FindFirstFile ERROR=InvalidHandle")->kind, LineKind::kBenign);
  EXPECT_EQ(Classify(L"CopyFiles:FindFirstFile ERROR=InvalidHandle")->kind, LineKind::kFailure);
  EXPECT_EQ(Classify(L"Error check Vendor Other Maker Inc.")->kind, LineKind::kCheck);
  // An AddReg entry's line is progress; the INI LINE row is more specific still.
  EXPECT_EQ(Classify(L"HKLM, \"SOFTWARE\\X\",\"V\",0x00010001,3\n")->format,
            std::wstring_view(L"%s, \"%s\",\"%s\",%s,%s\n"));
  EXPECT_EQ(Classify(L"INI LINE=HKLM, \"A\",\"B\"\n")->format, std::wstring_view(L"INI LINE=%s, \"%s\",\"%s\"\n"));
  EXPECT_EQ(Classify(L"ModemCtrl->InitHomolTime->Get Homol Time=0x00ff ")->kind, LineKind::kProgress);
  EXPECT_EQ(Classify(L"something the tool never says"), nullptr);
  EXPECT_TRUE(MatchesFormat(L"CMD%d=%s", L"CMD-12=a=b"));
  EXPECT_FALSE(MatchesFormat(L"CMD%d", L"CMDx"));
  EXPECT_FALSE(MatchesFormat(L"a%sb", L"ab-"));
  EXPECT_TRUE(MatchesFormat(L"100%%", L"100%"));
}

struct Expected {
  RunSummary::End end;
  std::size_t endAt;
  std::string outcomes;  // one letter per command: r ran, f failed, p skipped by the platform, s stopped, h never ends
  std::string why;       // of the last command
};

char Letter(Outcome o) {
  switch (o) {
    case Outcome::kRan: return 'r';
    case Outcome::kFailed: return 'f';
    case Outcome::kSkippedByPlatform: return 'p';
    case Outcome::kUnknownKeyword: return 'u';
    case Outcome::kRedirectionRefused: return 'x';
    case Outcome::kStoppedTheRun: return 's';
    case Outcome::kNeverEnds: return 'h';
    case Outcome::kProcessEnded: return 'k';
  }
  return '?';
}

// Every shipped machine with every shipped script: what each command did and
// where the run ended; nothing left open, no failure, no line of no kind.
TEST(RunSummary, EveryExampleScriptOnEveryExampleMachine) {
  using E = RunSummary::End;
  const std::string all25(25, 'r');
  const std::map<std::pair<std::string, std::string>, Expected> expected = {
      {{"netsetup", "pv715-2000-all-devices"}, {E::kListEnded, 26, all25, ""}},
      {{"netsetup", "pv715-xp-all-devices"}, {E::kListEnded, 26, all25, ""}},
      {{"netsetup", "pv715-xp-no-modem"}, {E::kStopped, 4, "rrrs", "Error did not find any HWID!"}},
      {{"netsetup", "pv715-xp-no-wireless"},
       {E::kStopped, 17, std::string(16, 'r') + "s", "Could not find wireless LAN device"}},
      {{"netsetup", "pv715-xp-postinstall-hangs"}, {E::kNeverEnds, 23, std::string(22, 'r') + "h", "postinst.exe"}},
      {{"netsetup", "pv715-vista32-no-3g"},
       {E::kStopped, 19, std::string(18, 'r') + "s", "Could not find wireless modem device"}},
      {{"netsetup", "pv715-vista64-all-devices"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      // Windows 10 reports 6.2 to the tool, which has no compatibility section in its manifest.
      {{"netsetup", "pv715-win10-64-all-devices"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      {{"netsetup", "vista64-english"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      {{"netsetup", "xp-other-maker"}, {E::kStopped, 1, "s", "Error check Vendor Other Maker Inc."}},
      {{"notebook-check", "pv715-vista64-all-devices"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      {{"notebook-check", "pv715-win10-64-all-devices"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      {{"notebook-check", "vista64-english"}, {E::kStopped, 2, "rs", "WOW6432 process"}},
      {{"notebook-check", "xp-other-maker"}, {E::kStopped, 1, "s", "Error check Vendor Other Maker Inc."}},
      // On 32-bit Windows the .X64 and .WOW64 commands are skipped; on 64-bit Windows the .X32 one.
      {{"netset64", "pv715-vista64-all-devices"}, {E::kListEnded, 9, "rrrrrrpr", ""}},
      {{"netset64", "pv715-win10-64-all-devices"}, {E::kListEnded, 9, "rrrrrrpr", ""}},
      {{"netset64", "pv715-xp-no-wireless"}, {E::kStopped, 2, "rs", "Could not find wireless LAN device"}},
      {{"netset64", "vista64-english"}, {E::kStopped, 2, "rs", "Could not find wireless LAN device"}},
      {{"netset64", "xp-other-maker"}, {E::kStopped, 1, "s", "Error check Vendor Other Maker Inc."}},
  };
  // The rest: the check script runs both its commands, the WOW64 script skips its 64-bit commands.
  const Expected checkRuns{E::kListEnded, 3, "rr", ""};
  const Expected wow64On32{E::kListEnded, 9, "rrrppprp", ""};

  const std::filesystem::path examples = std::filesystem::path(TARNVALE_SOURCE_DIR) / "examples";
  const std::vector<std::filesystem::path> scripts = {examples / "notebook-setup" / "netsetup.ini",
                                                      examples / "scripts" / "notebook-check.ini",
                                                      examples / "wow64-setup" / "netset64.ini"};
  std::size_t runs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples / "machines")) {
    const std::string machine = entry.path().stem().string();
    for (const auto& script : scripts) {
      const std::string name = script.stem().string();
      const std::string what = name + " on " + machine;
      auto it = expected.find({name, machine});
      ASSERT_TRUE(it != expected.end() || name != "netsetup") << "no expectation for " << what;
      const Expected& e = it != expected.end() ? it->second : name == "notebook-check" ? checkRuns : wow64On32;

      SimMachine m;
      const auto error = ApplyMachineDescription(ReadText(entry.path()), m, entry.path().parent_path());
      ASSERT_FALSE(error.has_value()) << machine << ": " << *error;
      ASSERT_FALSE(PlaceHostPackage(m, script).has_value());
      PlaceCompanion(m);  // it ships beside the tool
      int exitCode = 0;
      const RunSummary s = RunWithSummary(m, exitCode);
      ++runs;
      std::string outcomes;
      for (const auto& c : s.commands) outcomes += Letter(c.outcome);
      EXPECT_EQ(outcomes, e.outcomes) << what << "\n" << SummaryText(s);
      EXPECT_EQ(s.end, e.end) << what;
      EXPECT_EQ(s.endAt, e.endAt) << what;
      EXPECT_EQ(s.commands.empty() ? "" : ToUtf8(s.commands.back().why), e.why) << what;
      EXPECT_TRUE(s.failures.empty()) << what << "\n" << SummaryText(s);
      EXPECT_TRUE(s.unclassified.empty()) << what << "\n" << SummaryText(s);
      EXPECT_EQ(exitCode, e.end == E::kNeverEnds ? kToolNeverExits : 1) << what;
      EXPECT_EQ(m.registry.OpenKeyCount(), 0) << what;
      EXPECT_EQ(m.openDeviceSets, e.end == E::kNeverEnds ? m.openDeviceSets : 0) << what;
    }
  }
  EXPECT_EQ(runs, 3 * 10U);
}

// What a pipeline gates on: a failure is listed with its command and makes
// the command "failed"; an unknown keyword and a 64-bit gate are told apart
// from a command that ran.
TEST(RunSummary, FailuresUnknownKeywordsAndThePlatformGate) {
  SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=REMOVE_FILES\nCMD1_SECTION=F\nCMD2=CHECK_VENDER\nCMD3=CHECK_MODEM.X64\n"
                      "CMD4=COPY_FOLDERS\nCMD4_SECTION=C\n[F]\nFILE=1\nFILE1=C:\\absent.txt\n"
                      "[C]\nFOLDER=1\nFOLDER1_SRC=C:\\Gone\nFOLDER1_DEST=C:\\Copy\n");
  int exitCode = 0;
  const RunSummary s = RunWithSummary(m, exitCode);
  ASSERT_EQ(s.commands.size(), 4U) << SummaryText(s);
  EXPECT_EQ(s.commands[0].outcome, Outcome::kRan);  // nothing to delete is no failure
  EXPECT_EQ(s.commands[1].outcome, Outcome::kUnknownKeyword);
  EXPECT_EQ(s.commands[2].outcome, Outcome::kSkippedByPlatform);
  EXPECT_EQ(s.commands[2].suffix, L".X64");
  EXPECT_EQ(s.commands[3].outcome, Outcome::kFailed);
  ASSERT_EQ(s.failures.size(), 2U) << SummaryText(s);
  EXPECT_EQ(s.failures[0].command, 4U);
  EXPECT_EQ(s.failures[0].line, L"CopyFiles:FindFirstFile ERROR=InvalidHandle");
  EXPECT_EQ(s.failures[1].line, L"Error CopyFolders C:\\Gone->C:\\Copy");
  EXPECT_EQ(s.end, RunSummary::End::kListEnded);
  EXPECT_FALSE(s.Stopped());
  EXPECT_TRUE(s.Failed());
  const auto json = nlohmann::json::parse(SummaryJson(s).dump());
  EXPECT_EQ(json["commands"][3]["outcome"], "failed");
  EXPECT_EQ(json["failures"][0]["command"], 4);
  EXPECT_EQ(json["end"]["reason"], "list ended");
  EXPECT_EQ(json["failed"], true);

  // With tracing off the summary is the same: it does not depend on the switch.
  SimMachine quiet;
  test::SetUpNotebook(quiet,
                      "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=C:\\Gone\n"
                      "FOLDER1_DEST=C:\\Copy\n",
                      false);
  const RunSummary q = RunWithSummary(quiet, exitCode);
  EXPECT_TRUE(quiet.DebugText().empty()) << ToUtf8(quiet.DebugText());
  EXPECT_EQ(q.failures.size(), 2U) << SummaryText(q);

  // A second instance ends the run before its commands.
  SimMachine second;
  test::SetUpNotebook(second, "[INIT]\nCMD1=CHECK_VENDOR\n");
  second.HoldMutex(L"drv.EXE");
  const RunSummary t = RunWithSummary(second, exitCode);
  EXPECT_EQ(t.end, RunSummary::End::kSecondInstance);
  EXPECT_TRUE(t.commands.empty());
  EXPECT_TRUE(t.Stopped());
}

// The exit code a deployment system acts on, from the same summary: 0, 3010
// when a device change waits for a restart, 1618 for another copy running,
// 1603 for a failure, 4 when a machine check stopped the run.
TEST(RunSummary, WhatADeploymentSystemIsTold) {
  const auto codeOf = [](SimMachine& m) {
    int exitCode = 0;
    const RunSummary s = RunWithSummary(m, exitCode);
    return std::pair{DeploymentExitCode(s).code, SummaryText(s)};
  };
  SimMachine works;
  test::SetUpNotebook(works, "[INIT]\nCMD1=CHECK_VENDOR\n");
  EXPECT_EQ(codeOf(works).first, 0);

  SimMachine check;
  test::SetUpNotebook(check, "[INIT]\nCMD1=CHECK_MODEM\nCMD2=CHECK_VENDOR\n");
  EXPECT_EQ(codeOf(check).first, 4);

  SimMachine second;
  test::SetUpNotebook(second, "[INIT]\nCMD1=CHECK_VENDOR\n");
  second.HoldMutex(L"drv.EXE");
  EXPECT_EQ(codeOf(second).first, 1618);

  SimMachine failing;
  test::SetUpNotebook(failing,
                      "[INIT]\nCMD1=COPY_FOLDERS\nCMD1_SECTION=C\n[C]\nFOLDER=1\nFOLDER1_SRC=C:\\Gone\n"
                      "FOLDER1_DEST=C:\\Copy\n");
  EXPECT_EQ(codeOf(failing).first, 1603);

  // A device that needs a restart after DRIVER_REG switched it off and on:
  // this failure line of the tool means "done at the next start", not a failure.
  SimMachine restart;
  test::SetUpNotebook(restart,
                      "[INIT]\nCMD1=DRIVER_REG\nCMD1_SECTION=Drv\n[Drv]\nDEV=1\nDEV1=PCI\\VEN_11C1&DEV_048C\n"
                      "[Drv_PCI\\VEN_11C1&DEV_048C]\nADDREG=1\nADDREG1_ENTRYNAME=A\n");
  const auto modem = restart.AddDevice(L"{4D36E96D-E325-11CE-BFC1-08002BE10318}", L"PCI", {L"PCI\\VEN_11C1&DEV_048C"});
  restart.devices[modem].needsRebootAfterChange = true;
  const auto [code, text] = codeOf(restart);
  EXPECT_EQ(code, 3010) << text;
  EXPECT_NE(text.find("    waits for a restart: ERROR:StateChange->SetupDiGetDeviceInstallParams"), std::string::npos)
      << text;
  EXPECT_NE(text.find("No failure."), std::string::npos) << text;
  // A run that told nothing of its end (no run events) did not work, whatever Windows says.
  EXPECT_EQ(DeploymentExitCode(RunSummary{}, true).code, 1603);  // a run that told nothing
}

// What the trace does not say: a program TPROCESS did not end, and the
// section variant a command read or its fall-back to the plain section.
TEST(RunSummary, NotesAndChosenSections) {
  SimMachine m;
  test::SetUpNotebook(m,
                      "[INIT]\nCMD1=TPROCESS\nCMD1_SECTION=T\nCMD2=REG_INI_UILANG\nCMD2_SECTION=Help\n"
                      "CMD3=CMD_UILANG\nCMD3_SECTION=Tool\n[T]\nTPROCESS=2\nPROCESS1=tray.exe\nPROCESS2=absent.exe\n"
                      "[Help]\nADDREG=1\nADDREG1_ENTRYNAME=A\n[Help_0411]\nADDREG=1\nADDREG1_ENTRYNAME=B\n"
                      "[Tool]\nCMD=0\n");
  m.AddRunningProcess(L"tray.exe");
  int exitCode = 0;
  const RunSummary s = RunWithSummary(m, exitCode);
  ASSERT_EQ(s.commands.size(), 3U) << SummaryText(s);
  ASSERT_EQ(s.commands[0].notes.size(), 1U) << SummaryText(s);
  EXPECT_EQ(s.commands[0].notes[0].rfind(L"absent.exe was not ended: no process of that name was found", 0), 0U);
  EXPECT_EQ(s.commands[1].chosenSection, L"Help_0411");
  EXPECT_FALSE(s.commands[1].fellBack);
  EXPECT_TRUE(s.commands[2].fellBack);
  const std::string text = SummaryText(s);
  EXPECT_NE(text.find("CMD2=REG_INI_UILANG [Help_0411]: ran\n"), std::string::npos) << text;
  EXPECT_NE(text.find("CMD3=CMD_UILANG [Tool] (no variant of it for this machine: the plain section): ran"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    note: absent.exe was not ended"), std::string::npos) << text;
}

// INSTALL_DRIVER on a Windows whose section the script lacks reads all
// defaults and fills the default folder: the summary says so.
TEST(RunSummary, AnInstallSectionThatIsNotThereIsNoted) {
  SimMachine m;
  test::SetUpNotebook(m, "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=WLAN\n[WLAN_VISTA]\nDESTDIR=VELTARO\\WLAN\n");
  int exitCode = 0;
  const RunSummary s = RunWithSummary(m, exitCode);
  ASSERT_EQ(s.commands.size(), 1U);
  ASSERT_EQ(s.commands[0].notes.size(), 1U) << SummaryText(s);
  EXPECT_EQ(s.commands[0].notes[0],
            L"[WLAN_XP] is not in the setup script: INSTALL_DRIVER read no keys, so the package went into the default "
            L"folder VELTARO\\NetworkDriver, emptied first");
  EXPECT_TRUE(m.files.IsDirectory(L"C:\\Program Files\\VELTARO\\NetworkDriver"));
  // With its section there, nothing is noted.
  SimMachine xp;
  test::SetUpNotebook(xp, "[INIT]\nCMD1=INSTALL_DRIVER\nCMD1_SECTION=WLAN\n[WLAN_XP]\nDESTDIR=VELTARO\\WLAN\n");
  EXPECT_TRUE(RunWithSummary(xp, exitCode).commands[0].notes.empty());
}

// Run events travel as debugger strings: what is sent is what is read, and
// a string that is no event, or a damaged one, is refused.
TEST(RunSummary, RunEventsReadBackAsSent) {
  CRunRecorder r;
  EXPECT_TRUE(DeliverRunEvent(CommandStartsEvent(3, L"REG_INI.X64", L"Set\ttings"), r));
  EXPECT_TRUE(DeliverRunEvent(NoteEvent(L"a\nb"), r));
  EXPECT_TRUE(DeliverRunEvent(CommandEndsEvent(3, CommandOutcome::kSkippedByPlatform, true), r));
  EXPECT_TRUE(DeliverRunEvent(RunEndsEvent(RunEnd::kStopped, 3), r));
  const std::wstring valid = RunEndsEvent(RunEnd::kStopped, 3);
  EXPECT_FALSE(DeliverRunEvent(L"drv:Version=ABCDEFGH Region=F", r));
  EXPECT_FALSE(DeliverRunEvent(valid.substr(0, valid.size() - 2), r));
  EXPECT_FALSE(DeliverRunEvent(RunEndsEvent(static_cast<RunEnd>(99), 3), r));
  const RunSummary s = r.Take();
  ASSERT_EQ(s.commands.size(), 1U);
  EXPECT_EQ(s.commands[0].section, L"Set tings");  // a tab would split the fields
  EXPECT_EQ(s.commands[0].suffix, L".X64");
  EXPECT_EQ(s.commands[0].outcome, Outcome::kStoppedTheRun);
  EXPECT_EQ(s.commands[0].notes, std::vector<std::wstring>{L"a b"});
  EXPECT_EQ(s.end, RunSummary::End::kStopped);
  EXPECT_EQ(s.endAt, 3U);
}

}  // namespace
}  // namespace tv::sim
