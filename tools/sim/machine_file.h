// Machine descriptions for the simulator: a notebook as a JSON file, or the
// built-in default notebook.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/sim/sim_machine.h"

namespace tv::sim {

// The notebook used when no description is given: maker VELTARO, a model
// version whose sixth character is the region code J, Windows XP, Japanese
// user interface, tracing on.
void ConfigureDefaultNotebook(SimMachine& machine);

// The bytes of a file on this (the host) machine; false when it cannot be read.
bool ReadHostFile(const std::filesystem::path& path, std::string& out);

// Describes a fresh machine (a plain Windows with its usual environment,
// then what the description says); an error message naming the field
// and what was expected, or nothing when the description was applied.
// Host files it names (registry files, folders) are relative to `baseFolder`;
// without one, a description that names host files is refused.
std::optional<std::string> ApplyMachineDescription(const std::string& json, SimMachine& machine,
                                                   const std::filesystem::path& baseFolder = {});

// Lays a setup script from the host into the machine as if the tool lay
// beside it in `folder` (C:\\Tarnvale) under the script's base name; the files
// beside the script go along as the driver package. An error message, or nothing.
std::optional<std::string> PlaceHostPackage(SimMachine& machine, const std::filesystem::path& script,
                                            const std::wstring& folder = L"C:\\Tarnvale");

}  // namespace tv::sim
