// Fault injection for the simulated machine: "the next RegOpenKeyEx of this
// path fails with 5". Operations are named after the Windows call they stand
// for; a plan entry may name a subject (a key path, a file, a property) or
// leave it empty to match any call of the operation.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace tv::sim {

// Thrown out of the call after the last one a stopped process makes (a kill,
// a power cut): what the calls before it did stays, nothing after happens.
struct ProcessEnded {
  std::size_t calls = 0;  // the calls the process made
};

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

  // Every call that could fail is counted; with `stopAfter` set, the process
  // ends right after that many: the next call throws ProcessEnded. Calls made
  // while it unwinds (none should be) fail with ERROR_ACCESS_DENIED, counted
  // in `callsAfterEnd`.
  std::optional<std::size_t> stopAfter;
  std::size_t callCount = 0;
  bool processEnded = false;
  std::size_t callsAfterEnd = 0;
  // A new process on the same machine: counting starts again.
  void NewProcess() {
    stopAfter.reset();
    callCount = 0;
    processEnded = false;
  }

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
