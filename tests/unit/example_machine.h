// A bundled example on a bundled machine, for the tests that run every
// script of examples/ on every machine of examples/machines/.
#pragma once

#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "platform/sim/sim_machine.h"
#include "sim/machine_file.h"
#include "sim/sim_run.h"

namespace tv::test {

inline const std::string kExamples = std::string(TARNVALE_SOURCE_DIR) + "/examples/";

// Describes the machine by examples/machines/<machine> (empty: the default
// notebook) and lays the package of examples/<script> on it, with the
// companion that ships beside the tool on 64-bit Windows; what went wrong,
// if anything did.
inline std::optional<std::string> LayExample(sim::SimMachine& m, const std::string& machine,
                                             const std::string& script) {
  if (machine.empty()) {
    sim::ConfigureDefaultNotebook(m);
  } else {
    std::ifstream in(kExamples + "machines/" + machine, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (auto error = sim::ApplyMachineDescription(text.str(), m)) return machine + ": " + *error;
  }
  if (auto error = sim::PlaceHostPackage(m, kExamples + script)) return script + ": " + *error;
  if (m.wow64) sim::PlaceCompanion(m);
  return std::nullopt;
}

// The registry (both views, by native path) and the files of a machine, one
// line each, every value line with its key in front: two machines' states
// compare line by line.
inline std::set<std::string> RegistryAndFileLines(const sim::SimMachine& m) {
  std::set<std::string> lines;
  std::istringstream all(m.registry.ToString() + m.files.ToString());
  std::string line;
  std::string key;
  while (std::getline(all, line)) {
    if (!line.empty() && line[0] == '[') key = line;
    lines.insert(!line.empty() && line[0] == '[' ? line : key + line);
  }
  return lines;
}

}  // namespace tv::test
