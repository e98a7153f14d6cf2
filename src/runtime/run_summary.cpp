#include "runtime/run_summary.h"

#include <algorithm>
#include <array>

#include "platform/shell_path.h"
#include "platform/text.h"
#include "runtime/trace_lines.h"

namespace tv {

namespace {

using Outcome = CommandSummary::Outcome;
using End = RunSummary::End;

// The lines that name the section a command read, its value at their end.
constexpr std::array kSectionLines{
    std::wstring_view(L"AddDelRegFromIni:SectionName="),
    std::wstring_view(L"CreateProcessFromIni:section name ="),
    std::wstring_view(L"Install Driver Section="),
};

// The keywords that read a variant of their section for the machine's region
// or user-interface language, and the plain section when it has none.
constexpr std::array kVariantKeywords{
    std::wstring_view(L"CMD_REGION"),   std::wstring_view(L"CMD_UILANG"),       std::wstring_view(L"REG_INI_UILANG"),
    std::wstring_view(L"MODEM_REGION"), std::wstring_view(L"TELEPHONY_REGION"),
};

}  // namespace

CommandSummary* CRunRecorder::Current() {
  return open_ && !summary_.commands.empty() ? &summary_.commands.back() : nullptr;
}

void CRunRecorder::Message(std::wstring_view message) {
  const TraceLine* line = Classify(message);
  if (line == nullptr) {
    summary_.unclassified.emplace_back(message);
    return;
  }
  CommandSummary* command = Current();
  const std::size_t n = command != nullptr ? command->n : 0;
  switch (line->kind) {
    case LineKind::kFailure:
      summary_.failures.push_back({n, std::wstring(message)});
      if (command != nullptr) command->failures.emplace_back(message);
      lastFailure_ = message;
      break;
    case LineKind::kRestart:
      summary_.restarts.push_back({n, std::wstring(message)});
      if (command != nullptr) command->restarts.emplace_back(message);
      break;
    case LineKind::kCheck: lastCheck_ = message; break;
    case LineKind::kProgress:
    case LineKind::kBenign: break;
  }
  if (command == nullptr || !command->chosenSection.empty()) return;
  for (auto prefix : kSectionLines) {
    if (!message.starts_with(prefix)) continue;
    command->chosenSection = message.substr(prefix.size());
    const bool ofVariants = std::any_of(kVariantKeywords.begin(), kVariantKeywords.end(),
                                        [&](std::wstring_view k) { return EqualsNoCase(k, command->keyword); });
    command->fellBack = ofVariants && EqualsNoCase(command->chosenSection, command->section);
  }
}

void CRunRecorder::CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) {
  CommandSummary c;
  c.n = n;
  c.command = command;
  c.keyword = shell::RemoveExtension(command);
  c.suffix = shell::Extension(command);
  c.section = section;
  summary_.commands.push_back(std::move(c));
  open_ = true;
  lastCheck_.clear();
  lastFailure_.clear();
}

void CRunRecorder::CommandEnds(std::size_t /*n*/, CommandOutcome outcome, bool stopsTheRun) {
  if (summary_.commands.empty()) return;
  CommandSummary& c = summary_.commands.back();
  open_ = false;
  switch (outcome) {
    case CommandOutcome::kSkippedByPlatform: c.outcome = Outcome::kSkippedByPlatform; break;
    case CommandOutcome::kUnknownKeyword: c.outcome = Outcome::kUnknownKeyword; break;
    case CommandOutcome::kRedirectionRefused: c.outcome = Outcome::kRedirectionRefused; break;
    case CommandOutcome::kRan: c.outcome = c.failures.empty() ? Outcome::kRan : Outcome::kFailed; break;
  }
  if (stopsTheRun) {
    c.outcome = Outcome::kStoppedTheRun;
    // A check says why in its own line; a command that stops after an
    // error names it in its last failure line.
    c.why = !lastCheck_.empty() ? lastCheck_ : lastFailure_;
  }
}

