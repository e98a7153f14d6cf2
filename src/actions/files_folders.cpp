#include "actions/action.h"
#include "actions/driver_install.h"
#include "platform/shell_path.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {

enum class EntryKind { kFile, kFolder, kLink };

// A folder that is a junction or a symbolic link is a link: a walk never
// goes into it, for what it holds belongs to another folder. The attributes
// are the search's, so no entry costs a call of its own.
EntryKind KindOf(const IFileSystem::FoundEntry& entry) {
  if ((entry.attributes & file::kDirectory) == 0) return EntryKind::kFile;
  return (entry.attributes & file::kReparsePoint) != 0 ? EntryKind::kLink : EntryKind::kFolder;
}

// A path one level down, or none when it would not fit its room: a longer
// path is never cut into another one that would then be copied or deleted.
std::optional<std::wstring> Child(std::wstring_view folder, std::wstring_view name) {
  std::wstring path = std::wstring(folder) + L"\\" + std::wstring(name);
  if (path.size() > kRoomPath) return std::nullopt;
  return path;
}

}  // namespace

std::optional<std::wstring> NativeProgramFilesOf64BitWindows(const Platform& platform) {
  // The value Windows keeps for it (from Windows 7 on), in the 64-bit view;
  // the environment variable that Windows makes from it where that is absent.
  constexpr std::wstring_view kCurrentVersion = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  if (auto key =
          platform.registry.OpenKey(RegRoot::kLocalMachine, kCurrentVersion, reg::kKeyRead | reg::kWow64_64Key)) {
    auto value = (*key)->QueryValue(L"ProgramW6432Dir", static_cast<std::uint32_t>(BufferFor(kRoomPath) * 2));
    if (value && value->type == reg::kTypeSz) {
      const std::wstring folder = StringFromRegistryData(value->data);
      if (!folder.empty()) return folder;
    }
  }
  if (auto native = platform.system.Environment(L"ProgramW6432"); native && !native->empty()) {
    return CutTo(*native, kRoomPath);
  }
  return std::nullopt;
}

std::optional<std::wstring> InstallRoot(const Platform& platform) {
  // Only 64-bit Windows has a native Program Files folder apart from the one
  // the shell gives a 32-bit program; 32-bit Windows never sets ProgramW6432,
  // so one found there was set by someone else.
  if (auto wow64 = platform.system.IsWow64Process(); wow64 && *wow64) {
    if (auto native = NativeProgramFilesOf64BitWindows(platform)) return native;
  }
  if (auto folder = platform.system.ProgramFilesFolder()) return CutTo(*folder, kRoomPath);
  return std::nullopt;
}

std::optional<std::wstring> LinkOnPath(IFileSystem& files, std::wstring_view path, bool lastToo) {
  std::wstring_view whole = path;
  while (whole.size() > 3 && (whole.back() == L'\\' || whole.back() == L'/')) whole.remove_suffix(1);
  // The first element (the drive, or \\server\share) is the root; a relative
  // path is judged from its first component on.
  std::size_t start = 0;
  if (whole.starts_with(L"\\\\")) {
    start = whole.find(L'\\', 2);
    start = start == std::wstring_view::npos ? whole.size() : whole.find(L'\\', start + 1);
  } else if (whole.size() >= 2 && whole[1] == L':') {
    start = whole.find_first_of(L"\\/");
  } else {
    start = whole.find_first_of(L"\\/");
    if (start != std::wstring_view::npos) {
      const std::wstring_view first = whole.substr(0, start);
      if (auto a = files.Attributes(first); a && (*a & file::kReparsePoint) != 0) return std::wstring(first);
    }
  }
  while (start != std::wstring_view::npos && start < whole.size()) {
    const std::size_t next = whole.find_first_of(L"\\/", start + 1);
    if (next == std::wstring_view::npos && !lastToo) break;
    const std::wstring_view prefix = whole.substr(0, next);
    if (prefix.size() > start + 1) {
      auto attributes = files.Attributes(prefix);
      if (!attributes) return std::nullopt;  // not there: nothing below it is either
      if ((*attributes & file::kReparsePoint) != 0) return std::wstring(prefix);
    }
    start = next;
  }
  return std::nullopt;
}

int CAction::RemoveFiles(std::wstring_view script, std::wstring_view section) {
  IProfile& profile = platform().profile;
  IFileSystem& files = platform().files;
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"FILE", trace);
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring path = ReadScriptString(profile, script, section, Format(L"FILE%d", n), kRoomLong);
    if (auto link = LinkOnPath(files, path, false)) {
      trace.Trace(L"Skip File %s: the folder %s on its path is a link", path, *link);
    } else if (!files.Exists(path)) {
      trace.Trace(L"Can not find File %s", path);
    } else if (files.DeleteFile(path) == err::kSuccess) {
      trace.Trace(L"Delete File %s", path);
    } else {
      trace.Trace(L"Error Delete File %s", path);
    }
  }
  return 1;
}

