// tarnvale-sim: runs the tool on a setup script, as if the executable lay
// beside it, on a simulated notebook; prints the debugger output and then
// what the run changed. `tarnvale-sim lint SCRIPT.ini` checks a script.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "devices/companion_protocol.h"
#include "platform/shell_path.h"
#include "platform/sim/ansi.h"
#include "platform/sim/host_path.h"
#include "platform/text.h"
#include "runtime/debug_trace.h"
#include "sim/change_report.h"
#include "sim/host_output.h"
#include "sim/lint.h"
#include "sim/machine_file.h"
#include "sim/run_summary.h"
#include "sim/second_run.h"
#include "sim/sim_run.h"
#ifdef _WIN32
#include "sim/this_machine.h"
#endif

namespace {

constexpr int kSimulatorFailed = 2;
// --fail-on matched, or the run would wait for ever.
constexpr int kRunDidNotPass = 4;

// The debug switch the tool reads: on when DebugMode is 1.
bool TracingOn(tv::sim::SimMachine& machine) {
  auto key = machine.platform().registry.OpenKey(tv::RegRoot::kLocalMachine, tv::kSwitchKey, tv::reg::kKeyRead);
  if (!key) return false;
  auto value = (*key)->QueryValue(L"DebugMode", 4);
  if (!value) return false;
  return tv::DwordFromRegistryData(value->data) == 1;
}

std::wstring QuoteArgument(const std::string& arg) {
  std::wstring w = tv::FromUtf8(arg);
  if (w.find(L' ') == std::wstring::npos && !w.empty()) return w;
  return L"\"" + w + L"\"";
}

struct RunOptions {
  std::string machineFile;
  std::string script;
  std::vector<std::string> toolArgs;
  bool json = false;
  std::string reportFile;
  bool noReport = false;
  bool noCompanion = false;
  bool companion = false;      // lay a stand-in companion when the package has none
  std::string packageFolder;   // where the package lies on the machine
  std::string captureAfter;    // a machine description of the machine after the run
  std::string registryBefore;  // the whole simulated registry before the run
  std::string registryAfter;   // and after it
  int toolBits = 32;
  bool failOnStop = false;
  bool failOnFailure = false;
  std::optional<std::size_t> stopAfter;  // end the tool's process after this many calls
  bool twice = false;                    // run again on the machine the first run left
  bool thisMachine = false;              // the machine is the Windows this runs on, as captured now
  std::string captureOut;                // where that description is kept
};

// CLI11's own file check reads a name in the ANSI code page on Windows; this
// one reads it as the UTF-8 it is, with the same answers.
const CLI::Validator kExistingHostFile(
    [](std::string& name) {
      std::error_code error;
      const auto path = tv::sim::PathFromUtf8(name);
      if (!std::filesystem::exists(path, error)) return "File does not exist: " + name;
      if (std::filesystem::is_directory(path, error)) return "File is actually a directory: " + name;
      return std::string();
    },
    "FILE");

// A machine from its description; false (and why on standard error) when the
// description cannot be read or is wrong.
bool LoadMachine(const std::string& file, tv::sim::SimMachine& machine) {
  std::string description;
  if (!tv::sim::ReadHostFile(tv::sim::PathFromUtf8(file), description)) {
    std::cerr << "tarnvale-sim: cannot read machine description " << file << '\n';
    return false;
  }
  const auto base = std::filesystem::absolute(tv::sim::PathFromUtf8(file)).parent_path();
  if (auto error = tv::sim::ApplyMachineDescription(description, machine, base)) {
    std::cerr << "tarnvale-sim: " << file << ": " << *error << '\n';
    return false;
  }
  return true;
}

// Writes text to a file of the computer this runs on; false (and why on
// standard error) when it cannot.
bool WriteHostText(const std::string& file, const std::string& text) {
  std::ofstream out(tv::sim::PathFromUtf8(file), std::ios::binary);
  out << text;
  if (!out) std::cerr << "tarnvale-sim: cannot write " << file << '\n';
  return static_cast<bool>(out);
}

// The whole simulated registry as tarnvale-capture --registry-dump writes
// Windows' own.
bool WriteRegistryDump(tv::sim::SimMachine& machine, const std::string& file) {
  return WriteHostText(file, tv::capture::DumpRegistry(machine.platform(), machine.wow64 ? tv::reg::kWow64_64Key : 0));
}

// The machine of a run: this Windows as described now (--this-machine), a
// description, or the default notebook.
bool PrepareMachine(const RunOptions& o, tv::sim::SimMachine& machine) {
#ifdef _WIN32
  if (o.thisMachine) {
    const std::string described = tv::sim::DescribeThisMachine(o.script, o.toolBits == 64);
    if (!o.captureOut.empty() && !WriteHostText(o.captureOut, described)) return false;
    if (auto error = tv::sim::ApplyMachineDescription(described, machine, std::filesystem::current_path())) {
      std::cerr << "tarnvale-sim: the description of this machine: " << *error << '\n';
      return false;
    }
    return true;
  }
#endif
  if (o.machineFile.empty()) {
    tv::sim::ConfigureDefaultNotebook(machine);
    return true;
  }
  return LoadMachine(o.machineFile, machine);
}

int Run(const RunOptions& o) {
  tv::sim::SimMachine machine;
  if (!PrepareMachine(o, machine)) return kSimulatorFailed;
  std::error_code folderError;
  if (std::filesystem::is_directory(tv::sim::PathFromUtf8(o.script), folderError)) {
    std::cerr << "tarnvale-sim: " << o.script << " is a folder; name the setup script (SCRIPT.ini) in it\n";
    return kSimulatorFailed;
  }
  std::wstring packageFolder = o.packageFolder.empty() ? L"C:\\Tarnvale" : tv::FromUtf8(o.packageFolder);
  // On this machine the package lies where it lies: the trace then names
  // the folders the real run names.
  if (o.thisMachine && o.packageFolder.empty()) {
    packageFolder = tv::FromUtf8(tv::sim::Utf8FromPath(
        std::filesystem::absolute(tv::sim::PathFromUtf8(o.script)).parent_path().make_preferred()));
  }
  if (auto error = tv::sim::PlaceHostPackage(machine, tv::sim::PathFromUtf8(o.script), packageFolder)) {
    std::cerr << "tarnvale-sim: " << *error << '\n';
    return kSimulatorFailed;
  }
  // The 64-bit companion ships beside the tool: it runs when the package
  // holds it, or when --companion lays a stand-in; --no-companion leaves it out.
  const std::wstring companionPath = tv::CompanionPath(machine.modulePath);
  std::string companionText;
  if (o.noCompanion) {
    machine.files.RemoveFile(companionPath);
    companionText = "none (--no-companion)";
  } else if (machine.files.Exists(companionPath)) {
    tv::sim::PlaceCompanion(machine);
    companionText = tv::ToUtf8(companionPath) + ", the package's own";
  } else if (o.companion) {
    tv::sim::PlaceCompanion(machine);
    companionText = tv::ToUtf8(companionPath) + ", a stand-in that --companion laid (the package has none)";
  } else {
    companionText = "none: the package has no " + tv::ToUtf8(tv::shell::StripPath(companionPath)) +
                    ", so Windows refuses the tool its driver updates and class-installer calls (--companion lays a "
                    "stand-in)";
  }
  std::wstring commandLine = L"\"" + machine.modulePath + L"\"";
  for (const auto& a : o.toolArgs) commandLine += L" " + QuoteArgument(a);
  machine.commandLine = commandLine;

  // Printed as it is written; a generated script's trace of hundreds of
  // thousands of lines is not kept besides.
  machine.keepDebugEvents = false;
  machine.keepInstalledInfs = false;
  const unsigned codePage = machine.ansiCodePage;
  machine.onDebugWrite = [codePage](std::wstring_view text) {
    // A debugger gets the tool's text through the ANSI code page: what the
    // code page cannot spell arrives as its best fit or "?".
    const bool ascii = std::all_of(text.begin(), text.end(), [](wchar_t c) { return c < 0x80; });
    std::wstring seen;
    if (!ascii) {
      const std::string bytes = tv::sim::EncodeAnsi(text, codePage);
      seen = tv::sim::DecodeAnsi({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, codePage);
      text = seen;
    }
    // A script's escape sequence, traced back, must not drive the terminal.
    const std::string utf8 = tv::lint::EscapeControlCharacters(tv::ToUtf8(text), true);
    std::cout.write(utf8.data(), static_cast<std::streamsize>(utf8.size()));
    // A line is out as soon as it ends, so a run that hangs shows its last
    // line; its pieces are not written one by one.
    if (!text.empty() && text.back() == L'\n') std::cout.flush();
  };
  if (!TracingOn(machine)) {
    std::cerr << "tarnvale-sim: tracing is off on this machine (HKLM\\" << tv::ToUtf8(tv::kSwitchKey)
              << " DebugMode is not 1): the trace stays empty; \"debugMode\": 1 in the description turns it on\n";
  }
  machine.process64 = o.toolBits == 64;
  if (!o.registryBefore.empty() && !WriteRegistryDump(machine, o.registryBefore)) return kSimulatorFailed;
  const auto before = tv::sim::TakeSnapshot(machine);
  int exitCode = 0;
  machine.faults.stopAfter = o.stopAfter;
  const auto summary = tv::sim::RunWithSummary(machine, exitCode);
  // What follows (the report, a second run, the capture) is another process.
  machine.faults.NewProcess();
  bool failOn = (o.failOnStop && summary.Stopped()) || (o.failOnFailure && summary.Failed());

  // Written as it is found: the report of a generated script that writes
  // hundreds of thousands of values is not held whole.
  std::ofstream file;
  if (!o.noReport && !o.reportFile.empty()) file.open(tv::sim::PathFromUtf8(o.reportFile), std::ios::binary);
  std::ostream& out = o.reportFile.empty() ? std::cerr : file;
  // Standard error is unbuffered: the pieces go out in blocks, not a write each.
  std::string block;
  const auto flush = [&] {
    out << block;
    block.clear();
  };
  const auto put = [&](std::string_view part) {
    block += part;
    if (block.size() >= 64 * 1024) flush();
  };
  // Values and names come from the script: its escape sequences stay text.
  const auto write = [&](std::string_view part) { put(tv::lint::EscapeControlCharacters(part, true)); };
  // The JSON report holds the second run too, so it waits for it.
  std::optional<tv::sim::ChangeReport> firstReport;
  if (!o.noReport) {
    firstReport = tv::sim::CompareWithMachine(before, machine, exitCode);
    if (!o.json) {
      const tv::DeploymentResult deployment = tv::DeploymentExitCode(summary);
      write(tv::sim::SummaryText(summary) + "tarnvale-run would exit with " + std::to_string(deployment.code) + ": " +
            std::string(deployment.meaning) + ".\n");
      // On 64-bit Windows the device calls go through the companion.
      if (machine.wow64 && !machine.process64) write("The 64-bit companion: " + companionText + ".\n");
      write("\n");
      tv::sim::WriteReportText(*firstReport, write);
      flush();
    }
  }
  std::optional<tv::sim::SecondRun> second;
  if (o.twice) {
    // The first run's changes are found from the machine as it left it: in
    // JSON they are taken whole before the second run goes on from there.
    std::optional<nlohmann::json> firstJson;
    if (o.json && firstReport) firstJson = tv::sim::ReportJson(*firstReport);
    if (!o.json && !o.noReport) write("\n");
    second = tv::sim::RunAgain(machine);
    machine.faults.NewProcess();
    // A script that a second run does not leave alone has not passed either.
    failOn = failOn || (o.failOnStop && second->summary.Stopped()) || (o.failOnFailure && second->summary.Failed());
    if (!o.json && !o.noReport) write(tv::sim::SecondRunText(*second));
    if (firstJson) {
      (*firstJson)["run"] = tv::sim::SummaryJson(summary);
      (*firstJson)["secondRun"] = tv::sim::SecondRunJson(*second);
      put(firstJson->dump(2) + "\n");
    }
  } else if (o.json && firstReport) {
    const auto run = tv::sim::SummaryJson(summary);
    tv::sim::WriteReportJson(*firstReport, &run, put);
  }
  flush();
  out.flush();
  if (!o.noReport && !out && !o.reportFile.empty()) {
    std::cerr << "tarnvale-sim: cannot write the report to " << o.reportFile << '\n';
    return kSimulatorFailed;
  }

  if (!o.captureAfter.empty()) {
    // The machine afterwards, as tarnvale-capture would describe it.
    tv::capture::Options capture;
    capture.script = tv::shell::RenameExtension(machine.modulePath, L".ini").value_or(L"");
    capture.version = TARNVALE_VERSION;
    capture.process64 = machine.process64;
    capture.tool64 = machine.process64;
    if (!WriteHostText(o.captureAfter, tv::capture::CaptureMachine(machine.platform(), capture))) {
      return kSimulatorFailed;
    }
  }
  if (!o.registryAfter.empty() && !WriteRegistryDump(machine, o.registryAfter)) return kSimulatorFailed;
  // A run that would wait for ever, or whose process was ended, has no exit
  // code of the tool to give.
  const auto noExitCode = [](int code) {
    return code == tv::sim::kToolNeverExits || code == tv::sim::kToolProcessEnded;
  };
  if (noExitCode(exitCode) || (second && noExitCode(second->exitCode)) || failOn) return kRunDidNotPass;
  return exitCode;
}

// The linter's exit code when a script cannot be read or the call is wrong,
// apart from 0 (clean), 1 (warnings) and 2 (errors).
constexpr int kLintCannotRun = 3;

int Lint(const std::vector<std::string>& scripts, const std::string& format,
         const std::vector<std::string>& machineFiles, const std::string& packageFolder) {
  // The described machines tell whether an absolute path the script copies from is anywhere.
  std::vector<std::unique_ptr<tv::sim::SimMachine>> machines;
  for (const auto& file : machineFiles) {
    machines.push_back(std::make_unique<tv::sim::SimMachine>());
    if (!LoadMachine(file, *machines.back())) return kLintCannotRun;
  }
  // Where the package lies on the notebook, as the simulator lays it.
  std::wstring package = tv::FromUtf8(packageFolder);
  while (!package.empty() && package.back() == L'\\') package.pop_back();
  std::vector<tv::lint::FileFindings> all;
  int code = 0;
  for (const auto& script : scripts) {
    std::error_code error;
    if (std::filesystem::is_directory(tv::sim::PathFromUtf8(script), error)) {
      std::cerr << "tarnvale-sim: " << script << " is a folder; name the setup script (SCRIPT.ini) in it\n";
      return kLintCannotRun;
    }
    // A path in the package's own folder on the notebook is in the package
    // beside the script; any other is looked for on the machines.
    const auto host = std::filesystem::absolute(tv::sim::PathFromUtf8(script)).parent_path();
    tv::lint::PathLookup onAMachine;
    if (!machines.empty()) {
      onAMachine = [&machines, &package, host](std::wstring_view path) {
        if (tv::StartsWithNoCase(path, package + L"\\")) {
          std::string relative = tv::ToUtf8(path.substr(package.size() + 1));
          std::replace(relative.begin(), relative.end(), '\\', '/');
          std::error_code e;
          if (std::filesystem::exists(host / tv::sim::PathFromUtf8(relative), e)) return true;
        }
        return std::any_of(machines.begin(), machines.end(), [&](const auto& m) { return m->files.Exists(path); });
      };
    }
    std::vector<tv::lint::DescribedMachine> described;
    for (std::size_t i = 0; i < machines.size(); ++i) {
      described.push_back(
          {tv::sim::Utf8FromPath(tv::sim::PathFromUtf8(machineFiles[i]).filename()), machines[i].get()});
    }
    const auto findings = tv::lint::LintHostScript(tv::sim::PathFromUtf8(script), onAMachine, described);
    if (!findings) {
      std::cerr << "tarnvale-sim: cannot read setup script " << script << '\n';
      return kLintCannotRun;
    }
    code = std::max(code, tv::lint::ExitCode(*findings));
    all.push_back({script, *findings});
  }
  if (format == "json") {
    std::cout << tv::lint::FindingsJson(all).dump(2) << '\n';
  } else if (format == "sarif") {
    std::cout << tv::lint::FindingsSarif(all, TARNVALE_VERSION).dump(2) << '\n';
  } else {
    for (const auto& f : all) std::cout << tv::lint::FormatFindings(f.file, f.findings);
  }
  return code;
}

int SimMain(int argc, char** argv) {
  CLI::App app{
      "Runs the tool on SCRIPT.ini on a simulated notebook (default: maker VELTARO, Windows XP, Japanese user\n"
      "interface, tracing on). The tool's debugger output goes to standard output as it is written; a report of\n"
      "what the run changed (registry, files, devices, programs, pauses) follows on standard error. The files\n"
      "beside SCRIPT.ini go along as the tool's driver package; the report begins with what each command did.\n"
      "Exit code: the tool's own (1 after every run that got to its commands, 0 when it could not start),\n"
      "2 when this program could not start the run, 4 when --fail-on matched, the run would wait for ever or\n"
      "--stop-after ended it.\n"
      "The reference for scripts, machine descriptions, the report and the linter: docs/setup-script.md.\n"
      "Example: tarnvale-sim --machine examples/machines/pv715-xp-all-devices.json "
      "examples/notebook-setup/netsetup.ini",
      "tarnvale-sim"};
  // The same command line on every system: "/path" is a path, never an option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("tarnvale-sim ") + TARNVALE_VERSION);
  app.set_help_all_flag("--help-all", "Help for every subcommand");
  RunOptions run;
  app.add_option("--machine", run.machineFile, "Machine description (JSON), see examples/machines")
      ->check(kExistingHostFile);
#ifdef _WIN32
  app.add_flag("--this-machine", run.thisMachine,
               "What if the script ran here: describe this Windows as tarnvale-capture does (as the 32-bit tool "
               "sees it; with --tool-bits 64 as the 64-bit build does) and run the script on that description. "
               "Nothing on this machine changes");
  app.add_option("--capture-out", run.captureOut, "With --this-machine: keep the description of this machine in FILE");
#endif
  app.add_flag("--json", run.json, "Write the change report as JSON");
  app.add_option("--report", run.reportFile, "Write the change report to this file instead of standard error");
  app.add_flag("--no-report", run.noReport, "Leave the change report out");
  app.add_flag("--no-companion", run.noCompanion,
               "Run without the 64-bit companion (<name>64.exe) beside the tool, even when the package holds it");
  app.add_flag("--companion", run.companion,
               "Lay a stand-in for the 64-bit companion (<name>64.exe) beside the tool when the package has none, "
               "as a package with the companion from the release (the report says so)");
  std::string failOn;
  app.add_option("--fail-on", failOn,
                 "stop, failure or stop,failure: exit with 4 when the run stopped before its list ended (a check, "
                 "an error, the second instance) or when an operation failed. A run that would wait for ever at a "
                 "program that never ends always exits with 4")
      ->type_name("stop|failure|stop,failure")
      ->check(CLI::Validator(
          [](std::string& value) {
            for (const char* allowed : {"stop", "failure", "stop,failure", "failure,stop"}) {
              if (value == allowed) return std::string();
            }
            return "takes stop, failure or stop,failure, not " + value;
          },
          ""));
  app.add_option("--package-folder", run.packageFolder,
                 "The Windows folder the package lies in, the tool beside the script (default C:\\Tarnvale)");
  app.add_option("--tool-bits", run.toolBits,
                 "64: run the tool as a 64-bit process, as the Wine tests' build of it (default 32, as it ships)")
      ->check(CLI::IsMember({32, 64}));
  app.add_option("--capture-after", run.captureAfter,
                 "Write the machine after the run as a machine description (as tarnvale-capture writes one)");
  app.add_option("--registry-dump-before", run.registryBefore,
                 "Write every key and value of the simulated HKLM and HKCU before the run, a JSON array a line (as "
                 "tarnvale-capture --registry-dump writes Windows' own)");
  app.add_option("--registry-dump-after", run.registryAfter,
                 "Write every key and value of the simulated HKLM and HKCU after the run (and a second run)");
  app.add_option("--stop-after", run.stopAfter,
                 "End the tool's process right after its N-th call to Windows, as a kill or a power cut would: what "
                 "it wrote stays (a file being written holds what was written so far), nothing after it happens; "
                 "the run then exits with 4. With --capture-after the machine is described as the stop left it")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--twice", run.twice,
               "Run the script a second time on the machine the first run left, and report what the second run "
               "changes, command by command (\"A second run changes nothing\" when it is safe to run again)");
  app.add_option("script", run.script, "The setup script (SCRIPT.ini)");
  app.add_option("args", run.toolArgs, "The tool's own command-line arguments, after --");

  std::vector<std::string> lintScripts;
  std::vector<std::string> lintMachines;
  std::string lintFormat = "text";
  CLI::App* lint = app.add_subcommand(
      "lint",
      "Checks setup scripts; one finding a line (file:line: error|warning TVnnn: reason). Exit code 0: nothing "
      "found, 1: warnings, 2: errors, 3: a script could not be read. A comment line '; tvlint: ignore TV027' "
      "silences a rule on the next line. The rules: docs/setup-script.md");
  lint->add_option("scripts", lintScripts, "The setup scripts")->required();
  lint->add_option("--format", lintFormat, "text (default), json, or sarif (SARIF 2.1.0)")
      ->check(CLI::IsMember({"text", "json", "sarif"}));
  std::string lintPackageFolder = "C:\\Tarnvale";
  lint->add_option("--package-folder", lintPackageFolder,
                   "With --machine: the Windows folder the package lies in on the notebook (default C:\\Tarnvale, "
                   "as the simulator lays it); a source path in it is looked up in the package beside the script");
  lint->add_option("--machine", lintMachines,
                   "A machine the scripts are meant for (repeatable): absolute paths they copy from must be on one")
      ->check(kExistingHostFile);

  // "tarnvale-sim SCRIPT.ini lint" is the linter written the wrong way round,
  // not a run with the argument "lint" (that goes after "--").
  for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i) {
    if (std::string_view(argv[i]) != "lint") continue;
    for (int j = 1; j < i; ++j) {
      std::string script = argv[j];
      std::transform(script.begin(), script.end(), script.begin(), [](unsigned char c) { return std::tolower(c); });
      if (!script.ends_with(".ini")) continue;
      std::cerr << "tarnvale-sim: to check a script write 'tarnvale-sim lint " << argv[j]
                << "'; to pass lint to the tool write 'tarnvale-sim " << argv[j] << " -- lint'\n";
      return kSimulatorFailed;
    }
    break;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    for (int i = 1; i < argc; ++i) {
      if (std::string_view(argv[i]) == "lint") return kLintCannotRun;
    }
    return kSimulatorFailed;
  }
  if (lint->parsed()) return Lint(lintScripts, lintFormat, lintMachines, lintPackageFolder);
  if (run.script.empty()) {
    std::cerr << "tarnvale-sim: no setup script given\n" << app.help();
    return kSimulatorFailed;
  }
  if (run.thisMachine && !run.machineFile.empty()) {
    std::cerr << "tarnvale-sim: --this-machine describes the machine it runs on; --machine names another: give one\n";
    return kSimulatorFailed;
  }
  run.failOnStop = failOn.find("stop") != std::string::npos;
  run.failOnFailure = failOn.find("failure") != std::string::npos;
  return Run(run);
}

}  // namespace

#ifdef _WIN32
// Windows gives the arguments as UTF-16; the simulator reads them as the
// UTF-8 the Linux build is given.
int wmain(int argc, wchar_t** argv) {
  tv::sim::LoadDllsFromSystemOnly();
  tv::sim::UseHostOutput();
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(tv::ToUtf8(argv[i]));
  std::vector<char*> pointers;
  for (auto& a : args) pointers.push_back(a.data());
  pointers.push_back(nullptr);
  return SimMain(argc, pointers.data());
}
#else
int main(int argc, char** argv) { return SimMain(argc, argv); }
#endif