void CRunRecorder::RunEnds(RunEnd end, std::size_t n) {
  summary_.endAt = n;
  switch (end) {
    case RunEnd::kNoWindow: summary_.end = End::kNoWindow; break;
    case RunEnd::kSecondInstance: summary_.end = End::kSecondInstance; break;
    case RunEnd::kNoKernel32: summary_.end = End::kNoKernel32; break;
    case RunEnd::kListEnded: summary_.end = End::kListEnded; break;
    case RunEnd::kAllCommands: summary_.end = End::kAllCommands; break;
    case RunEnd::kStopped: summary_.end = End::kStopped; break;
    case RunEnd::kPathTooLong: summary_.end = End::kPathTooLong; break;
  }
}

void CRunRecorder::Note(std::wstring_view text) {
  if (CommandSummary* c = Current()) c->notes.emplace_back(text);
}

void CRunRecorder::NeverEnds(const std::wstring& image, bool dialog) {
  summary_.end = End::kNeverEnds;
  if (CommandSummary* c = Current()) {
    c->outcome = Outcome::kNeverEnds;
    c->why = image;
    c->waitsOnDialog = dialog;
    summary_.endAt = c->n;
  }
  open_ = false;
}

void CRunRecorder::ProcessEnded(std::size_t calls) {
  summary_.end = End::kProcessEnded;
  summary_.callsMade = calls;
  if (CommandSummary* c = Current()) {
    c->outcome = Outcome::kProcessEnded;
    summary_.endAt = c->n;
  } else if (!summary_.commands.empty()) {
    summary_.endAt = summary_.commands.back().n;
    summary_.betweenCommands = true;
  }
  open_ = false;
}

bool RunSummary::Stopped() const {
  return end == End::kStopped || end == End::kSecondInstance || end == End::kNoWindow || end == End::kNoKernel32 ||
         end == End::kPathTooLong || end == End::kNeverEnds || end == End::kProcessEnded;
}

bool RunSummary::Failed() const {
  if (!failures.empty() || end == End::kNeverEnds || end == End::kNoWindow || end == End::kNoKernel32 ||
      end == End::kPathTooLong) {
    return true;
  }
  for (const auto& c : commands) {
    if (c.outcome == Outcome::kUnknownKeyword || c.outcome == Outcome::kRedirectionRefused) return true;
  }
  return false;
}

bool RunSummary::StoppedByCheck() const {
  if (end != End::kStopped) return false;
  for (const auto& c : commands) {
    if (c.n != endAt || c.outcome != Outcome::kStoppedTheRun) continue;
    const TraceLine* line = Classify(c.why);
    return line != nullptr && line->kind == LineKind::kCheck;
  }
  return false;
}

DeploymentResult DeploymentExitCode(const RunSummary& s, bool restartPending) {
  if (s.end == End::kSecondInstance) {
    return {kDeployAnotherRunning, "another copy of the tool was running: nothing ran; try again later"};
  }
  if (s.Failed() || s.end == End::kProcessEnded || s.end == End::kUnknown) {
    return {kDeployFailed, "the run failed: a command did not do what the script asks (see the failures)"};
  }
  if (s.StoppedByCheck()) {
    return {kDeployNotForThisMachine, "a machine check stopped the run: the package is not for this machine"};
  }
  if (!s.restarts.empty() || restartPending) {
    return {kDeployRestart, "the run worked; a change waits for a restart of Windows"};
  }
  return {kDeploySuccess, "the run worked: the commands ran to the end of the list and none failed"};
}

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kRan: return "ran";
    case Outcome::kFailed: return "failed";
    case Outcome::kSkippedByPlatform: return "skipped by the platform gate";
    case Outcome::kUnknownKeyword: return "unknown keyword";
    case Outcome::kRedirectionRefused: return "not run: redirection stayed on";
    case Outcome::kStoppedTheRun: return "stopped the run";
    case Outcome::kNeverEnds: return "never ends";
    case Outcome::kProcessEnded: return "ended with the process";
  }
  return "";
}