int CAction::CopyFolders(std::wstring_view script, std::wstring_view section) {
  IProfile& profile = platform().profile;
  const bool underInstallRoot = ReadScriptInt(profile, script, section, L"DEST_IS_PROGRAMFOLDER") != 0;
  std::wstring root;
  if (underInstallRoot) {
    auto found = InstallRoot(platform());
    if (!found) return 0;
    root = *found;
  }
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"FOLDER", trace);
  trace.Trace(L"CopyFolders:Start");
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring source = ReadScriptString(profile, script, section, Format(L"FOLDER%d_SRC", n), kRoomPath);
    const std::wstring value = ReadScriptString(profile, script, section, Format(L"FOLDER%d_DEST", n), kRoomPath);
    auto destination = underInstallRoot ? shell::Append(root, value) : std::optional<std::wstring>(value);
    // A destination under the install root stays under it, judged as the
    // folder the copy goes to. Unlike the install folder nothing is emptied,
    // so a folder that Windows keeps there may receive files.
    if (underInstallRoot && !value.empty() && CheckAppendedSubfolder(root, value) == Subfolder::kOutsideTheRoot) {
      trace.Trace(L"CopyFolders:Error FOLDER%d_DEST=%s is not a folder under %s", n, value, root);
      destination.reset();
    }
    // Written through a link, the copy would land wherever it points.
    if (destination) {
      if (auto link = LinkOnPath(platform().files, *destination, true)) {
        trace.Trace(L"CopyFolders:Error FOLDER%d_DEST=%s: the folder %s on its path is a link", n, value, *link);
        destination.reset();
      }
    }
    // A folder copied into itself would copy its own copy again, level by level.
    if (destination && !source.empty() && PathIsInside(*destination, source)) {
      trace.Trace(L"CopyFolders:Error FOLDER%d_DEST=%s lies in its source %s", n, *destination, source);
      destination.reset();
    }
    // An empty source would copy the root of the current drive; an empty
    // destination names no folder at all.
    const bool usable = !source.empty() && !value.empty() && destination.has_value();
    if (usable && CopyFiles(source, *destination) != 0) {
      trace.Trace(L"Success CopyFolders %s->%s", source, *destination);
    } else {
      trace.Trace(L"Error CopyFolders %s->%s", source, destination.value_or(root + L"\\" + value));
    }
  }
  trace.Trace(L"CopyFolders:End");
  return 1;
}

int CAction::CopyFiles(std::wstring_view source, std::wstring_view destination) {
  IFileSystem& files = platform().files;
  if (destination.size() > kRoomPath) {
    trace.Trace(L"CopyFiles:CreateDirectory ERROR=%d", err::kFilenameExcedRange);
    return 0;
  }
  if (!files.Exists(destination)) {
    // Make each missing folder from the top; the first element (the drive,
    // or \\server\share) is never made.
    std::size_t start = 0;
    if (destination.starts_with(L"\\\\")) {
      start = destination.find(L'\\', 2);
      start = start == std::wstring_view::npos ? destination.size() : destination.find(L'\\', start + 1);
    } else {
      start = destination.find(L'\\');
    }
    while (start != std::wstring_view::npos && start < destination.size()) {
      const std::size_t next = destination.find(L'\\', start + 1);
      const std::wstring_view path = destination.substr(0, next);
      if (path.size() > start + 1 && !files.Exists(path)) {
        const WinError e = files.CreateDirectory(path);
        if (e != err::kSuccess) {
          trace.Trace(L"CopyFiles:CreateDirectory ERROR=%d", e);
          return 0;
        }
      }
      start = next;
    }
  }
  auto entries = files.Find(std::wstring(source) + L"\\*.*");
  if (!entries) {
    trace.Trace(L"CopyFiles:FindFirstFile ERROR=InvalidHandle");
    return 0;
  }
  for (const auto& entry : *entries) {
    const std::wstring& name = entry.name;
    if (name == L"." || name == L".." || EqualsNoCase(name, context.exeFileName)) continue;
    const auto from = Child(source, name);
    const auto to = Child(destination, name);
    if (!from || !to) {
      trace.Trace(L"CopyFiles:CopyFile %s ERROR=%d", std::wstring(destination) + L"\\" + name,
                  err::kFilenameExcedRange);
      return 0;
    }
    const EntryKind kind = KindOf(entry);
    if (kind == EntryKind::kLink) {
      trace.Trace(L"CopyFiles:Skip link %s", *from);
      continue;
    }
    if (kind == EntryKind::kFolder) {
      if (CopyFiles(*from, *to) == 0) return 0;
      continue;
    }
    const WinError e = files.CopyFile(*from, *to);
    if (e != err::kSuccess) {
      trace.Trace(L"CopyFiles:CopyFile %s ERROR=%d", *to, e);
      return 0;
    }
  }
  return 1;
}

int CAction::DeleteDirectory(std::wstring_view folderPath) {
  IFileSystem& files = platform().files;
  std::wstring folder(folderPath);
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  auto entries = files.Find(folder + L"\\*.*");
  if (!entries) {
    trace.Trace(L"DeleteDirectory:FindFirstFile ERROR=InvalidHandle");
    return 0;
  }
  for (const auto& entry : *entries) {
    const std::wstring& name = entry.name;
    if (name == L"." || name == L"..") continue;
    const auto path = Child(folder, name);
    if (!path) {
      trace.Trace(L"DeleteDirectory:DeleteFile %s ERROR=%d", folder + L"\\" + name, err::kFilenameExcedRange);
      return 0;
    }
    const EntryKind kind = KindOf(entry);
    if (kind == EntryKind::kLink) {
      // Removing the link leaves what it points to as it is.
      const WinError e = files.RemoveDirectory(*path);
      if (e != err::kSuccess) {
        trace.Trace(L"DeleteDirectory:RemoveDirectory %s ERROR=%d", *path, e);
        return 0;
      }
      trace.Trace(L"DeleteDirectory:Remove link %s", *path);
      continue;
    }
    if (kind == EntryKind::kFolder) {
      if (DeleteDirectory(*path) == 0) return 0;
      continue;
    }
    files.SetAttributes(*path, file::kNormal);
    const WinError e = files.DeleteFile(*path);
    if (e != err::kSuccess) {
      trace.Trace(L"DeleteDirectory:DeleteFile %s ERROR=%d", *path, e);
      return 0;
    }
  }
  files.RemoveDirectory(folder);
  return 1;
}

}  // namespace tv
