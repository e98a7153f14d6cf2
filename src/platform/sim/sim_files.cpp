#include "platform/sim/sim_files.h"

#include <fstream>

#include "platform/shell_path.h"
#include "platform/sim/host_path.h"

namespace tv::sim {

std::wstring SimFileSystem::Key(std::wstring_view path) {
  std::wstring key;
  key.reserve(path.size());
  for (wchar_t c : path) {
    const wchar_t k = c == L'/' ? L'\\' : AsciiUpper(c);
    // Windows reads a run of separators inside a path as one; the two that
    // open a network path stay.
    if (k == L'\\' && key.size() > 1 && key.back() == L'\\') continue;
    key += k;
  }
  while (key.size() > 3 && key.back() == L'\\') key.pop_back();
  return key;
}

void SimFileSystem::CreateDirectories(std::wstring_view path) {
  std::wstring p(path);
  while (p.size() > 3 && p.back() == L'\\') p.pop_back();
  std::size_t pos = 0;
  while (true) {
    const std::size_t next = p.find(L'\\', pos);
    const std::wstring prefix = next == std::wstring::npos ? p : p.substr(0, next == 2 ? 3 : next);
    // A folder made through a link is made in the folder it points to.
    auto& node = nodes_[links_ == 0 ? Key(prefix) : Resolve(prefix, true)];
    if (node.name.empty()) {
      node.name = shell::StripPath(prefix);
      node.directory = true;
      node.attributes = file::kDirectory;
    }
    if (next == std::wstring::npos) break;
    pos = next + 1;
  }
}

void SimFileSystem::CreateLink(std::wstring_view link, std::wstring_view target) {
  CreateDirectories(shell::RemoveFileSpec(link));
  auto& node = nodes_[Resolve(link)];
  node.name = shell::StripPath(link);
  node.directory = true;
  node.attributes = file::kDirectory | file::kReparsePoint;
  node.linkTarget = std::wstring(target);
  ++links_;
}

void SimFileSystem::Put(std::wstring_view path, std::shared_ptr<const SimFileContent> content) {
  CreateDirectories(shell::RemoveFileSpec(path));
  auto& node = nodes_[Resolve(path)];
  node.name = shell::StripPath(path);
  node.directory = false;
  if (node.attributes == 0) node.attributes = file::kArchive;
  node.content = std::move(content);
  node.stamp = nextStamp_++;
}

void SimFileSystem::WriteFile(std::wstring_view path, std::span<const std::uint8_t> bytes) {
  auto content = std::make_shared<SimFileContent>();
  content->size = bytes.size();
  content->bytes.assign(bytes.begin(), bytes.end());
  Put(path, std::move(content));
}

void SimFileSystem::WriteHostFile(std::wstring_view path, const std::string& hostPath, std::uint64_t size) {
  auto content = std::make_shared<SimFileContent>();
  content->size = size;
  content->hostPath = hostPath;
  Put(path, std::move(content));
}

void SimFileSystem::WriteFile(std::wstring_view path, std::string_view bytes) {
  WriteFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::shared_ptr<const SimFileContent> SimFileSystem::ReadContent(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end() || it->second.directory) return nullptr;
  const auto& content = it->second.content;
  if (!content) return std::make_shared<SimFileContent>();
  if (content->hostPath.empty()) return content;
  // A host file that can no longer be read whole reads as unreadable.
  auto read = std::make_shared<SimFileContent>();
  read->size = content->size;
  read->bytes.resize(static_cast<std::size_t>(content->size));
  std::ifstream in(PathFromUtf8(content->hostPath), std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(read->bytes.data()), static_cast<std::streamsize>(read->bytes.size()))) {
    return nullptr;
  }
  return read;
}

std::optional<std::vector<std::uint8_t>> SimFileSystem::ReadFile(std::wstring_view path) const {
  auto content = ReadContent(path);
  if (!content) return std::nullopt;
  return content->bytes;
}

std::optional<std::uint64_t> SimFileSystem::FileSize(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end() || it->second.directory) return std::nullopt;
  return it->second.content ? it->second.content->size : 0;
}

