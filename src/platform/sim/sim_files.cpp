#include "platform/sim/sim_files.h"

#include "platform/shell_path.h"

namespace tv::sim {

std::wstring SimFileSystem::Key(std::wstring_view path) {
  std::wstring key;
  key.reserve(path.size());
  for (wchar_t c : path) key += c == L'/' ? L'\\' : AsciiUpper(c);
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
    auto& node = nodes_[Key(prefix)];
    if (node.name.empty()) {
      node.name = shell::StripPath(prefix);
      node.directory = true;
    }
    if (next == std::wstring::npos) break;
    pos = next + 1;
  }
}

void SimFileSystem::WriteFile(std::wstring_view path, std::span<const std::uint8_t> bytes) {
  CreateDirectories(shell::RemoveFileSpec(path));
  auto& node = nodes_[Key(path)];
  node.name = shell::StripPath(path);
  node.directory = false;
  node.bytes.assign(bytes.begin(), bytes.end());
  node.stamp = nextStamp_++;
}

void SimFileSystem::WriteFile(std::wstring_view path, std::string_view bytes) {
  WriteFile(path, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<std::vector<std::uint8_t>> SimFileSystem::ReadFile(std::wstring_view path) const {
  auto it = nodes_.find(Key(path));
  if (it == nodes_.end() || it->second.directory) return std::nullopt;
  return it->second.bytes;
}

bool SimFileSystem::Exists(std::wstring_view path) const { return nodes_.contains(Key(path)); }

bool SimFileSystem::IsDirectory(std::wstring_view path) const {
  auto it = nodes_.find(Key(path));
  return it != nodes_.end() && it->second.directory;
}

std::uint64_t SimFileSystem::Stamp(std::wstring_view path) const {
  auto it = nodes_.find(Key(path));
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
