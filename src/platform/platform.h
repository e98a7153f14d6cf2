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
  virtual Result<std::unique_ptr<IRegKey>> OpenSubKey(std::wstring_view path, std::uint32_t access) = 0;
};
using RegKeyPtr = std::unique_ptr<IRegKey>;

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // RegOpenKeyExW(root, path, 0, access); the access mask may carry a view flag.
  virtual Result<RegKeyPtr> OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) = 0;
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
  // IsWow64Process(GetCurrentProcess()).
  virtual Result<bool> IsWow64Process() = 0;
  virtual Result<std::unique_ptr<IKernel32>> LoadKernel32() = 0;
  virtual NamedMutex CreateNamedMutex(std::wstring_view name) = 0;
  virtual std::optional<std::wstring> Environment(std::wstring_view name) = 0;
  virtual void Pause(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t TickCount() = 0;
};

// ---- Debugger output -----------------------------------------------------------

class IDebugOutput {
 public:
  virtual ~IDebugOutput() = default;
  // OutputDebugStringW: one string, one debugger event.
  virtual void Write(std::wstring_view text) = 0;
};

// The whole seam, handed to every process-wide object when it is made.
struct Platform {
  IProfile& profile;
  IRegistry& registry;
  IProductInfo& product;
  ISystem& system;
  IDebugOutput& debug;
};

}  // namespace tv
