// The operations of the operating system that the tool calls, named for what
// the tool needs. The real implementation lives in platform/win32, the
// simulated machine in platform/sim; the domain sees only these interfaces.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace tv {

// ---- Private-profile (INI) reading ----------------------------------------

class IProfile {
 public:
  virtual ~IProfile() = default;
  // GetPrivateProfileStringW with a buffer of `bufferChars` characters: the
  // value (or the default when the key is missing), cut to bufferChars - 1.
  virtual std::wstring ReadString(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                                  std::wstring_view defaultValue, std::size_t bufferChars) = 0;
  // GetPrivateProfileIntW: the default when the key is missing or empty.
  virtual std::uint32_t ReadInt(std::wstring_view file, std::wstring_view section, std::wstring_view key,
                                std::int32_t defaultValue) = 0;
  // GetPrivateProfileSectionNamesW with a buffer of `bufferChars` characters:
  // the names that fit, in file order.
  virtual std::vector<std::wstring> ReadSectionNames(std::wstring_view file, std::size_t bufferChars) = 0;
};

// ---- Registry --------------------------------------------------------------

enum class RegRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers, kCurrentConfig };

namespace reg {
inline constexpr std::uint32_t kQueryValue = 0x0001;
inline constexpr std::uint32_t kSetValue = 0x0002;
inline constexpr std::uint32_t kCreateSubKey = 0x0004;
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kKeyWrite = 0x20006;
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kDelete = 0x10000;  // DELETE: the key itself may be deleted
// Registry-view flags, part of the access mask.
inline constexpr std::uint32_t kWow64_64Key = 0x0100;
inline constexpr std::uint32_t kWow64_32Key = 0x0200;

inline constexpr std::uint32_t kTypeNone = 0;
inline constexpr std::uint32_t kTypeSz = 1;
inline constexpr std::uint32_t kTypeExpandSz = 2;
inline constexpr std::uint32_t kTypeBinary = 3;
inline constexpr std::uint32_t kTypeDword = 4;
inline constexpr std::uint32_t kTypeMultiSz = 7;
inline constexpr std::uint32_t kTypeQword = 11;
}  // namespace reg

struct RegValue {
  std::uint32_t type = reg::kTypeNone;
  std::vector<std::uint8_t> data;
};

// An open registry key; closing it is destroying it.
class IRegKey {
 public:
  virtual ~IRegKey() = default;
  // RegQueryValueExW with a data room of `maxBytes`: kMoreData when the data
  // is longer, kFileNotFound when the value is missing.
  virtual Result<RegValue> QueryValue(std::wstring_view name, std::uint32_t maxBytes) = 0;
  virtual WinError SetValue(std::wstring_view name, std::uint32_t type, std::span<const std::uint8_t> data) = 0;
  // RegEnumKeyExW: the name of subkey `index`, or kNoMoreItems.
  virtual Result<std::wstring> EnumSubKey(std::uint32_t index) = 0;
  // RegEnumValueW: the name and data of value `index`, or kNoMoreItems.
  // Only a machine capture reads values it does not know by name.
  virtual Result<std::pair<std::wstring, RegValue>> EnumValue(std::uint32_t /*index*/) {
    return Result<std::pair<std::wstring, RegValue>>::Fail(err::kNotSupported);
  }
  virtual Result<std::unique_ptr<IRegKey>> OpenSubKey(std::wstring_view path, std::uint32_t access) = 0;
  // RegDeleteValueW: kFileNotFound when there is no such value.
  virtual WinError DeleteValue(std::wstring_view name) = 0;
  // RegDeleteKeyW of a subkey without subkeys of its own (kAccessDenied when it has some).
  virtual WinError DeleteSubKey(std::wstring_view name) = 0;
};
using RegKeyPtr = std::unique_ptr<IRegKey>;

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // RegOpenKeyExW(root, path, 0, access); the access mask may carry a view flag.
  virtual Result<RegKeyPtr> OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) = 0;
  // RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
  // nullptr, &key, nullptr): opens the key, made with the keys on its way if
  // it is not there.
  virtual Result<RegKeyPtr> CreateKey(RegRoot root, std::wstring_view path, std::uint32_t access) = 0;
};

// ---- WMI product values ------------------------------------------------------

