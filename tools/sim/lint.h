// The setup-script linter: finds what makes a script do something other than
// its author meant (commands that never run, keys nobody reads, sections that
// are never selected, values the tool refuses), each with its line.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/lint_rules.h"

namespace tv::sim {
class SimMachine;
}

namespace tv::lint {

struct Finding {
  std::size_t line = 1;
  Severity severity = Severity::kWarning;
  std::string reason;
  std::string rule;  // the rule's ID, "TV012"
};

// The package beside the script, where the tool looks for programs, .reg
// files and INF files: does this relative path (backslashes) exist?
using PackageLookup = std::function<bool(std::wstring_view relativePath)>;

// `baseName` is the script's file name without ".ini" (the executable's base
// name, which names the REG_FILE file). Without a lookup no file is checked.
// The names of the files at the top of the package.
using PackageListing = std::function<std::vector<std::wstring>()>;
// Is this absolute path on at least one of the machines the script is meant
// for? Without it no such path is checked.
using PathLookup = std::function<bool(std::wstring_view absolutePath)>;
// The bytes of a file of the package (a driver package's INF and what it
// names), or none.
using PackageReader = std::function<std::optional<std::string>(std::wstring_view relativePath)>;
// A described machine the script is meant for, by its file name: the driver
// selection is checked against its devices and the drivers they have.
struct DescribedMachine {
  std::string name;
  const sim::SimMachine* machine = nullptr;
};
// `bytes`: the file as stored, when known, for what its encoding does.
// Without a reader no driver package is read.
std::vector<Finding> LintScript(std::wstring_view text, std::wstring_view baseName, const PackageLookup& package,
                                const PackageListing& listing = {}, const PathLookup& machines = {},
                                std::string_view bytes = {}, const PackageReader& reader = {},
                                std::span<const DescribedMachine> described = {});

// A script on this (the host) machine, its package being the files beside
// it; nothing when the file cannot be read.
std::optional<std::vector<Finding>> LintHostScript(const std::filesystem::path& script, const PathLookup& machines = {},
                                                   std::span<const DescribedMachine> described = {});

// Every keyword the linter knows, for a check against the tool's own table.
std::vector<std::wstring_view> KnownKeywords();

// 0 without findings, 1 with warnings only, 2 with an error.
int ExitCode(std::span<const Finding> findings);

// "file:line: error TV012: reason", one line each, in line order; control
// characters of the script are shown escaped (\x1b), never written raw.
std::string FormatFindings(std::string_view file, std::span<const Finding> findings);
// With `keepLineEnds` line feeds, returns and tabs stay as they are.
std::string EscapeControlCharacters(std::string_view text, bool keepLineEnds = false);

struct FileFindings {
  std::string file;
  std::vector<Finding> findings;
};
// One object per finding: file, line, severity, rule, message.
nlohmann::json FindingsJson(std::span<const FileFindings> files);
// A SARIF 2.1.0 log with every rule and the findings as results.
nlohmann::json FindingsSarif(std::span<const FileFindings> files, std::string_view version);

}  // namespace tv::lint