std::string_view EndName(End end) {
  switch (end) {
    case End::kListEnded: return "list ended";
    case End::kAllCommands: return "64 commands";
    case End::kStopped: return "stopped";
    case End::kSecondInstance: return "second instance";
    case End::kNoWindow: return "no window";
    case End::kNoKernel32: return "no Kernel32.dll";
    case End::kPathTooLong: return "path too long";
    case End::kNeverEnds: return "never ends";
    case End::kProcessEnded: return "process ended";
    case End::kUnknown: return "unknown";
  }
  return "";
}

std::string EndText(const RunSummary& s) {
  const std::string at = "CMD" + std::to_string(s.endAt);
  switch (s.end) {
    case End::kListEnded: return "the list ended: " + at + " is missing or empty";
    case End::kAllCommands: return "the list ended: the tool runs 64 commands at most";
    case End::kStopped: return at + " stopped the run";
    case End::kSecondInstance: return "another instance of the tool is running: no command ran";
    case End::kNoWindow: return "the tool could not make its window: no command ran";
    case End::kNoKernel32: return "Kernel32.dll could not be loaded: no command ran";
    case End::kPathTooLong: return "the tool's path is too long to name its setup script: no command ran";
    case End::kNeverEnds: return at + " would wait for ever: the real tool never gets past it";
    case End::kProcessEnded: {
      std::string text = "the process was ended";
      if (s.callsMade > 0) {
        text += " after its " + std::to_string(s.callsMade) + (s.callsMade == 1 ? " call" : " calls") + " to Windows";
      } else {
        text += " from outside";
      }
      text += s.endAt == 0 ? std::string(", before the commands") : (s.betweenCommands ? ", after " : ", in ") + at;
      return text + ": what it wrote stays, nothing after it happened";
    }
    case End::kUnknown: return "the tool did not say where its run ended";
  }
  return "";
}

std::string CommandTitle(const CommandSummary& c) {
  std::string title = "CMD" + std::to_string(c.n) + "=" + ToUtf8(c.command);
  if (!c.chosenSection.empty() && !EqualsNoCase(c.chosenSection, c.section) && !c.section.empty()) {
    title += " [" + ToUtf8(c.chosenSection) + "]";
  } else if (!c.section.empty()) {
    title += " [" + ToUtf8(c.section) + "]";
    if (c.fellBack) title += " (no variant of it for this machine: the plain section)";
  }
  return title;
}

std::string SummaryText(const RunSummary& s) {
  std::string out = "== What the run did ==\n";
  for (const auto& c : s.commands) {
    out += CommandTitle(c) + ": " + std::string(OutcomeName(c.outcome));
    if (c.outcome == Outcome::kNeverEnds && c.waitsOnDialog) {
      out += ": it waits on " + ToUtf8(c.why) + ", which no one answers in an unattended run";
    } else if (c.outcome == Outcome::kNeverEnds) {
      out += ": it waits for " + ToUtf8(c.why) + ", which keeps running";
    } else if (!c.why.empty()) {
      out += ": " + ToUtf8(c.why);
    }
    out += "\n";
    for (const auto& f : c.failures) out += "    failure: " + ToUtf8(f) + "\n";
    for (const auto& r : c.restarts) out += "    waits for a restart: " + ToUtf8(r) + "\n";
    for (const auto& note : c.notes) out += "    note: " + ToUtf8(note) + "\n";
  }
  out += "The run ended: " + EndText(s) + ".\n";
  if (s.failures.empty()) {
    out += "No failure.\n";
  } else {
    out += std::to_string(s.failures.size()) + (s.failures.size() == 1 ? " failure" : " failures") + ":\n";
    for (const auto& f : s.failures) {
      out += "    " + (f.command == 0 ? std::string("before the commands") : "CMD" + std::to_string(f.command)) + ": " +
             ToUtf8(f.line) + "\n";
    }
  }
  if (!s.restarts.empty()) {
    out += std::to_string(s.restarts.size()) + (s.restarts.size() == 1 ? " change waits" : " changes wait") +
           " for a restart of Windows.\n";
  }
  for (const auto& line : s.unclassified) out += "Trace line of no known kind: " + ToUtf8(line) + "\n";
  return out;
}

}  // namespace tv
