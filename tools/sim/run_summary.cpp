#include "sim/run_summary.h"

#include "platform/text.h"
#include "sim/sim_run.h"

namespace tv::sim {

RunSummary RunWithSummary(SimMachine& machine, int& exitCode, IRunObserver* also) {
  CRunRecorder recorder;
  const auto previousListener = machine.onTraceMessage;
  const auto previousEvents = machine.onRunEvent;
  const bool previousHang = machine.endRunAtHang;
  machine.onTraceMessage = [&recorder, &previousListener](std::wstring_view message) {
    recorder.Message(message);
    if (previousListener) previousListener(message);
  };
  // The events as tarnvale-run reads them from the debugger output.
  machine.onRunEvent = [&recorder, &previousEvents, also](std::wstring_view event) {
    DeliverRunEvent(event, recorder);
    if (also != nullptr) DeliverRunEvent(event, *also);
    if (previousEvents) previousEvents(event);
  };
  machine.endRunAtHang = true;
  try {
    exitCode = RunTool(machine);
    if (exitCode == kToolProcessEnded) recorder.ProcessEnded(machine.faults.callCount);
  } catch (const ProgramNeverEnds& hang) {
    recorder.NeverEnds(hang.dialog.empty() ? hang.image : hang.dialog, !hang.dialog.empty());
    exitCode = kToolNeverExits;
  }
  machine.onTraceMessage = previousListener;
  machine.onRunEvent = previousEvents;
  machine.endRunAtHang = previousHang;
  return recorder.Take();
}

nlohmann::json SummaryJson(const RunSummary& s) {
  using nlohmann::json;
  const auto texts = [](const std::vector<std::wstring>& lines) {
    json out = json::array();
    for (const auto& l : lines) out.push_back(ToUtf8(l));
    return out;
  };
  json commands = json::array();
  for (const auto& c : s.commands) {
    commands.push_back({{"n", c.n},
                        {"command", ToUtf8(c.command)},
                        {"keyword", ToUtf8(c.keyword)},
                        {"suffix", ToUtf8(c.suffix)},
                        {"section", ToUtf8(c.section)},
                        {"chosenSection", ToUtf8(c.chosenSection)},
                        {"fellBack", c.fellBack},
                        {"outcome", OutcomeName(c.outcome)},
                        {"why", ToUtf8(c.why)},
                        {"failures", texts(c.failures)},
                        {"restarts", texts(c.restarts)},
                        {"notes", texts(c.notes)}});
  }
  const auto lines = [](const std::vector<RunSummary::Failure>& list) {
    json out = json::array();
    for (const auto& f : list) out.push_back({{"command", f.command}, {"line", ToUtf8(f.line)}});
    return out;
  };
  const DeploymentResult deployment = DeploymentExitCode(s);
  return json{{"commands", commands},
              {"end", {{"reason", EndName(s.end)}, {"command", s.endAt}, {"text", EndText(s)}}},
              {"stopped", s.Stopped()},
              {"failed", s.Failed()},
              {"failures", lines(s.failures)},
              {"restarts", lines(s.restarts)},
              {"deployment", {{"exitCode", deployment.code}, {"meaning", deployment.meaning}}},
              {"unclassified", texts(s.unclassified)}};
}

}  // namespace tv::sim