class IProductInfo {
 public:
  virtual ~IProductInfo() = default;
  // String properties of the first Win32_ComputerSystemProduct instance, all
  // from one enumeration; one result per name, in the order asked. A value
  // whose ANSI form does not fit 259 bytes, or that is no string, fails.
  virtual std::vector<Result<std::wstring>> QueryComputerSystemProduct(std::span<const std::wstring> names) = 0;
};

// ---- System facts ------------------------------------------------------------

struct OsVersionRecord {
  std::uint32_t platformId = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

// The value that turning WOW64 file-system redirection off gives back.
using RedirectionValue = std::uintptr_t;

// Kernel32.dll as loaded by the tool, with the two WOW64 redirection entry
// points if it has them. Destroying it frees the library.
class IKernel32 {
 public:
  virtual ~IKernel32() = default;
  virtual bool HasDisableRedirection() const = 0;
  virtual bool HasRevertRedirection() const = 0;
  // Wow64DisableWow64FsRedirection: true on success.
  virtual bool DisableRedirection(RedirectionValue& oldValue) = 0;
  // Wow64RevertWow64FsRedirection.
  virtual bool RevertRedirection(RedirectionValue oldValue) = 0;
};

// A kernel object handle kept open; destroying it closes the handle.
class IKernelObject {
 public:
  virtual ~IKernelObject() = default;
};

struct NamedMutex {
  std::unique_ptr<IKernelObject> handle;  // none when creation failed
  WinError lastError = err::kSuccess;     // kAlreadyExists when another holds the name
  // When the name was taken (kAlreadyExists or kAccessDenied): whether an
  // administrator or LocalSystem made it, as the mutex's owner says. One this
  // process may not open counts as theirs unless this process is an
  // administrator itself, whom no copy of the tool denies.
  bool madeByAdministrators = false;
};

class ISystem {
 public:
  virtual ~ISystem() = default;
  // Steps before the tool's own work: window class, hidden main window.
  virtual bool CreateHiddenMainWindow() = 0;
  virtual std::wstring ModulePath() = 0;
  virtual Result<std::wstring> ShortPath(std::wstring_view path) = 0;
  virtual std::wstring CommandLine() = 0;
  virtual Result<OsVersionRecord> OsVersion() = 0;
  virtual std::uint16_t UiLanguage() = 0;
  // GetACP: the code page ANSI text is read in.
  virtual std::uint32_t AnsiCodePage() { return 1252; }
  // IsWow64Process(GetCurrentProcess()).
  virtual Result<bool> IsWow64Process() = 0;
  virtual Result<std::unique_ptr<IKernel32>> LoadKernel32() = 0;
  virtual NamedMutex CreateNamedMutex(std::wstring_view name) = 0;
  virtual std::optional<std::wstring> Environment(std::wstring_view name) = 0;
  virtual void Pause(std::uint32_t milliseconds) = 0;
  // SHGetFolderPathW(no window, CSIDL_PROGRAM_FILES, no token, 0).
  virtual Result<std::wstring> ProgramFilesFolder() = 0;
  // GetSystemDirectoryW: System32, also for the 32-bit tool on 64-bit Windows,
  // where redirection then leads its file operations to SysWOW64.
  virtual Result<std::wstring> SystemDirectory() = 0;
  // GetWindowsDirectoryW.
  virtual Result<std::wstring> WindowsDirectory() = 0;
  virtual std::uint32_t TickCount() = 0;
  // Whether a DLL of the system folder can be loaded, for a machine capture.
  virtual bool SystemDllLoads(std::wstring_view /*name*/) { return true; }
  // OpenMutexW: whether another program holds a mutex of this name, without
  // making one (kSuccess: it does; kFileNotFound: none; kAccessDenied: one
  // that this process may not open), and for one it opened, whether its
  // owner is Administrators or LocalSystem. For a machine capture.
  virtual WinError OpenNamedMutex(std::wstring_view /*name*/, bool* /*madeByAdministrators*/) {
    return err::kNotSupported;
  }
};

// ---- Files -------------------------------------------------------------------------

// A file being written; closing it is destroying it or calling Close.
class IFileWriter {
 public:
  virtual ~IFileWriter() = default;
  virtual WinError Write(std::span<const std::uint8_t> bytes) = 0;
  // Flushes and closes; the error of the last write that reached the disk.
  virtual WinError Close() = 0;
};

// A folder made fresh for one command's own files, under a name no one can
// guess beforehand, open to SYSTEM and Administrators only, and held open
// without delete sharing, so that it can be neither replaced nor moved while
// it is used. Destroying it lets go of it and removes it (it must be empty
// by then).
class IPrivateFolder {
 public:
  virtual ~IPrivateFolder() = default;
  virtual const std::wstring& Path() const = 0;
  // Lets go of the folder and removes it; the error when it stays.
  virtual WinError Remove() = 0;
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // A new private folder under `parent`; never one that was there before.
  virtual Result<std::unique_ptr<IPrivateFolder>> CreatePrivateFolder(std::wstring_view parent) = 0;
  // PathFileExistsW: a file or a folder.
  virtual bool Exists(std::wstring_view path) = 0;
  // A new, empty file: whatever lay at the path is deleted first, and the
  // file is created only if nothing is there then (never appended to).
  virtual Result<std::unique_ptr<IFileWriter>> CreateNewFile(std::wstring_view path) = 0;
  virtual WinError DeleteFile(std::wstring_view path) = 0;
  // GetFileAttributesW.
  virtual Result<std::uint32_t> Attributes(std::wstring_view path) = 0;
  virtual WinError SetAttributes(std::wstring_view path, std::uint32_t attributes) = 0;
  // FindFirstFileW / FindNextFileW over a pattern such as "C:\\dir\\*.*": the
  // entries in the order the search gives them, "." and ".." included, each
  // with the attributes the search data holds (as GetFileAttributesW gives
  // them, without a call per entry).
  struct FoundEntry {
    std::wstring name;
    std::uint32_t attributes = 0;
  };
  virtual Result<std::vector<FoundEntry>> Find(std::wstring_view pattern) = 0;
  virtual WinError CreateDirectory(std::wstring_view path) = 0;
  virtual WinError RemoveDirectory(std::wstring_view path) = 0;
  // CopyFileW(source, destination, FALSE): overwrites.
  virtual WinError CopyFile(std::wstring_view source, std::wstring_view destination) = 0;
  // Whether users who are no administrators may change the file or folder:
  // write or add to it, delete it, or change its rights or owner (its DACL
  // grants one of those to someone other than SYSTEM, Administrators or
  // TrustedInstaller, or its owner is someone else). True on a volume that
  // keeps no rights (FAT).
  virtual Result<bool> ChangeableByOthers(std::wstring_view /*path*/) { return Result<bool>::Fail(err::kNotSupported); }
  // GetLongPathNameW: the path of something that exists with each component
  // in its long form (an 8.3 alias such as COMMON~1 as the name it stands for).
  virtual Result<std::wstring> LongPath(std::wstring_view /*path*/) {
    return Result<std::wstring>::Fail(err::kNotSupported);
  }
  // Where a junction or a symbolic link points, for a machine capture.
  virtual Result<std::wstring> LinkTarget(std::wstring_view /*path*/) {
    return Result<std::wstring>::Fail(err::kNotSupported);
  }
  // A file's size and whole content, for a machine capture.
  virtual Result<std::uint64_t> FileSize(std::wstring_view /*path*/) {
    return Result<std::uint64_t>::Fail(err::kNotSupported);
  }
  // kFileTooLarge past `maxBytes`; a read that fails fails the whole.
  virtual Result<std::vector<std::uint8_t>> ReadAll(std::wstring_view /*path*/, std::uint64_t /*maxBytes*/) {
    return Result<std::vector<std::uint8_t>>::Fail(err::kNotSupported);
  }
};

namespace file {
inline constexpr std::uint32_t kReadOnly = 0x01;
inline constexpr std::uint32_t kHidden = 0x02;
inline constexpr std::uint32_t kSystem = 0x04;
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;
// A junction, a symbolic link or another reparse point.
inline constexpr std::uint32_t kReparsePoint = 0x400;
}  // namespace file

// ---- Processes ---------------------------------------------------------------------

namespace process {
inline constexpr std::uint32_t kCreateNoWindow = 0x08000000;
}

// A started program; destroying it closes its process and thread handles.
class IProcess {
 public:
  virtual ~IProcess() = default;
  // WaitForSingleObject(process, INFINITE).
  virtual void WaitForExit() = 0;
  // GetExitCodeProcess, after the process ended.
  virtual Result<std::uint32_t> ExitCode() = 0;
};

// A process opened with PROCESS_TERMINATE.
class ITerminableProcess {
 public:
  virtual ~ITerminableProcess() = default;
  // TerminateProcess(process, exitCode): true on success.
  virtual bool Terminate(std::uint32_t exitCode) = 0;
};

// A process opened once by its ID. Its name is read and it is ended through
// this one handle: while the handle is open Windows gives the ID to no other
// process, so what is ended is what was named.
class IOpenedProcess {
 public:
  virtual ~IOpenedProcess() = default;
  // The base name of its first module, when its modules can be read.
  virtual std::optional<std::wstring> FirstModuleBaseName() = 0;
  // Whether the handle carries the right to end the process.
  virtual bool MayTerminate() const = 0;
  // TerminateProcess(handle, exitCode): true on success.
  virtual bool Terminate(std::uint32_t exitCode) = 0;
};

// PSAPI.DLL loaded at run time.
class IPsapi {
 public:
  virtual ~IPsapi() = default;
  // EnumProcesses, EnumProcessModules and GetModuleBaseNameW were all found.
  virtual bool HasFunctions() const = 0;
  // EnumProcesses into room for `capacity` identifiers; a list that fills
  // the room may have been cut.
  virtual Result<std::vector<std::uint32_t>> EnumProcesses(std::size_t capacity) = 0;
  // OpenProcess for query, read and terminate access, or, where ending it
  // is denied, for query and read access only.
  virtual Result<std::unique_ptr<IOpenedProcess>> Open(std::uint32_t processId) = 0;
};

// The toolhelp functions of Kernel32.DLL, loaded at run time.
class IToolhelp {
 public:
  virtual ~IToolhelp() = default;
  // CreateToolhelp32Snapshot, Process32First/Next, Module32First/Next were all found.
  virtual bool HasFunctions() const = 0;
  virtual Result<std::vector<std::uint32_t>> SnapshotProcesses() = 0;
  // The module names of one process as its snapshot reports them.
  virtual Result<std::vector<std::wstring>> SnapshotModules(std::uint32_t processId) = 0;
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // CreateProcessW with no application name, handles not inherited, the
  // tool's environment, and `currentDirectory` (empty: the tool's own).
  virtual Result<std::unique_ptr<IProcess>> Create(std::wstring_view commandLine, std::uint32_t creationFlags,
                                                   std::wstring_view currentDirectory) = 0;
  virtual Result<std::unique_ptr<IPsapi>> LoadPsapi() = 0;
  virtual Result<std::unique_ptr<IToolhelp>> LoadToolhelp() = 0;
  // OpenProcess(PROCESS_TERMINATE), for the older family, whose toolhelp walk
  // reads names without a handle.
  virtual Result<std::unique_ptr<ITerminableProcess>> OpenForTermination(std::uint32_t processId) = 0;
};

// ---- Device installer ------------------------------------------------------------

namespace dev {
inline constexpr std::uint32_t kDigcfPresent = 0x2;
inline constexpr std::uint32_t kDigcfAllClasses = 0x4;
inline constexpr std::uint32_t kDifRemove = 0x05;
inline constexpr std::uint32_t kDifPropertyChange = 0x12;
inline constexpr std::uint32_t kDicsEnable = 1;
inline constexpr std::uint32_t kDicsDisable = 2;
inline constexpr std::uint32_t kDicsFlagGlobal = 1;
inline constexpr std::uint32_t kDicsFlagConfigSpecific = 2;
inline constexpr std::uint32_t kDiNeedRestart = 0x80;
inline constexpr std::uint32_t kDiNeedReboot = 0x100;
inline constexpr std::uint32_t kDnHasProblem = 0x400;
inline constexpr std::uint32_t kDnDisableable = 0x2000;
inline constexpr std::uint32_t kProblemDisabled = 22;
inline constexpr std::uint32_t kCrSuccess = 0;
inline constexpr std::uint32_t kCrCallNotImplemented = 0x34;
}  // namespace dev

struct DevNodeStatus {
  std::uint32_t status = 0;
  std::uint32_t problem = 0;
};

// A device information set; destroying it is SetupDiDestroyDeviceInfoList.
// Devices are named by their index in the set.
class IDeviceSet {
 public:
  virtual ~IDeviceSet() = default;
  // SetupDiGetDeviceInfoListDetailW: only success counts.
  virtual bool ListDetail() = 0;
  // SetupDiEnumDeviceInfo: kSuccess while there is a device at `index`,
  // kNoMoreItems past the last.
  virtual WinError Enum(std::uint32_t index) = 0;
  // SPDRP_HARDWAREID: most specific first; kInvalidData when the device has none.
  virtual Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) = 0;
  // SetupDiGetDeviceInstanceIdW: the name that finds the device again in another set.
  virtual Result<std::wstring> InstanceId(std::uint32_t index) = 0;
  // SPDRP_DRIVER: the driver key name under the Class key.
  virtual Result<std::wstring> DriverKey(std::uint32_t index) = 0;
  // SPDRP_COMPATIBLEIDS, for a machine capture: kInvalidData when it has none.
  virtual Result<std::vector<std::wstring>> CompatibleIds(std::uint32_t /*index*/) {
    return Result<std::vector<std::wstring>>::Fail(err::kNotSupported);
  }
  // SPDRP_CLASSGUID and SPDRP_ENUMERATOR_NAME, for a machine capture.
  virtual Result<std::wstring> ClassGuid(std::uint32_t /*index*/) {
    return Result<std::wstring>::Fail(err::kNotSupported);
  }
  virtual Result<std::wstring> Enumerator(std::uint32_t /*index*/) {
    return Result<std::wstring>::Fail(err::kNotSupported);
  }
  // SetupDiSetClassInstallParamsW with property-change parameters.
  virtual WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope,
                                     std::uint32_t hardwareProfile) = 0;
  // SetupDiCallClassInstaller.
  virtual WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) = 0;
  // The Flags of SetupDiGetDeviceInstallParamsW.
  virtual Result<std::uint32_t> InstallFlags(std::uint32_t index) = 0;
  // CM_Get_DevNode_Status; the error is the configuration manager's code.
  virtual Result<DevNodeStatus> Status(std::uint32_t index) = 0;
};

