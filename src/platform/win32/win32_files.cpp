// Files and folders.
#include "platform/win32/win32_parts.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32/lazy_api.h"

namespace tv::win32 {

namespace {

class FileWriter final : public IFileWriter {
 public:
  explicit FileWriter(HANDLE file) : file_(file) {}
  WinError Write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      DWORD written = 0;
      if (!::WriteFile(file_.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
        return static_cast<WinError>(::GetLastError());
      }
      done += written;
    }
    return err::kSuccess;
  }
  WinError Close() override {
    if (!::FlushFileBuffers(file_.get())) return static_cast<WinError>(::GetLastError());
    file_.reset();
    return err::kSuccess;
  }

 private:
  unique_handle file_;
};

class Files final : public IFileSystem {
 public:
  bool Exists(std::wstring_view path) override {
    if (auto* exists = TV_LAZY(ShlwApi, PathFileExistsW)) return exists(Z(path).c_str()) != FALSE;
    // What PathFileExistsW asks, where shlwapi cannot be had.
    return ::GetFileAttributesW(Z(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  Result<std::unique_ptr<IFileWriter>> CreateNewFile(std::wstring_view path) override {
    const std::wstring p(path);
    ::DeleteFileW(p.c_str());
    // CREATE_NEW: if something is still there (it could not be deleted), fail
    // rather than write into a file that someone else prepared.
    HANDLE file = ::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return Result<std::unique_ptr<IFileWriter>>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::unique_ptr<IFileWriter>>::Ok(std::make_unique<FileWriter>(file));
  }
  WinError DeleteFile(std::wstring_view path) override {
    return ::DeleteFileW(Z(path).c_str()) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  Result<std::uint32_t> Attributes(std::wstring_view path) override {
    const DWORD attributes = ::GetFileAttributesW(Z(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return Result<std::uint32_t>::Fail(static_cast<WinError>(::GetLastError()));
    return Result<std::uint32_t>::Ok(attributes);
  }
  WinError SetAttributes(std::wstring_view path, std::uint32_t attributes) override {
    return ::SetFileAttributesW(Z(path).c_str(), attributes) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  Result<std::vector<FoundEntry>> Find(std::wstring_view pattern) override {
    WIN32_FIND_DATAW data = {};
    unique_hfind search(::FindFirstFileW(Z(pattern).c_str(), &data));
    if (!search) return Result<std::vector<FoundEntry>>::Fail(static_cast<WinError>(::GetLastError()));
    std::vector<FoundEntry> entries;
    do {
      entries.push_back(FoundEntry{data.cFileName, data.dwFileAttributes});
    } while (::FindNextFileW(search.get(), &data));
    return Result<std::vector<FoundEntry>>::Ok(std::move(entries));
  }
  WinError CreateDirectory(std::wstring_view path) override {
    return ::CreateDirectoryW(Z(path).c_str(), nullptr) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  WinError RemoveDirectory(std::wstring_view path) override {
    return ::RemoveDirectoryW(Z(path).c_str()) ? err::kSuccess : static_cast<WinError>(::GetLastError());
  }
  WinError CopyFile(std::wstring_view source, std::wstring_view destination) override {
    return ::CopyFileW(Z(source).c_str(), Z(destination).c_str(), FALSE) ? err::kSuccess
                                                                         : static_cast<WinError>(::GetLastError());
  }
  Result<std::uint64_t> FileSize(std::wstring_view path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Z(path).c_str(), GetFileExInfoStandard, &data)) {
      return Result<std::uint64_t>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::uint64_t>::Ok((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }
  Result<std::vector<std::uint8_t>> ReadAll(std::wstring_view path) override {
    using R = Result<std::vector<std::uint8_t>>;
    HANDLE file = ::CreateFileW(Z(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return R::Fail(static_cast<WinError>(::GetLastError()));
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
      bytes.insert(bytes.end(), chunk, chunk + read);
    ::CloseHandle(file);
    return R::Ok(std::move(bytes));
  }
};

}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem() { return std::make_unique<Files>(); }

}  // namespace tv::win32
