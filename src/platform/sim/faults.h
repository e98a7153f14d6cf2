// Fault injection for the simulated machine: "the next RegOpenKeyEx of this
// path fails with 5". Operations are named after the Windows call they stand
// for; a plan entry may name a subject (a key path, a file, a property) or
// leave it empty to match any call of the operation.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tv::sim {

class FaultPlan {
 public:
  // The next `times` matching calls fail with `error`; a negative `times` fails every call.
  void Fail(std::string operation, WinError error, std::wstring subject = {}, int times = 1);
  // Called by each simulated operation: the error to fail with, if one is planned.
  std::optional<WinError> Take(std::string_view operation, std::wstring_view subject = {});
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    std::string operation;
    std::wstring subject;
    WinError error;
    int times;
  };
  std::vector<Entry> entries_;
};

}  // namespace tv::sim
