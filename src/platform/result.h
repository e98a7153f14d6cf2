// Values that cross the platform seam: a value or the Windows error code
// (the winerror.h number, the same from the simulated machine and the real one).
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

namespace tv {

using WinError = std::uint32_t;

// Error numbers the domain branches on. Named with a k prefix so that they do
// not collide with the macros of <windows.h> in the real platform layer.
namespace err {
inline constexpr WinError kSuccess = 0;
inline constexpr WinError kFileNotFound = 2;
inline constexpr WinError kPathNotFound = 3;
inline constexpr WinError kAccessDenied = 5;
inline constexpr WinError kInvalidHandle = 6;
inline constexpr WinError kSharingViolation = 32;
inline constexpr WinError kNotEnoughMemory = 8;
inline constexpr WinError kInvalidData = 13;
inline constexpr WinError kGenFailure = 31;
inline constexpr WinError kInvalidParameter = 87;
inline constexpr WinError kInsufficientBuffer = 122;
inline constexpr WinError kInvalidName = 123;
inline constexpr WinError kModNotFound = 126;
inline constexpr WinError kProcNotFound = 127;
inline constexpr WinError kBadPathname = 161;
inline constexpr WinError kBadExeFormat = 193;
inline constexpr WinError kAlreadyExists = 183;
inline constexpr WinError kMoreData = 234;
inline constexpr WinError kNoMoreItems = 259;
inline constexpr WinError kNotSupported = 50;
inline constexpr WinError kDirectoryInvalid = 267;
inline constexpr WinError kDirNotEmpty = 145;
inline constexpr WinError kNotAReparsePoint = 4390;
inline constexpr WinError kFileTooLarge = 223;
inline constexpr WinError kFilenameExcedRange = 206;
inline constexpr WinError kNoSuchDevinst = 0xE000020B;
// The user answered a dialog with Cancel.
inline constexpr WinError kCancelled = 1223;
inline constexpr WinError kNotDisableable = 0xE0000231;
// A 32-bit program asked 64-bit Windows for a device installation that only a 64-bit one may make.
inline constexpr WinError kInWow64 = 0xE0000235;
inline constexpr WinError kSuccessRebootRequired = 3010;
inline constexpr WinError kWaitTimeout = 258;
// Configuration manager codes.
inline constexpr WinError kCrInvalidDevnode = 0x05;
inline constexpr WinError kCrNoSuchDevnode = 0x0D;
inline constexpr WinError kCrCallNotImplemented = 0x34;
// WMI: the enumerator's answer when no object came within the time-out.
inline constexpr WinError kWbemTimedOut = 0x00040004;
inline constexpr WinError kWbemFailed = 0x80041001;
}  // namespace err

// A value, or the error that prevented it. No exceptions cross the seam.
template <class T>
class [[nodiscard]] Result {
 public:
  static Result Ok(T value) { return Result(std::move(value)); }
  static Result Fail(WinError error) { return Result(ErrorTag{}, error); }

  explicit operator bool() const { return value_.has_value(); }
  bool ok() const { return value_.has_value(); }
  WinError error() const { return error_; }

  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  explicit Result(T value) : value_(std::move(value)) {}
  struct ErrorTag {};
  Result(ErrorTag, WinError error) : error_(error == err::kSuccess ? err::kGenFailure : error) {}

  std::optional<T> value_;
  WinError error_ = err::kSuccess;
};

}  // namespace tv
