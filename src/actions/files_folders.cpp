#include "actions/action.h"
#include "platform/shell_path.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {

bool IsFolder(IFileSystem& files, std::wstring_view path) {
  auto attributes = files.Attributes(path);
  return attributes && (*attributes & file::kDirectory) != 0;
}

// A path one level down, or none when it would not fit its room: a longer
// path is never cut into another one that would then be copied or deleted.
std::optional<std::wstring> Child(std::wstring_view folder, std::wstring_view name) {
  std::wstring path = std::wstring(folder) + L"\\" + std::wstring(name);
  if (path.size() > kRoomPath) return std::nullopt;
  return path;
}

}  // namespace

std::optional<std::wstring> InstallRoot(const Platform& platform) {
  if (auto native = platform.system.Environment(L"ProgramW6432"); native && !native->empty()) {
    return CutTo(*native, kRoomPath);
  }
  if (auto folder = platform.system.ProgramFilesFolder()) return CutTo(*folder, kRoomPath);
  return std::nullopt;
}

int CAction::RemoveFiles(std::wstring_view script, std::wstring_view section) {
  IProfile& profile = platform().profile;
  IFileSystem& files = platform().files;
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"FILE");
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring path = ReadScriptString(profile, script, section, Format(L"FILE%d", n), kRoomLong);
    if (!files.Exists(path)) {
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
  const std::uint32_t count = ReadScriptCount(profile, script, section, L"FOLDER");
  trace.Trace(L"CopyFolders:Start");
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::wstring source = ReadScriptString(profile, script, section, Format(L"FOLDER%d_SRC", n), kRoomPath);
    const std::wstring value = ReadScriptString(profile, script, section, Format(L"FOLDER%d_DEST", n), kRoomPath);
    const auto destination = underInstallRoot ? shell::Append(root, value) : std::optional<std::wstring>(value);
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
  for (const auto& name : *entries) {
    if (name == L"." || name == L".." || EqualsNoCase(name, context.exeFileName)) continue;
    const auto from = Child(source, name);
    const auto to = Child(destination, name);
    if (!from || !to) {
      trace.Trace(L"CopyFiles:CopyFile %s ERROR=%d", std::wstring(destination) + L"\\" + name,
                  err::kFilenameExcedRange);
      return 0;
    }
    if (IsFolder(files, *from)) {
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
  for (const auto& name : *entries) {
    if (name == L"." || name == L"..") continue;
    const auto path = Child(folder, name);
    if (!path) {
      trace.Trace(L"DeleteDirectory:DeleteFile %s ERROR=%d", folder + L"\\" + name, err::kFilenameExcedRange);
      return 0;
    }
    if (IsFolder(files, *path)) {
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
