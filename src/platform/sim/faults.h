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
  // Fails only the `nth` matching call (counting from 1), once.
  void FailNth(std::string operation, WinError error, std::wstring subject, int nth);
  // Called by each simulated operation: the error to fail with, if one is planned.
  std::optional<WinError> Take(std::string_view operation, std::wstring_view subject = {});
  void Clear() { entries_.clear(); }

  // With recording on, every operation that could fail is listed, in order.
  struct Call {
    std::string operation;
    std::wstring subject;
  };
  bool recording = false;
  std::vector<Call> calls;

 private:
  struct Entry {
    std::string operation;
    std::wstring subject;
    WinError error;
    int times;
    int skip = 0;  // matching calls to let pass first
  };
  std::vector<Entry> entries_;
};

}  // namespace tv::sim
