// tarnvale-sim: runs the tool on a setup script, as if the executable lay
// beside it, on a simulated notebook, and prints the debugger output.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/sim_run.h"
#include "platform/text.h"
#include "sim/machine_file.h"

namespace {

constexpr const char* kUsage =
    "usage: tarnvale-sim [--machine FILE] SCRIPT.ini [-- ARGS...]\n"
    "Runs the tool on SCRIPT.ini on a simulated notebook (default: maker VELTARO,\n"
    "Windows XP, Japanese user interface, tracing on) and prints every string the\n"
    "tool sends to the debugger. The exit code is the tool's; 2 means this program\n"
    "could not start the run. The files beside SCRIPT.ini go along as the tool's\n"
    "driver package.\n";

bool ReadHostFile(const std::filesystem::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

std::wstring QuoteArgument(const std::string& arg) {
  std::wstring w = tv::FromUtf8(arg);
  if (w.find(L' ') == std::wstring::npos && !w.empty()) return w;
  return L"\"" + w + L"\"";
}

}  // namespace

int main(int argc, char** argv) {
  std::string machineFile;
  std::string script;
  std::vector<std::string> toolArgs;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") {
      toolArgs.assign(argv + i + 1, argv + argc);
      break;
    }
    if (a == "--machine" && i + 1 < argc) {
      machineFile = argv[++i];
    } else if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (script.empty() && a.rfind("--", 0) != 0) {
      script = a;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (script.empty()) {
    std::cerr << kUsage;
    return 2;
  }

  tv::sim::SimMachine machine;
  if (machineFile.empty()) {
    tv::sim::ConfigureDefaultNotebook(machine);
  } else {
    std::string description;
    if (!ReadHostFile(machineFile, description)) {
      std::cerr << "tarnvale-sim: cannot read machine description " << machineFile << '\n';
      return 2;
    }
    if (auto error = tv::sim::ApplyMachineDescription(description, machine)) {
      std::cerr << "tarnvale-sim: " << machineFile << ": " << *error << '\n';
      return 2;
    }
  }

  if (auto error = tv::sim::PlaceHostPackage(machine, script)) {
    std::cerr << "tarnvale-sim: " << *error << '\n';
    return 2;
  }
  std::wstring commandLine = L"\"" + machine.modulePath + L"\"";
  for (const auto& a : toolArgs) commandLine += L" " + QuoteArgument(a);
  machine.commandLine = commandLine;

  machine.onDebugWrite = [](std::wstring_view text) {
    const std::string utf8 = tv::ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
  };
  return tv::sim::RunTool(machine);
}
