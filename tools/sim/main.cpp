// tarnvale-sim: runs the tool on a setup script, as if the executable lay
// beside it, on a simulated notebook; prints the debugger output and then
// what the run changed. `tarnvale-sim lint SCRIPT.ini` checks a script.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/text.h"
#include "sim/change_report.h"
#include "sim/lint.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace {

constexpr int kSimulatorFailed = 2;

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
};

int Run(const RunOptions& o) {
  tv::sim::SimMachine machine;
  if (o.machineFile.empty()) {
    tv::sim::ConfigureDefaultNotebook(machine);
  } else {
    std::string description;
    if (!tv::sim::ReadHostFile(o.machineFile, description)) {
      std::cerr << "tarnvale-sim: cannot read machine description " << o.machineFile << '\n';
      return kSimulatorFailed;
    }
    const auto base = std::filesystem::absolute(o.machineFile).parent_path();
    if (auto error = tv::sim::ApplyMachineDescription(description, machine, base)) {
      std::cerr << "tarnvale-sim: " << o.machineFile << ": " << *error << '\n';
      return kSimulatorFailed;
    }
  }
  if (auto error = tv::sim::PlaceHostPackage(machine, o.script)) {
    std::cerr << "tarnvale-sim: " << *error << '\n';
    return kSimulatorFailed;
  }
  // The 64-bit companion ships beside the tool; a run can leave it out.
  if (!o.noCompanion) tv::sim::PlaceCompanion(machine);
  std::wstring commandLine = L"\"" + machine.modulePath + L"\"";
  for (const auto& a : o.toolArgs) commandLine += L" " + QuoteArgument(a);
  machine.commandLine = commandLine;

  machine.onDebugWrite = [](std::wstring_view text) {
    const std::string utf8 = tv::ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
  };
  const auto before = tv::sim::TakeSnapshot(machine);
  const int exitCode = tv::sim::RunTool(machine);
  if (o.noReport) return exitCode;

  const auto report = tv::sim::CompareSnapshots(before, tv::sim::TakeSnapshot(machine), machine, exitCode);
  const std::string text = o.json ? tv::sim::ReportJson(report).dump(2) + "\n" : tv::sim::ReportText(report);
  if (o.reportFile.empty()) {
    std::cerr << text;
  } else {
    std::ofstream out(o.reportFile, std::ios::binary);
    out << text;
    if (!out) {
      std::cerr << "tarnvale-sim: cannot write the report to " << o.reportFile << '\n';
      return kSimulatorFailed;
    }
  }
  return exitCode;
}

int Lint(const std::string& script) {
  const auto findings = tv::lint::LintHostScript(script);
  if (!findings) {
    std::cerr << "tarnvale-sim: cannot read setup script " << script << '\n';
    return kSimulatorFailed;
  }
  std::cout << tv::lint::FormatFindings(script, *findings);
  return tv::lint::ExitCode(*findings);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Runs the tool on SCRIPT.ini on a simulated notebook (default: maker VELTARO, Windows XP, Japanese user\n"
      "interface, tracing on). The tool's debugger output goes to standard output as it is written; a report of\n"
      "what the run changed (registry, files, devices, programs, pauses) follows on standard error. The files\n"
      "beside SCRIPT.ini go along as the tool's driver package. The exit code is the tool's; 2 means this\n"
      "program could not start the run.",
      "tarnvale-sim"};
  app.set_help_all_flag("--help-all", "Help for every subcommand");
  RunOptions run;
  app.add_option("--machine", run.machineFile, "Machine description (JSON), see examples/machines")
      ->check(CLI::ExistingFile);
  app.add_flag("--json", run.json, "Write the change report as JSON");
  app.add_option("--report", run.reportFile, "Write the change report to this file instead of standard error");
  app.add_flag("--no-report", run.noReport, "Leave the change report out");
  app.add_flag("--no-companion", run.noCompanion,
               "Run without the 64-bit companion (<name>64.exe) beside the tool, as a package that lacks it");
  app.add_option("script", run.script, "The setup script (SCRIPT.ini)");
  app.add_option("args", run.toolArgs, "The tool's own command-line arguments, after --");

  std::string lintScript;
  CLI::App* lint =
      app.add_subcommand("lint",
                         "Checks a setup script; one line per finding (file:line: error|warning: reason). Exit code 0: "
                         "nothing found, 1: warnings, 2: errors");
  lint->add_option("script", lintScript, "The setup script")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kSimulatorFailed;
  }
  if (lint->parsed()) return Lint(lintScript);
  if (run.script.empty()) {
    std::cerr << "tarnvale-sim: no setup script given\n" << app.help();
    return kSimulatorFailed;
  }
  return Run(run);
}