using DevInst = std::uint32_t;

class IDevices {
 public:
  virtual ~IDevices() = default;
  // SetupDiGetClassDevsW(class or none, enumerator or none, no window, flags).
  virtual Result<std::unique_ptr<IDeviceSet>> ClassDevs(std::wstring_view classGuid, std::wstring_view enumerator,
                                                        std::uint32_t flags) = 0;
  // SetupDiGetClassDevsExW(none, none, no window, DIGCF_PRESENT | DIGCF_ALLCLASSES, no set, local machine).
  virtual Result<std::unique_ptr<IDeviceSet>> AllPresentDevices() = 0;
  // CM_Locate_DevNodeW(no device ID, normal): the root of the tree; the error is a CR code.
  virtual Result<DevInst> LocateRoot() = 0;
  // CM_Reenumerate_DevNode(node, normal): a CR code.
  virtual std::uint32_t Reenumerate(DevInst node) = 0;
  // UpdateDriverForPlugAndPlayDevicesW(no window, hardware ID, INF, flags, no reboot out-value).
  virtual WinError UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath, std::uint32_t flags) = 0;
  // CMP_WaitNoPendingInstallEvents(INFINITE): 0 when nothing is pending any more.
  virtual std::uint32_t WaitNoPendingInstallEvents() = 0;
  // SetupCopyOEMInfW(INF, media location, SPOST_PATH, copy style 0, no name out).
  virtual WinError CopyOemInf(std::wstring_view infPath, std::wstring_view mediaLocation) = 0;
};

namespace dev {
inline constexpr std::uint32_t kInstallFlagForce = 0x1;
}

// ---- Debugger output -----------------------------------------------------------

class IDebugOutput {
 public:
  virtual ~IDebugOutput() = default;
  // OutputDebugStringW: one string, one debugger event.
  virtual void Write(std::wstring_view text) = 0;
  // A listener that is given every trace message, with the debug switch on
  // or off (a simulated run's summary); Windows has none.
  virtual bool ListensToEveryMessage() const { return false; }
  virtual void Message(std::wstring_view /*message*/) {}
  // A run event (runtime/run_events.h) for a watcher of the run that asked
  // for them; dropped when none did.
  virtual void RunEvent(std::wstring_view /*event*/) {}
};

// The whole seam, handed to every process-wide object when it is made.
struct Platform {
  IProfile& profile;
  IRegistry& registry;
  IProductInfo& product;
  ISystem& system;
  IDebugOutput& debug;
  IFileSystem& files;
  IProcesses& processes;
  IDevices& devices;
};

}  // namespace tv
