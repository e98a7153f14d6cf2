// The runner's log file: entries appended in CMTrace's format, UTF-8 with a
// byte-order mark; at 1 MB the file becomes <name>.lo_ (one older log kept,
// as the deployment tools' own logs do) and a new one is begun.
#pragma once

#include <windows.h>

#include <string>

#include "run/cmtrace_format.h"

namespace tv::run {

class CmtraceLog {
 public:
  CmtraceLog(std::wstring path, std::wstring component) : path_(std::move(path)), component_(std::move(component)) {
    Open();
  }
  ~CmtraceLog() {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  CmtraceLog(const CmtraceLog&) = delete;
  CmtraceLog& operator=(const CmtraceLog&) = delete;

  bool ok() const { return file_ != INVALID_HANDLE_VALUE; }
  DWORD error() const { return error_; }

  // `runner`: an entry of tarnvale-run's own, not a line of the tool's trace.
  void Entry(const std::wstring& text, int type, DWORD thread, bool runner = false) {
    if (!ok()) return;
    const std::string entry = CmtraceEntry(text, runner ? L"tarnvale-run" : component_, type, thread, Now());
    if (size_ > 3 && size_ + entry.size() > kLogRotateBytes) Rotate();
    Write(entry);
  }

 private:
  static LogTime Now() {
    SYSTEMTIME local = {};
    ::GetLocalTime(&local);
    TIME_ZONE_INFORMATION zone = {};
    const DWORD which = ::GetTimeZoneInformation(&zone);
    LONG bias = zone.Bias;
    if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    return LogTime{local.wYear,   local.wMonth,  local.wDay,          local.wHour,
                   local.wMinute, local.wSecond, local.wMilliseconds, static_cast<int>(bias)};
  }

  void Open() {
    file_ = ::CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      error_ = ::GetLastError();
      return;
    }
    LARGE_INTEGER size = {};
    ::GetFileSizeEx(file_, &size);
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    if (size_ >= kLogRotateBytes) {
      Rotate();
    } else if (size_ == 0) {
      Write("\xEF\xBB\xBF");
    }
  }

  void Rotate() {
    ::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    const std::wstring old = path_.substr(0, path_.size() - (path_.ends_with(L".log") ? 4 : 0)) + L".lo_";
    ::MoveFileExW(path_.c_str(), old.c_str(), MOVEFILE_REPLACE_EXISTING);
    file_ = ::CreateFileW(path_.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      error_ = ::GetLastError();
      return;
    }
    size_ = 0;
    Write("\xEF\xBB\xBF");
  }

  void Write(const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    size_ += written;
  }

  std::wstring path_;
  std::wstring component_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  DWORD error_ = 0;
  std::uint64_t size_ = 0;
};

}  // namespace tv::run