bool SimFileSystem::RemoveFile(std::wstring_view path) {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end() || it->second.directory) return false;
  nodes_.erase(it);
  return true;
}

bool SimFileSystem::Exists(std::wstring_view path) const { return nodes_.contains(Resolve(path)); }

Result<std::wstring> SimFileSystem::LinkTarget(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end()) return Result<std::wstring>::Fail(err::kFileNotFound);
  if (it->second.linkTarget.empty()) return Result<std::wstring>::Fail(err::kNotAReparsePoint);
  return Result<std::wstring>::Ok(it->second.linkTarget);
}

bool SimFileSystem::IsDirectory(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  return it != nodes_.end() && it->second.directory;
}

std::uint64_t SimFileSystem::Stamp(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  return it == nodes_.end() || it->second.directory ? 0 : it->second.stamp;
}

namespace {

bool IsShortNameChar(wchar_t c) {
  if (c <= L' ' || c >= 0x7F) return false;
  return std::wstring_view(L"\"*+,/:;<=>?[\\]|.").find(c) == std::wstring_view::npos;
}

// A name that is already a valid 8.3 name keeps its form; any other gets the
// generated one: up to six characters of its base, "~1", and three of its extension.
std::wstring ShortComponent(std::wstring_view name) {
  const std::size_t dot = name.rfind(L'.');
  const std::wstring_view base = dot == std::wstring_view::npos ? name : name.substr(0, dot);
  const std::wstring_view ext = dot == std::wstring_view::npos ? std::wstring_view{} : name.substr(dot + 1);
  bool valid = !base.empty() && base.size() <= 8 && ext.size() <= 3;
  for (wchar_t c : base) valid = valid && IsShortNameChar(c);
  for (wchar_t c : ext) valid = valid && IsShortNameChar(c);
  if (valid) return std::wstring(name);
  std::wstring shortBase;
  for (wchar_t c : base) {
    if (c == L' ' || c == L'.') continue;
    if (shortBase.size() == 6) break;
    shortBase += IsShortNameChar(c) ? AsciiUpper(c) : L'_';
  }
  std::wstring out = shortBase + L"~1";
  std::wstring shortExt;
  for (wchar_t c : ext) {
    if (c == L' ') continue;
    if (shortExt.size() == 3) break;
    shortExt += IsShortNameChar(c) ? AsciiUpper(c) : L'_';
  }
  if (!shortExt.empty()) out += L'.' + shortExt;
  return out;
}

}  // namespace

std::string SimFileSystem::ToString() const {
  std::string out;
  for (const auto& [key, node] : nodes_) {
    std::uint64_t digest = 1469598103934665603ULL;  // FNV-1a of the content held in memory
    const std::uint64_t size = node.content ? node.content->size : 0;
    if (node.content) {
      for (auto b : node.content->bytes) digest = (digest ^ b) * 1099511628211ULL;
    }
    out += ToUtf8(key) + (node.directory ? "\\" : "") + " attr=" + std::to_string(node.attributes) +
           " size=" + std::to_string(size) + " digest=" + std::to_string(digest) +
           (node.content && !node.content->hostPath.empty() ? " host=" + node.content->hostPath : "") + "\n";
  }
  return out;
}

bool SimFileSystem::ParentIsDirectory(std::wstring_view path) const {
  const std::wstring parent = shell::RemoveFileSpec(path);
  return parent.size() <= 3 ? Exists(parent.substr(0, 2)) || IsDirectory(parent) : IsDirectory(parent);
}

Result<std::uint32_t> SimFileSystem::Attributes(std::wstring_view path) const {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end())
    return Result<std::uint32_t>::Fail(ParentIsDirectory(path) ? err::kFileNotFound : err::kPathNotFound);
  return Result<std::uint32_t>::Ok(it->second.attributes);
}

WinError SimFileSystem::SetAttributes(std::wstring_view path, std::uint32_t attributes) {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end()) return err::kFileNotFound;
  // FILE_ATTRIBUTE_NORMAL stands alone; a folder stays a folder.
  std::uint32_t kept = attributes & (file::kReadOnly | file::kHidden | file::kSystem | file::kArchive);
  if (it->second.directory) kept |= file::kDirectory;
  it->second.attributes = kept == 0 ? file::kNormal : kept;
  return err::kSuccess;
}

