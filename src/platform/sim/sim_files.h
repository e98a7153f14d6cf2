// The simulated file system: drive-letter paths with backslashes and
// case-insensitive names. Each file carries a change stamp, so a reader can
// tell when a file was written since it last looked.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

namespace tv::sim {

// What a file holds: bytes in memory, or a file of the host that is read
// only when something reads the simulated file (a driver package of hundreds
// of megabytes is copied, not read). Copies share it; a write replaces it.
struct SimFileContent {
  std::uint64_t size = 0;
  std::vector<std::uint8_t> bytes;
  std::string hostPath;  // not empty: the content is this host file's (UTF-8)
};

class SimFileSystem {
 public:
  // Seeding: writes a file, creating the folders above it.
  void WriteFile(std::wstring_view path, std::span<const std::uint8_t> bytes);
  void WriteFile(std::wstring_view path, std::string_view bytes);
  // A file whose content is the host file at `hostPath`, of `size` bytes,
  // read from the host when the file is read.
  void WriteHostFile(std::wstring_view path, const std::string& hostPath, std::uint64_t size);
  void CreateDirectories(std::wstring_view path);
  // A junction or directory symbolic link at `link` that points to `target`:
  // paths through it lead into the target; the link itself is removed alone.
  void CreateLink(std::wstring_view link, std::wstring_view target);

  std::optional<std::vector<std::uint8_t>> ReadFile(std::wstring_view path) const;
  // The same without a copy of what is in memory (`bytes` holds it all);
  // none for a folder, nothing, or a host file that cannot be read.
  std::shared_ptr<const SimFileContent> ReadContent(std::wstring_view path) const;
  // The size of a file without reading it; none for a folder or nothing.
  std::optional<std::uint64_t> FileSize(std::wstring_view path) const;
  // Removes a file (not a folder); false when there is none.
  bool RemoveFile(std::wstring_view path);
  bool Exists(std::wstring_view path) const;
  bool IsDirectory(std::wstring_view path) const;
  // Where the link at `path` points; kNotAReparsePoint when it is no link.
  Result<std::wstring> LinkTarget(std::wstring_view path) const;
  // The operations with Windows' rules: a read-only file cannot be deleted or
  // overwritten, DeleteFile does not delete folders, a folder must be empty to
  // be removed and its parent must exist to be created.
  Result<std::uint32_t> Attributes(std::wstring_view path) const;
  WinError SetAttributes(std::wstring_view path, std::uint32_t attributes);
  // The entries of a folder with their attributes, as a search gives them.
  Result<std::vector<IFileSystem::FoundEntry>> List(std::wstring_view folder) const;
  WinError MakeDirectory(std::wstring_view path);
  WinError RemoveEmptyDirectory(std::wstring_view path);
  WinError Delete(std::wstring_view path);
  WinError Copy(std::wstring_view source, std::wstring_view destination);

  // The file's last-write time: a new one each time it is written, its
  // source's when it is copied; 0 when it does not exist.
  std::uint64_t Stamp(std::wstring_view path) const;
  // One line per file and folder: path, attributes, size and a digest of the content.
  std::string ToString() const;
  struct EntryView {
    const std::wstring& path;  // as created
    bool directory;
    std::uint32_t attributes;
    std::uint64_t size;
    std::uint64_t stamp;
  };
  // Every file and folder, in path order.
  void ForEach(const std::function<void(const EntryView&)>& visit) const;
  // GetLongPathNameW: every component of an existing path as it was created.
  Result<std::wstring> LongPath(std::wstring_view path) const;
  // GetShortPathNameW: the 8.3 form of every component of an existing path.
  Result<std::wstring> ShortPath(std::wstring_view path) const;

 private:
  struct Node {
    std::wstring name;  // as created, for listings
    bool directory = false;
    std::uint32_t attributes = 0;
    std::shared_ptr<const SimFileContent> content;
    std::uint64_t stamp = 0;
    std::wstring linkTarget;  // a reparse point: the folder it points to
  };
  static std::wstring Key(std::wstring_view path);

 public:
  // A path as the file system compares it: upper case, one separator.
  static std::wstring Normalized(std::wstring_view path) { return Key(path); }

 private:
  // The key of a node, with 8.3 short names of its components resolved to the
  // long names they stand for and links on the way followed to their targets
  // (the last component too with `followLast`); the plain key when none matches.
  std::wstring Resolve(std::wstring_view path, bool followLast = false) const;
  std::wstring ResolveKey(const std::wstring& key, bool followLast, int depth) const;
  bool ParentIsDirectory(std::wstring_view path) const;
  void Put(std::wstring_view path, std::shared_ptr<const SimFileContent> content);
  std::map<std::wstring, Node> nodes_;  // by upper-cased full path
  std::uint64_t nextStamp_ = 1;
  std::size_t links_ = 0;
};

}  // namespace tv::sim
