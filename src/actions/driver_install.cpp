#include "actions/driver_install.h"

#include "actions/action.h"
#include "platform/shell_path.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {
constexpr std::wstring_view kDefaultInstallFolder = L"VELTARO\\NetworkDriver";
constexpr std::size_t kRoomInfEntry = 260;
}  // namespace

std::wstring OsClassSectionEnding(std::uint32_t osClass) {
  switch (osClass) {
    case os_class::kWin2000: return L"_2000";
    case os_class::kXp: return L"_XP";
    case os_class::kVista: return L"_VISTA";
    default: return L"";
  }
}

bool IsSafeInstallSubfolder(std::wstring_view destination) {
  if (destination.empty() || destination.front() == L'\\' || destination.front() == L'/') return false;
  if (destination.find(L':') != std::wstring_view::npos) return false;
  std::size_t start = 0;
  bool named = false;
  while (start <= destination.size()) {
    std::size_t end = destination.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = destination.size();
    const std::wstring_view part = destination.substr(start, end - start);
    if (part == L"..") return false;
    if (!part.empty() && part != L".") named = true;
    start = end + 1;
  }
  return named;  // "." alone, or only separators, would be the install root itself
}

int CAction::InstallDriver(std::wstring_view script, std::wstring_view section) {
  const Platform& p = platform();
  IProfile& profile = p.profile;
  const std::wstring& source = context.moduleDirectory;
  const auto root = InstallRoot(p);
  if (!root) return 0;
  const std::wstring destination =
      ReadScriptString(profile, script, section, L"DESTDIR", kRoomPath, kDefaultInstallFolder);
  const auto installFolder = shell::Append(*root, destination);
  if (!IsSafeInstallSubfolder(destination) || !installFolder) {
    trace.Trace(L"InstallDriver:Error DESTDIR=%s is not a folder under %s", destination, *root);
    return 0;
  }
  DeleteDirectory(*installFolder);
  if (CopyFiles(source, *installFolder) == 0) {
    trace.Trace(L"Error CopyFiles");
    return 0;
  }

  const std::uint32_t devices = ReadScriptCount(profile, script, section, L"DEV");
  const std::uint32_t infCopies = ReadScriptCount(profile, script, section, L"INFCOPY");
  const auto refresh = static_cast<std::int32_t>(ReadScriptInt(profile, script, section, L"REFRESH"));
  bool updated = false;
  for (std::uint32_t n = 1; n <= devices; ++n) {
    const std::wstring id = ReadScriptString(profile, script, section, Format(L"DEV%d", n), kRoomLong);
    if (lookup.IsExistById(id) == 0) continue;
    const std::wstring inf = ReadScriptString(profile, script, section, Format(L"DEVINF%d", n), kRoomInfEntry);
    const auto infPath = shell::Append(*installFolder, inf);
    updated = true;
    if (!infPath || p.devices.UpdateDriver(id, *infPath, dev::kInstallFlagForce) != err::kSuccess) {
      trace.Trace(L"Error UpdateDriverForPlugAndPlayDevices");
      return 0;
    }
    trace.Trace(L"UpdateDriverForPlugAndPlayDevices %s ,%s", id, *infPath);
    if (p.devices.WaitNoPendingInstallEvents() != 0) return 0;
  }
  if (updated) return 1;

  for (std::uint32_t n = 1; n <= infCopies; ++n) {
    const std::wstring inf = ReadScriptString(profile, script, section, Format(L"INF%d", n), kRoomLong);
    const auto infPath = shell::Append(*installFolder, inf);
    if (!infPath || p.devices.CopyOemInf(*infPath, *installFolder) != err::kSuccess) return 0;
  }
  if (refresh == 1) {
    ScanDevice(script, section, 0);
    if (p.devices.WaitNoPendingInstallEvents() != 0) return 0;
  }
  return 1;
}

}  // namespace tv
