#include "platform/shell_path.h"

#include <vector>

#include "platform/text.h"

namespace tv::shell {

namespace {
constexpr std::size_t kMaxPath = 260;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool HasDrive(std::wstring_view p) { return p.size() >= 2 && p[1] == L':'; }
}  // namespace

std::size_t FindExtension(std::wstring_view path) {
  std::size_t last = path.size();
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\' || path[i] == L' ') {
      last = path.size();
    } else if (path[i] == L'.') {
      last = i;
    }
  }
  return last;
}

std::wstring Extension(std::wstring_view path) { return std::wstring(path.substr(FindExtension(path))); }

std::wstring RemoveExtension(std::wstring_view path) { return std::wstring(path.substr(0, FindExtension(path))); }

std::optional<std::wstring> RenameExtension(std::wstring_view path, std::wstring_view extension) {
  const std::size_t at = FindExtension(path);
  if (at + extension.size() >= kMaxPath) return std::nullopt;
  std::wstring out(path.substr(0, at));
  out += extension;
  return out;
}

std::size_t FindFileName(std::wstring_view path) {
  std::size_t name = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const wchar_t c = path[i];
    if ((c == L'\\' || c == L'/' || c == L':') && i + 1 < path.size() && !IsSeparator(path[i + 1])) name = i + 1;
  }
  return name;
}

std::wstring StripPath(std::wstring_view path) { return std::wstring(path.substr(FindFileName(path))); }

std::wstring RemoveFileSpec(std::wstring_view path) {
  std::size_t i = 0;
  std::size_t cut = 0;
  if (i < path.size() && path[i] == L'\\') cut = ++i;
  if (i < path.size() && path[i] == L'\\') cut = ++i;
  while (i < path.size()) {
    if (path[i] == L'\\') {
      cut = i;
    } else if (path[i] == L':') {
      cut = ++i;
      if (i < path.size() && path[i] == L'\\') ++cut;
      if (i >= path.size()) break;
    }
    ++i;
  }
  return std::wstring(path.substr(0, cut));
}

std::wstring GetArgs(std::wstring_view commandLine) {
  bool quoted = false;
  for (std::size_t i = 0; i < commandLine.size(); ++i) {
    if (commandLine[i] == L' ' && !quoted) return std::wstring(commandLine.substr(i + 1));
    if (commandLine[i] == L'"') quoted = !quoted;
  }
  return {};
}

std::optional<std::wstring> Append(std::wstring_view path, std::wstring_view more) {
  const bool unc = more.size() >= 2 && more[0] == L'\\' && more[1] == L'\\';
  if (!unc) {
    while (!more.empty() && more[0] == L'\\') more.remove_prefix(1);
  }
  std::wstring joined;
  if (unc || HasDrive(more)) {
    joined = std::wstring(more);
  } else {
    joined = std::wstring(path);
    if (!joined.empty() && joined.back() != L'\\' && !more.empty()) joined += L'\\';
    joined += more;
  }
  // Resolve "." and ".." segments as PathCanonicalizeW does; ".." never climbs above the root.
  std::wstring root;
  std::wstring_view rest = joined;
  if (rest.size() >= 2 && rest[0] == L'\\' && rest[1] == L'\\') {
    root = L"\\\\";
    rest.remove_prefix(2);
  } else if (HasDrive(rest)) {
    root = std::wstring(rest.substr(0, 2));
    rest.remove_prefix(2);
    if (!rest.empty() && rest[0] == L'\\') {
      root += L'\\';
      rest.remove_prefix(1);
    }
  } else if (!rest.empty() && rest[0] == L'\\') {
    root = L"\\";
    rest.remove_prefix(1);
  }
  std::vector<std::wstring_view> parts;
  bool trailing = !rest.empty() && rest.back() == L'\\';
  std::size_t start = 0;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || rest[i] == L'\\') {
      const std::wstring_view part = rest.substr(start, i - start);
      if (part == L".") {
      } else if (part == L"..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() || i != rest.size()) {
        if (!part.empty()) parts.push_back(part);
      }
      start = i + 1;
    }
  }
  std::wstring out = root;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out += L'\\';
    out += parts[k];
  }
  if (trailing && !parts.empty()) out += L'\\';
  if (out.size() >= kMaxPath) return std::nullopt;
  return out;
}

}  // namespace tv::shell
