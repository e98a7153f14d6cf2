#include "app/companion.h"

#include <optional>
#include <vector>

#include "devices/companion_protocol.h"
#include "devices/device_walk.h"
#include "platform/shell_path.h"
#include "platform/text.h"

namespace tv {

namespace {

constexpr std::wstring_view kUsage =
    L"This is the 64-bit companion of the tool: it makes one device operation that 64-bit Windows refuses to the "
    L"32-bit tool, when the tool asks, and runs no setup script. Operations:\n"
    L"  update-driver HARDWARE-ID INF-PATH FLAGS\n"
    L"  property-change INSTANCE-ID STATE SCOPE PROFILE\n"
    L"  remove INSTANCE-ID\n"
    L"The exit code is the Windows error of the operation (0: done, 3010: done, Windows must restart).";

std::optional<std::uint32_t> Number(const std::wstring& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t n = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  if (n > 0xFFFFFFFFULL) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

CompanionOutcome Refuse(const std::wstring& why) {
  return CompanionOutcome{kCompanionUsage, why + L"\n" + std::wstring(kUsage)};
}

// The device of that instance ID in a set, by the one walk every scan takes.
std::optional<std::uint32_t> FindInstance(IDeviceSet& set, std::wstring_view instanceId, WinError& failure) {
  std::optional<std::uint32_t> found;
  const WalkEnd end = WalkDevices(set, [&](std::uint32_t i, const std::vector<std::wstring>&) {
    auto id = set.InstanceId(i);
    if (id && EqualsNoCase(*id, instanceId)) {
      found = i;
      return Visit::kStop;
    }
    return Visit::kNext;
  });
  failure = end.lastError == err::kNoMoreItems ? err::kNoSuchDevinst : end.lastError;
  return found;
}

}  // namespace

CompanionOutcome RunCompanionOperation(const Platform& platform, std::wstring_view commandLine) {
  const std::vector<std::wstring> args = SplitArguments(shell::GetArgs(commandLine));
  if (args.empty()) return Refuse(L"No operation was given.");
  const std::wstring& op = args[0];
  IDevices& devices = platform.devices;
  if (op == kOpUpdateDriver) {
    if (args.size() != 4) return Refuse(L"update-driver takes a hardware ID, an INF path and the flags.");
    const auto flags = Number(args[3]);
    if (!flags) return Refuse(L"The flags of update-driver are a decimal number.");
    return CompanionOutcome{devices.UpdateDriver(args[1], args[2], *flags), {}};
  }
  if (op == kOpPropertyChange) {
    if (args.size() != 5) return Refuse(L"property-change takes an instance ID, the state, the scope and the profile.");
    const auto state = Number(args[2]);
    const auto scope = Number(args[3]);
    const auto profile = Number(args[4]);
    if (!state || !scope || !profile) return Refuse(L"The state, scope and profile are decimal numbers.");
    auto set = devices.AllPresentDevices();
    if (!set) return CompanionOutcome{set.error(), {}};
    WinError failure = err::kSuccess;
    const auto device = FindInstance(**set, args[1], failure);
    if (!device) return CompanionOutcome{failure, {}};
    if (WinError e = (*set)->SetPropertyChange(*device, *state, *scope, *profile); e != err::kSuccess) {
      return CompanionOutcome{e, {}};
    }
    if (WinError e = (*set)->CallClassInstaller(dev::kDifPropertyChange, *device); e != err::kSuccess) {
      return CompanionOutcome{e, {}};
    }
    auto flags = (*set)->InstallFlags(*device);
    const bool restart = flags && (*flags & (dev::kDiNeedRestart | dev::kDiNeedReboot)) != 0;
    return CompanionOutcome{restart ? kCompanionNeedsRestart : err::kSuccess, {}};
  }
  if (op == kOpRemove) {
    if (args.size() != 2) return Refuse(L"remove takes an instance ID.");
    // Every device the system knows, present or not, as the tool's removal walks them.
    auto set = devices.ClassDevs(L"", L"", dev::kDigcfAllClasses);
    if (!set) return CompanionOutcome{set.error(), {}};
    WinError failure = err::kSuccess;
    const auto device = FindInstance(**set, args[1], failure);
    if (!device) return CompanionOutcome{failure, {}};
    return CompanionOutcome{(*set)->CallClassInstaller(dev::kDifRemove, *device), {}};
  }
  return Refuse(L"Unknown operation: " + op);
}

}  // namespace tv
