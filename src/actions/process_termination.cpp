#include "actions/process_termination.h"

#include "actions/action.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {

constexpr std::size_t kNameRoom = 260;
constexpr std::size_t kProcessIdCapacity = 1000;
constexpr std::size_t kMaxProcessIdCapacity = 1u << 20;

std::wstring UpperAscii(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = AsciiUpper(c);
  return out;
}

int Terminate(IProcesses& processes, std::uint32_t id) {
  auto process = processes.OpenForTermination(id);
  if (!process) return termination::kOpenFailed;
  return (*process)->Terminate(0) ? termination::kTerminated : termination::kTerminateFailed;
}

// The NT family: the first process whose first module has that base name,
// read and ended through one handle.
int TerminateByPsapi(IProcesses& processes, const std::wstring& target) {
  auto psapi = processes.LoadPsapi();
  if (!psapi) return termination::kNoPsapi;
  if (!(*psapi)->HasFunctions()) return termination::kPsapiIncomplete;
  // A full room may hide more processes: grow it until the list leaves some over.
  std::size_t capacity = kProcessIdCapacity;
  auto ids = (*psapi)->EnumProcesses(capacity);
  while (ids && ids->size() >= capacity && capacity < kMaxProcessIdCapacity) {
    capacity *= 2;
    ids = (*psapi)->EnumProcesses(capacity);
  }
  if (!ids) return termination::kEnumFailed;
  for (const std::uint32_t id : *ids) {
    auto process = (*psapi)->Open(id);
    if (!process) continue;
    // A process whose name cannot be read (it denies the query, or it is a
    // 64-bit process seen from this 32-bit one) is never ended: its name
    // would only be a guess.
    const auto name = (*process)->FirstModuleBaseName();
    if (!name) continue;
    if (UpperAscii(CutTo(*name, kNameRoom)) != target) continue;
    if (!(*process)->MayTerminate()) return termination::kOpenFailed;
    return (*process)->Terminate(0) ? termination::kTerminated : termination::kTerminateFailed;
  }
  return termination::kNotRunning;
}

// The older family: the first process with a module of that name, compared
// as the snapshot reports it.
int TerminateByToolhelp(IProcesses& processes, const std::wstring& target) {
  auto toolhelp = processes.LoadToolhelp();
  if (!toolhelp) return termination::kNoKernel32;
  if (!(*toolhelp)->HasFunctions()) return termination::kToolhelpIncomplete;
  auto ids = (*toolhelp)->SnapshotProcesses();
  if (!ids) return termination::kSnapshotFailed;
  for (const std::uint32_t id : *ids) {
    auto modules = (*toolhelp)->SnapshotModules(id);
    if (!modules) return termination::kSnapshotFailed;
    for (const auto& module : *modules) {
      if (module == target) return Terminate(processes, id);
    }
  }
  return termination::kNotRunning;
}

}  // namespace

int CAction::TerminateProcessByName(std::wstring_view name) {
  if (name.empty() || name.size() > kNameRoom) return termination::kBadName;
  const std::wstring target = UpperAscii(name);
  auto version = platform().system.OsVersion();
  if (!version) return termination::kNoVersion;
  if (version->platformId == 2) return TerminateByPsapi(platform().processes, target);
  if (version->platformId == 1) return TerminateByToolhelp(platform().processes, target);
  return termination::kUnknownPlatform;
}

}  // namespace tv
