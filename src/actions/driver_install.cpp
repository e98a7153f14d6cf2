#include "actions/driver_install.h"

#include <span>

#include "actions/action.h"
#include "platform/shell_path.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {
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

namespace {

// Windows' own programs under Program Files, by exact name: the folder and
// everything in it belong to Windows. A maker's folder that merely begins
// with "Windows" or "Microsoft" (WindowsPE Tools) is not among them.
constexpr std::wstring_view kWindowsProgramFolders[] = {L"ComPlus Applications",
                                                        L"Internet Explorer",
                                                        L"Messenger",
                                                        L"Microsoft",
                                                        L"Microsoft Games",
                                                        L"Microsoft.NET",
                                                        L"ModifiableWindowsApps",
                                                        L"Movie Maker",
                                                        L"MSBuild",
                                                        L"MSN Gaming Zone",
                                                        L"NetMeeting",
                                                        L"Online Services",
                                                        L"Outlook Express",
                                                        L"Reference Assemblies",
                                                        L"Uninstall Information",
                                                        L"Windows Calendar",
                                                        L"Windows Collaboration",
                                                        L"Windows Defender",
                                                        L"Windows Defender Advanced Threat Protection",
                                                        L"Windows Journal",
                                                        L"Windows Mail",
                                                        L"Windows Media Player",
                                                        L"Windows Multimedia Platform",
                                                        L"Windows NT",
                                                        L"Windows Photo Viewer",
                                                        L"Windows Portable Devices",
                                                        L"Windows Security",
                                                        L"Windows Sidebar",
                                                        L"WindowsApps",
                                                        L"WindowsPowerShell",
                                                        L"xerox"};
// Common Files is shared by every maker: the folder itself and the folders
// Windows keeps in it are refused, a maker's own folder in it installs.
constexpr std::wstring_view kCommonFiles = L"Common Files";
constexpr std::wstring_view kWindowsCommonFolders[] = {L"Microsoft Shared", L"Services", L"SpeechEngines", L"System"};

bool IsOneOf(std::wstring_view name, std::span<const std::wstring_view> names) {
  for (auto known : names) {
    if (EqualsNoCase(name, known)) return true;
  }
  return false;
}

std::wstring_view WithoutTrailingBackslashes(std::wstring_view path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.remove_suffix(1);
  return path;
}

}  // namespace

Subfolder CheckInstallSubfolder(std::wstring_view destination) {
  if (destination.empty() || destination.front() == L'\\' || destination.front() == L'/') {
    return Subfolder::kOutsideTheRoot;
  }
  if (destination.find(L':') != std::wstring_view::npos) return Subfolder::kOutsideTheRoot;
  std::wstring_view first;
  std::wstring_view second;
  std::size_t start = 0;
  while (start <= destination.size()) {
    std::size_t end = destination.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = destination.size();
    const std::wstring_view part = destination.substr(start, end - start);
    if (part == L"..") return Subfolder::kOutsideTheRoot;
    if (!part.empty() && part != L".") {
      if (first.empty()) {
        first = part;
      } else if (second.empty()) {
        second = part;
      }
    }
    start = end + 1;
  }
  // "." alone, or only separators, would be the install root itself.
  if (first.empty()) return Subfolder::kOutsideTheRoot;
  if (EqualsNoCase(first, kCommonFiles)) {
    return second.empty() || IsOneOf(second, kWindowsCommonFolders) ? Subfolder::kSharedByWindows : Subfolder::kSafe;
  }
  return IsOneOf(first, kWindowsProgramFolders) ? Subfolder::kSharedByWindows : Subfolder::kSafe;
}

Subfolder CheckAppendedSubfolder(std::wstring_view root, std::wstring_view value) {
  const auto made = shell::Append(root, value);
  if (!made) return Subfolder::kOutsideTheRoot;
  const std::wstring_view base = WithoutTrailingBackslashes(root);
  const std::wstring_view folder = WithoutTrailingBackslashes(*made);
  if (!PathIsInside(folder, base) || folder.size() <= base.size() + 1) return Subfolder::kOutsideTheRoot;
  return CheckInstallSubfolder(folder.substr(base.size() + 1));
}

std::wstring ReachedFolder(IFileSystem& files, std::wstring_view path) {
  // Each component without its closing dots and blanks.
  std::wstring normalized;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of(L"\\/", start);
    if (end == std::wstring_view::npos) end = path.size();
    std::wstring_view part = path.substr(start, end - start);
    if (part != L"." && part != L"..") {
      while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.remove_suffix(1);
    }
    if (start > 0) normalized += L'\\';
    normalized += part;
    start = end + 1;
  }
  // The longest part that exists, in its long form; what is not there yet
  // will be made under the names written.
  std::wstring existing = normalized;
  std::wstring rest;
  while (existing.size() > 3) {
    if (auto longForm = files.LongPath(existing)) return *longForm + rest;
    const std::size_t slash = existing.rfind(L'\\');
    if (slash == std::wstring::npos) break;
    rest = existing.substr(slash) + rest;
    existing.resize(slash);
  }
  return normalized;
}

