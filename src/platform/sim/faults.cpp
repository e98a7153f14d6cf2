#include "platform/sim/faults.h"

#include "platform/text.h"

namespace tv::sim {

void FaultPlan::Fail(std::string operation, WinError error, std::wstring subject, int times) {
  entries_.push_back(Entry{std::move(operation), std::move(subject), error, times});
}

void FaultPlan::FailNth(std::string operation, WinError error, std::wstring subject, int nth) {
  entries_.push_back(Entry{std::move(operation), std::move(subject), error, 1, nth - 1});
}

std::optional<WinError> FaultPlan::Take(std::string_view operation, std::wstring_view subject) {
  if (processEnded) {
    ++callsAfterEnd;
    return err::kAccessDenied;
  }
  if (stopAfter && callCount >= *stopAfter) {
    processEnded = true;
    throw ProcessEnded{callCount};
  }
  ++callCount;
  if (recording) calls.push_back(Call{std::string(operation), std::wstring(subject)});
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->operation != operation) continue;
    if (!it->subject.empty() && !EqualsNoCase(it->subject, subject)) continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    const WinError error = it->error;
    if (it->times > 0 && --it->times == 0) entries_.erase(it);
    return error;
  }
  return std::nullopt;
}

}  // namespace tv::sim