Result<std::vector<IFileSystem::FoundEntry>> SimFileSystem::List(std::wstring_view folder) const {
  using R = Result<std::vector<IFileSystem::FoundEntry>>;
  // A search inside a link lists the folder it points to.
  const std::wstring key = Resolve(folder, true);
  auto it = nodes_.find(key);
  if (it == nodes_.end() || !it->second.directory) {
    return R::Fail(it == nodes_.end() ? err::kPathNotFound : err::kDirectoryInvalid);
  }
  std::vector<IFileSystem::FoundEntry> entries;
  const std::wstring prefix = key.back() == L'\\' ? key : key + L"\\";
  for (auto c = nodes_.upper_bound(prefix); c != nodes_.end() && c->first.starts_with(prefix); ++c) {
    if (c->first.find(L'\\', prefix.size()) == std::wstring::npos) {
      entries.push_back(IFileSystem::FoundEntry{c->second.name, c->second.attributes});
    }
  }
  return R::Ok(std::move(entries));
}

WinError SimFileSystem::MakeDirectory(std::wstring_view path) {
  if (Exists(path)) return err::kAlreadyExists;
  if (!ParentIsDirectory(path)) return err::kPathNotFound;
  CreateDirectories(path);
  return err::kSuccess;
}

WinError SimFileSystem::RemoveEmptyDirectory(std::wstring_view path) {
  const std::wstring key = Resolve(path);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) return err::kFileNotFound;
  if (!it->second.directory) return err::kDirectoryInvalid;
  auto next = std::next(it);
  if (next != nodes_.end() && next->first.starts_with(key + L"\\")) return err::kDirNotEmpty;
  nodes_.erase(it);
  return err::kSuccess;
}

WinError SimFileSystem::Delete(std::wstring_view path) {
  auto it = nodes_.find(Resolve(path));
  if (it == nodes_.end()) return ParentIsDirectory(path) ? err::kFileNotFound : err::kPathNotFound;
  if (it->second.directory || (it->second.attributes & file::kReadOnly)) return err::kAccessDenied;
  nodes_.erase(it);
  return err::kSuccess;
}

WinError SimFileSystem::Copy(std::wstring_view source, std::wstring_view destination) {
  auto src = nodes_.find(Resolve(source));
  if (src == nodes_.end()) return ParentIsDirectory(source) ? err::kFileNotFound : err::kPathNotFound;
  if (src->second.directory) return err::kAccessDenied;
  if (!ParentIsDirectory(destination)) return err::kPathNotFound;
  auto dst = nodes_.find(Resolve(destination));
  if (dst != nodes_.end() && (dst->second.directory || (dst->second.attributes & file::kReadOnly))) {
    return err::kAccessDenied;
  }
  const Node copy = src->second;
  Put(destination, copy.content);
  // CopyFileW keeps the source's attributes, but what it writes is a file;
  // and its last-write time, so a file copied again from the same source is
  // the file it was.
  Node& made = nodes_[Resolve(destination)];
  made.attributes = copy.attributes & ~file::kReparsePoint;
  made.stamp = copy.stamp;
  return err::kSuccess;
}

std::wstring SimFileSystem::Resolve(std::wstring_view path, bool followLast) const {
  std::wstring key = Key(path);
  if (links_ == 0 && (nodes_.contains(key) || key.find(L'~') == std::wstring::npos)) return key;
  return ResolveKey(key, followLast, 0);
}

