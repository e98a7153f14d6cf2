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

namespace tv::lint {

enum class Severity { kWarning, kError };

struct Finding {
  std::size_t line = 1;
  Severity severity = Severity::kWarning;
  std::string reason;
};

// The package beside the script, where the tool looks for programs, .reg
// files and INF files: does this relative path (backslashes) exist?
using PackageLookup = std::function<bool(std::wstring_view relativePath)>;

// `baseName` is the script's file name without ".ini" (the executable's base
// name, which names the REG_FILE file). Without a lookup no file is checked.
std::vector<Finding> LintScript(std::wstring_view text, std::wstring_view baseName, const PackageLookup& package);

// A script on this (the host) machine, its package being the files beside
// it; nothing when the file cannot be read.
std::optional<std::vector<Finding>> LintHostScript(const std::filesystem::path& script);

// Every keyword the linter knows, for a check against the tool's own table.
std::vector<std::wstring_view> KnownKeywords();

// 0 without findings, 1 with warnings only, 2 with an error.
int ExitCode(std::span<const Finding> findings);

// "file:line: error: reason", one line each, in line order.
std::string FormatFindings(std::string_view file, std::span<const Finding> findings);

}  // namespace tv::lint
