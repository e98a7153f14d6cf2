// The action object: what the commands do to processes, the registry, files
// and drivers. Each family of actions lives in a file of its own beside this
// one; the keywords that call them are in script/.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "devices/dev_lookup.h"
#include "runtime/debug_trace.h"
#include "runtime/run_context.h"

namespace tv {

class CAction {
 public:
  explicit CAction(const Platform& platform)
      : trace(platform), context(platform), lookup(platform), platform_(platform) {}

  // Starts the programs that a command section lists (CMD_CP and its variants).
  int CreateProcessFromIni(std::wstring_view script, std::wstring_view section, std::wstring_view variant,
                           std::wstring_view arguments);
  // Registry entries of a command section through StaticAddDel.inf.
  int AddDelRegFromIni(std::wstring_view script, std::wstring_view section, std::wstring_view variant);
  // Registry entries under a device's driver key through DriverAddDel.inf.
  int DriverAddDelRegFromInf(std::wstring_view script, std::wstring_view section, std::wstring_view driverKeyPath);
  // The entries of a section under the driver key of the first present device with that hardware ID.
  int DriverRegRoutine(std::wstring_view script, std::wstring_view section, std::wstring_view hardwareId);
  // Imports a registry file with the registry editor.
  int AddRegFromRegFile(std::wstring_view path);
  // Ends the first running process of that executable name; a termination result.
  int TerminateProcessByName(std::wstring_view name);
  // Removes the devices that a command section lists by hardware ID.
  int RemoveDriver(std::wstring_view script, std::wstring_view section);
  // Re-enumerates the device tree; with force 0 only when none of the listed devices is present.
  int ScanDevice(std::wstring_view script, std::wstring_view section, int force);
  // Deletes the files that a command section lists.
  int RemoveFiles(std::wstring_view script, std::wstring_view section);
  // Copies the folder trees that a command section lists.
  int CopyFolders(std::wstring_view script, std::wstring_view section);
  // Copies one folder tree into a folder, which is made with its parents.
  int CopyFiles(std::wstring_view source, std::wstring_view destination);
  // Deletes one folder tree, clearing file attributes first.
  int DeleteDirectory(std::wstring_view folder);
  // Places the driver package under Program Files and updates or stages the drivers.
  int InstallDriver(std::wstring_view script, std::wstring_view section);

  CDebugTrace trace;
  CRunContext context;
  CDevLookup lookup;

 private:
  const Platform& platform() const { return platform_; }
  Platform platform_;
};

// The native Program Files folder: on 64-bit Windows the one Windows keeps as
// ProgramW6432Dir (or sets as ProgramW6432), else the shell's Program Files
// folder; none when neither can be had.
std::optional<std::wstring> InstallRoot(const Platform& platform);

// The first folder on `path` below its drive root (or its share) that is a
// link, a junction or a symbolic link, down to the parent of the last
// component, or to the last itself with `lastToo`: what is deleted or written
// through it lands in the folder it points to. Any user may make a folder at
// the root of a drive and turn it into a junction. None when the path has no
// link, or leads to folders that are not there (they will be made real).
std::optional<std::wstring> LinkOnPath(IFileSystem& files, std::wstring_view path, bool lastToo);

// The current folder of a program the tool starts for itself (rundll32,
// regedit): the system folder, so that nothing of the package folder is
// searched for what it loads; empty (the tool's own) when it cannot be had.
inline std::wstring SystemProgramFolder(ISystem& system) {
  auto folder = system.SystemDirectory();
  return folder ? *folder : std::wstring();
}
// On 64-bit Windows, its native Program Files folder as Windows keeps or
// sets it (ProgramW6432Dir, ProgramW6432); none where neither is there.
std::optional<std::wstring> NativeProgramFilesOf64BitWindows(const Platform& platform);

// INSTALL_DRIVER's install folder under the install root when DESTDIR is not given.
inline constexpr std::wstring_view kDefaultInstallFolder = L"VELTARO\\NetworkDriver";

// A program path on a command line: quoted when it holds a blank, so that the
// search for the program cannot stop at the blank and start another file.
std::wstring QuotedIfBlank(std::wstring_view path);

}  // namespace tv
