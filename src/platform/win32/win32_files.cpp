// Files and folders.
#include "platform/win32/win32_parts.h"

#include <aclapi.h>
#include <objbase.h>
#include <shlwapi.h>
#include <winternl.h>

#include <sddl.h>

#include <cwchar>

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

// ntdll's file calls, looked up once: the only way to make a folder and
// open it in one step, so that nothing can be put in its place in between.
struct NtFileCalls {
  using CreateFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);
  using SetInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
  using ToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
  NtFileCalls() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return;
    create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtCreateFile")));
    setInformation =
        reinterpret_cast<SetInformationFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSetInformationFile")));
    toDosError =
        reinterpret_cast<ToDosErrorFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError")));
  }
  bool Complete() const { return create && setInformation && toDosError; }
  CreateFn create = nullptr;
  SetInformationFn setInformation = nullptr;
  ToDosErrorFn toDosError = nullptr;
};

const NtFileCalls& NtCalls() {
  static const NtFileCalls calls;
  return calls;
}

// The folder is removed through its own handle (delete on close), never by a
// path that could lead somewhere else by then; the handle shares no delete,
// so that the folder can be neither renamed, moved nor replaced while held.
class PrivateFolder final : public IPrivateFolder {
 public:
  PrivateFolder(std::wstring path, unique_handle handle) : path_(std::move(path)), handle_(std::move(handle)) {}
  ~PrivateFolder() override { Remove(); }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::wstring& Path() const override { return path_; }
  WinError Remove() override {
    if (!handle_) return err::kSuccess;
    FILE_DISPOSITION_INFORMATION disposition = {TRUE};
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status =
        NtCalls().setInformation(handle_.get(), &io, &disposition, sizeof(disposition), FileDispositionInformation);
    handle_.reset();
    return status >= 0 ? err::kSuccess : static_cast<WinError>(NtCalls().toDosError(status));
  }

 private:
  std::wstring path_;
  unique_handle handle_;
};

// SYSTEM, Administrators and TrustedInstaller: who may change what the tool runs.
bool IsTrusted(PSID sid) {
  return SidIsOneOf(sid,
                    {L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"});
}

// Whether an allow entry that applies to the object itself grants anyone
// else a right that changes it, its content or its rights.
bool GrantsChangeToOthers(PACL dacl) {
  constexpr ACCESS_MASK kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                   FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                   GENERIC_ALL;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!::GetAce(dacl, i, &ace)) continue;
    const auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChanges) == 0) continue;
    if (!IsTrusted(const_cast<DWORD*>(&allowed->SidStart))) return true;
  }
  return false;
}

