#include "sim/run_summary.h"

#include "platform/shell_path.h"
#include "platform/text.h"
#include "sim/sim_run.h"
#include "sim/trace_lines.h"

namespace tv::sim {

namespace {

using Outcome = CommandSummary::Outcome;
using End = RunSummary::End;

class Recorder final : public IRunObserver {
 public:
  explicit Recorder(IRunObserver* also) : also_(also) {}

  void Message(std::wstring_view message) {
    const TraceLine* line = Classify(message);
    if (line == nullptr) {
      summary_.unclassified.emplace_back(message);
      return;
    }
    CommandSummary* command = Current();
    if (line->kind == LineKind::kFailure) {
      summary_.failures.push_back({command != nullptr ? command->n : 0, std::wstring(message)});
      if (command != nullptr) command->failures.emplace_back(message);
      lastFailure_ = message;
    } else if (line->kind == LineKind::kCheck) {
      lastCheck_ = message;
    }
  }

  void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) override {
    if (also_ != nullptr) also_->CommandStarts(n, command, section);
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

  void CommandEnds(std::size_t n, CommandOutcome outcome, bool stopsTheRun) override {
    if (also_ != nullptr) also_->CommandEnds(n, outcome, stopsTheRun);
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

  void RunEnds(RunEnd end, std::size_t n) override {
    if (also_ != nullptr) also_->RunEnds(end, n);
    summary_.endAt = n;
    switch (end) {
      case RunEnd::kNoWindow: summary_.end = End::kNoWindow; break;
      case RunEnd::kSecondInstance: summary_.end = End::kSecondInstance; break;
      case RunEnd::kNoKernel32: summary_.end = End::kNoKernel32; break;
      case RunEnd::kListEnded: summary_.end = End::kListEnded; break;
      case RunEnd::kAllCommands: summary_.end = End::kAllCommands; break;
      case RunEnd::kStopped: summary_.end = End::kStopped; break;
    }
  }

  void NeverEnds(const std::wstring& image) {
    summary_.end = End::kNeverEnds;
    if (CommandSummary* c = Current()) {
      c->outcome = Outcome::kNeverEnds;
      c->why = image;
      summary_.endAt = c->n;
    }
    open_ = false;
  }

  void ProcessEnded(std::size_t calls) {
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

  RunSummary Take() { return std::move(summary_); }

 private:
  CommandSummary* Current() { return open_ && !summary_.commands.empty() ? &summary_.commands.back() : nullptr; }

  IRunObserver* also_;
  RunSummary summary_;
  bool open_ = false;
  std::wstring lastCheck_;
  std::wstring lastFailure_;
};

std::string EndText(const RunSummary& s) {
  const std::string at = "CMD" + std::to_string(s.endAt);
  switch (s.end) {
    case End::kListEnded: return "the list ended: " + at + " is missing or empty";
    case End::kAllCommands: return "the list ended: the tool runs 64 commands at most";
    case End::kStopped: return at + " stopped the run";
    case End::kSecondInstance: return "another instance of the tool is running: no command ran";
    case End::kNoWindow: return "the tool could not make its window: no command ran";
    case End::kNoKernel32: return "Kernel32.dll could not be loaded: no command ran";
    case End::kNeverEnds: return at + " would wait for ever: the real tool never gets past it";
    case End::kProcessEnded:
      return "the process was ended after its " + std::to_string(s.callsMade) + (s.callsMade == 1 ? " call" : " calls") +
             " to Windows" +
             (s.endAt == 0 ? std::string(", before the commands") : (s.betweenCommands ? ", after " : ", in ") + at) +
             ": what it wrote stays, nothing after it happened";
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
    case End::kNeverEnds: return "never ends";
    case End::kProcessEnded: return "process ended";
  }
  return "";
}

}  // namespace

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

bool RunSummary::Stopped() const {
  return end == End::kStopped || end == End::kSecondInstance || end == End::kNoWindow || end == End::kNoKernel32 ||
         end == End::kNeverEnds || end == End::kProcessEnded;
}

bool RunSummary::Failed() const {
  if (!failures.empty() || end == End::kNeverEnds || end == End::kNoWindow || end == End::kNoKernel32) return true;
  for (const auto& c : commands) {
    if (c.outcome == Outcome::kUnknownKeyword || c.outcome == Outcome::kRedirectionRefused) return true;
  }
  return false;
}

RunSummary RunWithSummary(SimMachine& machine, int& exitCode, IRunObserver* also) {
  Recorder recorder(also);
  const auto previousListener = machine.onTraceMessage;
  const bool previousHang = machine.endRunAtHang;
  machine.onTraceMessage = [&recorder, &previousListener](std::wstring_view message) {
    recorder.Message(message);
    if (previousListener) previousListener(message);
  };
  machine.endRunAtHang = true;
  try {
    exitCode = RunTool(machine, &recorder);
    if (exitCode == kToolProcessEnded) recorder.ProcessEnded(machine.faults.callCount);
  } catch (const ProgramNeverEnds& hang) {
    recorder.NeverEnds(hang.image);
    exitCode = kToolNeverExits;
  }
  machine.onTraceMessage = previousListener;
  machine.endRunAtHang = previousHang;
  return recorder.Take();
}

std::string SummaryText(const RunSummary& s) {
  std::string out = "== What the run did ==\n";
  for (const auto& c : s.commands) {
    std::string head = "CMD" + std::to_string(c.n) + "=" + ToUtf8(c.command);
    if (!c.section.empty()) head += " [" + ToUtf8(c.section) + "]";
    out += head + ": " + std::string(OutcomeName(c.outcome));
    if (c.outcome == Outcome::kNeverEnds) {
      out += ": it waits for " + ToUtf8(c.why) + ", which keeps running";
    } else if (!c.why.empty()) {
      out += ": " + ToUtf8(c.why);
    }
    out += "\n";
    for (const auto& f : c.failures) out += "    failure: " + ToUtf8(f) + "\n";
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
  for (const auto& line : s.unclassified) out += "Trace line of no known kind: " + ToUtf8(line) + "\n";
  return out;
}

nlohmann::json SummaryJson(const RunSummary& s) {
  using nlohmann::json;
  json commands = json::array();
  for (const auto& c : s.commands) {
    json failures = json::array();
    for (const auto& f : c.failures) failures.push_back(ToUtf8(f));
    commands.push_back({{"n", c.n},
                        {"command", ToUtf8(c.command)},
                        {"keyword", ToUtf8(c.keyword)},
                        {"suffix", ToUtf8(c.suffix)},
                        {"section", ToUtf8(c.section)},
                        {"outcome", OutcomeName(c.outcome)},
                        {"why", ToUtf8(c.why)},
                        {"failures", failures}});
  }
  json failures = json::array();
  for (const auto& f : s.failures) failures.push_back({{"command", f.command}, {"line", ToUtf8(f.line)}});
  json unclassified = json::array();
  for (const auto& l : s.unclassified) unclassified.push_back(ToUtf8(l));
  return json{
      {"commands", commands},   {"end", {{"reason", EndName(s.end)}, {"command", s.endAt}, {"text", EndText(s)}}},
      {"stopped", s.Stopped()}, {"failed", s.Failed()},
      {"failures", failures},   {"unclassified", unclassified}};
}

}  // namespace tv::sim