std::wstring SimFileSystem::ResolveKey(const std::wstring& key, bool followLast, int depth) const {
  constexpr int kMostLinksFollowed = 32;  // a loop of links ends like a missing path
  std::wstring resolved;
  std::size_t pos = 0;
  while (pos <= key.size()) {
    std::size_t next = key.find(L'\\', pos);
    if (next == std::wstring::npos) next = key.size();
    const std::wstring part = key.substr(pos, next - pos);
    const bool last = next == key.size();
    std::wstring candidate = resolved.empty() ? part : (resolved.back() == L'\\' ? resolved : resolved + L"\\") + part;
    if (!resolved.empty() && !nodes_.contains(candidate) && part.find(L'~') != std::wstring::npos) {
      // A short name: the child of this folder whose generated short name it is.
      const std::wstring prefix = resolved.back() == L'\\' ? resolved : resolved + L"\\";
      for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.find(L'\\', prefix.size()) != std::wstring::npos) continue;
        if (EqualsNoCase(ShortComponent(it->second.name), part)) {
          candidate = it->first;
          break;
        }
      }
    }
    // A link in the middle of a path leads to where it points.
    if (auto it = nodes_.find(candidate);
        it != nodes_.end() && !it->second.linkTarget.empty() && (!last || followLast)) {
      candidate = depth < kMostLinksFollowed ? ResolveKey(Key(it->second.linkTarget), true, depth + 1)
                                             : std::wstring(L"?:\\LINK LOOP");
    }
    resolved = candidate;
    if (part.empty() && last) break;
    pos = next + 1;
  }
  return resolved;
}

Result<std::wstring> SimFileSystem::LongPath(std::wstring_view path) const {
  if (!Exists(path)) {
    return Result<std::wstring>::Fail(Exists(shell::RemoveFileSpec(path)) ? err::kFileNotFound : err::kPathNotFound);
  }
  // Component by component, the name each folder on the way was created with.
  std::wstring out;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find(L'\\', pos);
    if (next == std::wstring_view::npos) next = path.size();
    const std::wstring_view part = path.substr(pos, next - pos);
    if (!part.empty()) {
      const std::wstring prefix = out.empty() ? std::wstring(part) : out + L"\\" + std::wstring(part);
      auto it = nodes_.find(Resolve(prefix.size() == 2 ? prefix + L"\\" : prefix));
      const bool drive = pos == 0 && part.size() == 2 && part[1] == L':';
      const std::wstring name =
          !drive && it != nodes_.end() && !it->second.name.empty() ? it->second.name : std::wstring(part);
      out = out.empty() ? name : out + L"\\" + name;
    }
    pos = next + 1;
  }
  return Result<std::wstring>::Ok(out);
}

Result<std::wstring> SimFileSystem::ShortPath(std::wstring_view path) const {
  if (!Exists(path)) {
    return Result<std::wstring>::Fail(Exists(shell::RemoveFileSpec(path)) ? err::kFileNotFound : err::kPathNotFound);
  }
  std::wstring out;
  std::size_t pos = 0;
  while (pos < path.size()) {
    std::size_t next = path.find(L'\\', pos);
    if (next == std::wstring_view::npos) next = path.size();
    const std::wstring_view part = path.substr(pos, next - pos);
    if (!part.empty()) {
      if (!out.empty()) out += L'\\';
      out += (pos == 0 && part.size() == 2 && part[1] == L':') ? std::wstring(part) : ShortComponent(part);
    }
    pos = next + 1;
  }
  return Result<std::wstring>::Ok(out);
}

}  // namespace tv::sim

namespace tv::sim {

void SimFileSystem::ForEach(const std::function<void(const EntryView&)>& visit) const {
  for (const auto& [key, node] : nodes_) {
    // The path as its folders were created: each component's own spelling.
    std::wstring shown;
    std::size_t pos = 0;
    while (true) {
      const std::size_t next = key.find(L'\\', pos);
      const std::wstring prefix = next == std::wstring::npos ? key : key.substr(0, next == 2 ? 3 : next);
      const auto it = nodes_.find(prefix);
      const std::wstring part =
          it != nodes_.end() && !it->second.name.empty() ? it->second.name : key.substr(pos, next - pos);
      if (!shown.empty() && shown.back() != L'\\') shown += L'\\';
      shown += part;
      if (next == std::wstring::npos) break;
      pos = next + 1;
    }
    visit(EntryView{shown, node.directory, node.attributes, node.content ? node.content->size : 0, node.stamp});
  }
}

}  // namespace tv::sim