// "Tarnvale." and a random GUID: 122 bits no one can guess beforehand.
std::optional<std::wstring> UnguessableName() {
  GUID guid = {};
  if (FAILED(::CoCreateGuid(&guid))) return std::nullopt;
  wchar_t text[64] = {};
  std::swprintf(text, 64, L"Tarnvale.%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return std::wstring(text);
}

class Files final : public IFileSystem {
 public:
  Result<std::unique_ptr<IPrivateFolder>> CreatePrivateFolder(std::wstring_view parent) override {
    using R = Result<std::unique_ptr<IPrivateFolder>>;
    if (!NtCalls().Complete()) return R::Fail(err::kProcNotFound);
    const auto name = UnguessableName();
    if (!name) return R::Fail(err::kNotEnoughMemory);
    wchar_t full[MAX_PATH] = {};
    const DWORD n = ::GetFullPathNameW(Z(parent).c_str(), MAX_PATH, full, nullptr);
    if (n == 0) return R::Fail(static_cast<WinError>(::GetLastError()));
    if (n >= MAX_PATH) return R::Fail(err::kFilenameExcedRange);
    std::wstring folder(full, n);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    folder += *name;
    // The object manager's name of the path: \??\C:\... or \??\UNC\server\...
    std::wstring ntName = folder.starts_with(L"\\\\") ? L"\\??\\UNC\\" + folder.substr(2) : L"\\??\\" + folder;
    // SYSTEM and Administrators only, inherited by what is made in it; the
    // rights of TEMP above it do not reach in.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
      return R::Fail(static_cast<WinError>(::GetLastError()));
    }
    UNICODE_STRING unicodeName = {static_cast<USHORT>(ntName.size() * sizeof(wchar_t)),
                                  static_cast<USHORT>(ntName.size() * sizeof(wchar_t)), ntName.data()};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, nullptr, descriptor);
    IO_STATUS_BLOCK io = {};
    HANDLE handle = nullptr;
    constexpr ULONG kCreateNew = 0x00000002;         // FILE_CREATE: never one that was there before
    constexpr ULONG kDirectory = 0x00000001;         // FILE_DIRECTORY_FILE
    constexpr ULONG kSynchronous = 0x00000020;       // FILE_SYNCHRONOUS_IO_NONALERT
    constexpr ULONG kOpenReparsePoint = 0x00200000;  // FILE_OPEN_REPARSE_POINT
    const NTSTATUS status = NtCalls().create(&handle, FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE, &attributes, &io,
                                             nullptr, FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             kCreateNew, kDirectory | kSynchronous | kOpenReparsePoint, nullptr, 0);
    ::LocalFree(descriptor);
    if (status < 0) return R::Fail(static_cast<WinError>(NtCalls().toDosError(status)));
    return R::Ok(std::make_unique<PrivateFolder>(folder, unique_handle(handle)));
  }
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
  Result<bool> ChangeableByOthers(std::wstring_view path) override {
    using R = Result<bool>;
    const std::wstring p(path);
    // A volume without rights (FAT) lets everyone change everything.
    wchar_t volume[MAX_PATH] = {};
    DWORD flags = 0;
    if (::GetVolumePathNameW(p.c_str(), volume, MAX_PATH) &&
        ::GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
        (flags & FS_PERSISTENT_ACLS) == 0) {
      return R::Ok(true);
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD rc =
        ::GetNamedSecurityInfoW(p.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, &descriptor);
    if (rc != ERROR_SUCCESS) return R::Fail(static_cast<WinError>(rc));
    const bool changeable = dacl == nullptr || !IsTrusted(owner) || GrantsChangeToOthers(dacl);
    ::LocalFree(descriptor);
    return R::Ok(changeable);
  }
  Result<std::wstring> LongPath(std::wstring_view path) override {
    const std::wstring p(path);
    const DWORD needed = ::GetLongPathNameW(p.c_str(), nullptr, 0);
    if (needed == 0) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    std::wstring out(needed, L'\0');
    const DWORD n = ::GetLongPathNameW(p.c_str(), out.data(), needed);
    if (n == 0 || n >= needed) return Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
    out.resize(n);
    return Result<std::wstring>::Ok(out);
  }
  // The reparse data's print name (or, without one, its substitute name
  // without the \??\ in front), for a junction or a symbolic link.
  Result<std::wstring> LinkTarget(std::wstring_view path) override {
    using R = Result<std::wstring>;
    const HANDLE opened =
        ::CreateFileW(Z(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return R::Fail(static_cast<WinError>(::GetLastError()));
    unique_handle link(opened);
    std::vector<std::uint8_t> data(16 * 1024);
    DWORD bytes = 0;
    constexpr DWORD kGetReparsePoint = 0x000900A8;  // FSCTL_GET_REPARSE_POINT
    if (!::DeviceIoControl(link.get(), kGetReparsePoint, nullptr, 0, data.data(), static_cast<DWORD>(data.size()),
                           &bytes, nullptr)) {
      return R::Fail(static_cast<WinError>(::GetLastError()));
    }
    // REPARSE_DATA_BUFFER: tag, length, reserved; then the names' offsets and
    // lengths; a symbolic link has a flags field before its path buffer.
    auto word = [&](std::size_t at) -> std::size_t {
      return at + 2 <= bytes ? static_cast<std::size_t>(data[at] | (data[at + 1] << 8)) : 0;
    };
    if (bytes < 16) return R::Fail(err::kInvalidData);
    const std::uint32_t tag = static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                              (static_cast<std::uint32_t>(data[3]) << 24);
    std::size_t buffer = 0;
    if (tag == IO_REPARSE_TAG_MOUNT_POINT) {
      buffer = 16;
    } else if (tag == IO_REPARSE_TAG_SYMLINK) {
      buffer = 20;
    } else {
      return R::Fail(err::kNotAReparsePoint);
    }
    auto name = [&](std::size_t offset, std::size_t length) -> std::wstring {
      std::wstring text;
      for (std::size_t i = 0; i + 1 < length && buffer + offset + i + 1 < bytes; i += 2) {
        text += static_cast<wchar_t>(data[buffer + offset + i] | (data[buffer + offset + i + 1] << 8));
      }
      return text;
    };
    std::wstring target = name(word(12), word(14));
    if (target.empty()) {
      target = name(word(8), word(10));
      if (target.starts_with(L"\\??\\")) target.erase(0, 4);
    }
    return R::Ok(target);
  }
  Result<std::uint64_t> FileSize(std::wstring_view path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Z(path).c_str(), GetFileExInfoStandard, &data)) {
      return Result<std::uint64_t>::Fail(static_cast<WinError>(::GetLastError()));
    }
    return Result<std::uint64_t>::Ok((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }
  Result<std::vector<std::uint8_t>> ReadAll(std::wstring_view path, std::uint64_t maxBytes) override {
    using R = Result<std::vector<std::uint8_t>>;
    const HANDLE opened = ::CreateFileW(Z(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return R::Fail(static_cast<WinError>(::GetLastError()));
    unique_handle file(opened);
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> chunk(65536);
    for (;;) {
      DWORD read = 0;
      if (!::ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
        return R::Fail(static_cast<WinError>(::GetLastError()));  // part of a file is no content
      }
      if (read == 0) break;
      if (bytes.size() + read > maxBytes) return R::Fail(err::kFileTooLarge);
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + read);
    }
    return R::Ok(std::move(bytes));
  }
};

}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem() { return std::make_unique<Files>(); }

}  // namespace tv::win32
