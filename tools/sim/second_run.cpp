#include "sim/second_run.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/text.h"
#include "sim/change_report.h"

namespace tv::sim {

namespace {

// Takes the machine's state at each command's start and end; what changed in
// between is that command's.
class ChangeByCommand final : public IRunObserver {
 public:
  struct Seen {
    SecondRun::Change where;
    std::string subject;
  };
  ChangeByCommand(SimMachine& machine, std::vector<Seen>& out)
      : machine_(machine), out_(out), last_(TakeSnapshot(machine)) {}

  void CommandStarts(std::size_t n, std::wstring_view command, std::wstring_view section) override {
    // Anything since the last command ended (the start-up's own work) goes before this one.
    Collect(current_, false);
    current_ = n;
    text_ = std::wstring(command);
    if (!section.empty()) text_ += L" [" + std::wstring(section) + L"]";
  }
  void CommandEnds(std::size_t /*n*/, CommandOutcome /*outcome*/, bool /*stopsTheRun*/) override {
    Collect(current_, false);
    current_ = 0;
    text_.clear();
  }
  void RunEnds(RunEnd /*end*/, std::size_t /*n*/) override {}

  // After the run: what is left over comes after the last command.
  void Finish() { Collect(current_, current_ == 0); }

 private:
  void Collect(std::size_t command, bool after) {
    const ChangeReport report = CompareWithMachine(last_, machine_, 0);
    for (auto& change : StateChanges(report)) {
      out_.push_back({{command, after, text_, std::move(change.text)}, std::move(change.subject)});
    }
    last_ = TakeSnapshot(machine_);
  }

  SimMachine& machine_;
  std::vector<Seen>& out_;
  MachineSnapshot last_;
  std::size_t current_ = 0;
  std::wstring text_;
};

std::string Where(const SecondRun::Change& c) {
  if (c.command == 0) return c.afterCommands ? "after the commands" : "before the commands";
  return "CMD" + std::to_string(c.command) + "=" + ToUtf8(c.commandText);
}

}  // namespace

SecondRun RunAgain(SimMachine& machine) {
  SecondRun run;
  machine.faults.NewProcess();
  const MachineSnapshot start = TakeSnapshot(machine);
  std::vector<ChangeByCommand::Seen> seen;
  ChangeByCommand observer(machine, seen);
  run.summary = RunWithSummary(machine, run.exitCode, &observer);
  observer.Finish();
  // What the run left changed, each told by the last command that changed it;
  // a file one command makes and a later one deletes is no change of the machine.
  std::set<std::string> left;
  for (auto& change : StateChanges(CompareWithMachine(start, machine, 0))) {
    left.insert(change.subject);
    auto last = std::find_if(seen.rbegin(), seen.rend(), [&](const auto& s) { return s.subject == change.subject; });
    SecondRun::Change c = last != seen.rend() ? last->where : SecondRun::Change{0, true, L"", ""};
    c.line = std::move(change.text);
    run.changes.push_back(std::move(c));
  }
  std::stable_sort(run.changes.begin(), run.changes.end(), [](const auto& a, const auto& b) {
    return std::pair(a.afterCommands, a.command) < std::pair(b.afterCommands, b.command);
  });
  std::set<std::string> putBack;
  for (const auto& s : seen) {
    if (!left.contains(s.subject)) putBack.insert(s.subject);
  }
  run.putBack = putBack.size();
  return run;
}

std::string SecondRunText(const SecondRun& run) {
  std::string out = "== A second run, on the machine the first run left ==\n";
  out += SummaryText(run.summary);
  const std::string putBack = run.putBack == 0
                                  ? ""
                                  : "On the way its commands change " + std::to_string(run.putBack) +
                                        (run.putBack == 1 ? " thing" : " things") + " that later commands put back.\n";
  if (run.changes.empty()) {
    out += "A second run changes nothing.\n" + putBack;
    return out;
  }
  out += "A second run changes " + std::to_string(run.changes.size()) +
         (run.changes.size() == 1 ? " thing" : " things") + ":\n";
  std::string lastWhere;
  for (const auto& c : run.changes) {
    const std::string where = Where(c);
    if (where != lastWhere) out += where + ":\n";
    lastWhere = where;
    out += "    " + c.line + "\n";
  }
  return out + putBack;
}

nlohmann::json SecondRunJson(const SecondRun& run) {
  nlohmann::json changes = nlohmann::json::array();
  for (const auto& c : run.changes) {
    changes.push_back({{"command", c.command}, {"where", Where(c)}, {"change", c.line}});
  }
  return {{"run", SummaryJson(run.summary)},
          {"exitCode", run.exitCode < 0 ? nlohmann::json(nullptr) : nlohmann::json(run.exitCode)},
          {"changesNothing", run.changes.empty()},
          {"putBack", run.putBack},
          {"changes", changes}};
}

}  // namespace tv::sim