bool IsSafeInstallSubfolder(std::wstring_view destination) {
  return CheckInstallSubfolder(destination) == Subfolder::kSafe;
}

bool PathIsInside(std::wstring_view inner, std::wstring_view outer) {
  inner = WithoutTrailingBackslashes(inner);
  outer = WithoutTrailingBackslashes(outer);
  if (outer.empty() || !StartsWithNoCase(inner, outer)) return false;
  return inner.size() == outer.size() || inner[outer.size()] == L'\\' || outer.back() == L'\\';
}

bool PathsOverlap(std::wstring_view a, std::wstring_view b) { return PathIsInside(a, b) || PathIsInside(b, a); }

int CAction::InstallDriver(std::wstring_view script, std::wstring_view section) {
  const Platform& p = platform();
  IProfile& profile = p.profile;
  const std::wstring& source = context.moduleDirectory;
  const auto root = InstallRoot(p);
  if (!root) return 0;
  // A closing separator ("VELTARO\\WLAN\\") names the same folder; without it the
  // INF paths built from it and the folder written to the registry are clean.
  const std::wstring destination(WithoutTrailingBackslashes(
      ReadScriptString(profile, script, section, L"DESTDIR", kRoomPath, kDefaultInstallFolder)));
  const auto installFolder = shell::Append(*root, destination);
  Subfolder kind = CheckInstallSubfolder(destination);
  // Judged again as the folder Windows reaches: COMMON~1 or "Common Files."
  // is Common Files.
  if (kind == Subfolder::kSafe && installFolder) {
    const std::wstring reached = ReachedFolder(p.files, *installFolder);
    const std::wstring base = ReachedFolder(p.files, *root);
    kind = PathIsInside(reached, base) && reached.size() > base.size() + 1
               ? CheckInstallSubfolder(std::wstring_view(reached).substr(base.size() + 1))
               : Subfolder::kOutsideTheRoot;
  }
  if (kind == Subfolder::kSharedByWindows) {
    trace.Trace(L"InstallDriver:Error DESTDIR=%s is a folder that Windows keeps under %s", destination, *root);
    return 0;
  }
  if (kind != Subfolder::kSafe || !installFolder) {
    trace.Trace(L"InstallDriver:Error DESTDIR=%s is not a folder under %s", destination, *root);
    return 0;
  }
  // The old install folder is deleted: it must not be the package itself,
  // hold it or lie in it, in the long form or the short one.
  bool overlaps = PathsOverlap(*installFolder, source);
  if (auto shortForm = p.system.ShortPath(*installFolder)) {
    overlaps = overlaps || PathsOverlap(*shortForm, source) ||
               (!context.shortModuleDirectory.empty() && PathsOverlap(*shortForm, context.shortModuleDirectory));
  }
  if (overlaps) {
    trace.Trace(L"InstallDriver:Error the install folder %s is, holds or lies in the tool's own folder %s",
                *installFolder, source);
    return 0;
  }
  // Emptied and filled through a link, the folder it points to would be.
  if (auto link = LinkOnPath(p.files, *installFolder, true)) {
    trace.Trace(L"InstallDriver:Error the install folder %s: the folder %s on its path is a link", *installFolder,
                *link);
    return 0;
  }
  DeleteDirectory(*installFolder);
  if (CopyFiles(source, *installFolder) == 0) {
    trace.Trace(L"Error CopyFiles");
    return 0;
  }

  const std::uint32_t devices = ReadScriptCount(profile, script, section, L"DEV", trace);
  const std::uint32_t infCopies = ReadScriptCount(profile, script, section, L"INFCOPY", trace);
  const auto refresh = static_cast<std::int32_t>(ReadScriptInt(profile, script, section, L"REFRESH"));
  bool updated = false;
  for (std::uint32_t n = 1; n <= devices; ++n) {
    const std::wstring id = ReadScriptString(profile, script, section, Format(L"DEV%d", n), kRoomLong);
    if (lookup.IsExistById(id) == 0) continue;
    const std::wstring inf = ReadScriptString(profile, script, section, Format(L"DEVINF%d", n), kRoomInfEntry);
    const auto infPath = shell::Append(*installFolder, inf);
    updated = true;
    const std::uint32_t e =
        infPath ? p.devices.UpdateDriver(id, *infPath, dev::kInstallFlagForce) : err::kFilenameExcedRange;
    if (e != err::kSuccess) {
      trace.Trace(L"Error UpdateDriverForPlugAndPlayDevices");
      // Which device, which INF and why, so that a failed update can be
      // told from a wrong path in the script.
      // SetupAPI's own codes (0xE0000235, ERROR_IN_WOW64) read as what they are only in hex.
      trace.Trace(L"UpdateDriverForPlugAndPlayDevices:Error %s ,%s ERROR=0x%08X", id,
                  infPath ? *infPath : *installFolder + L"\\" + inf, e);
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
