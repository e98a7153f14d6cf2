#include "platform/sim/full_path.h"

#include <vector>

namespace tv::sim {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// The root of an absolute path ("C:", "\\server\share") and what follows it.
struct Split {
  std::wstring root;
  std::wstring rest;
};

Split Absolute(std::wstring_view path, std::wstring_view currentDirectory) {
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share: both stay, whatever "..", follows.
    std::size_t end = 2;
    for (int parts = 0; parts < 2 && end <= path.size(); ++parts) {
      while (end < path.size() && !IsSeparator(path[end])) ++end;
      if (parts == 0 && end < path.size()) ++end;
    }
    std::wstring root(path.substr(0, end));
    for (auto& c : root) c = c == L'/' ? L'\\' : c;
    return {root, std::wstring(path.substr(end))};
  }
  const std::wstring_view cwdDrive = currentDirectory.substr(0, 2);
  if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
    const std::wstring drive(path.substr(0, 2));
    if (path.size() >= 3 && IsSeparator(path[2])) return {drive, std::wstring(path.substr(2))};
    // "C:name" is relative to the current directory when it is on that drive.
    const bool sameDrive = cwdDrive.size() == 2 && (cwdDrive[0] | 0x20) == (path[0] | 0x20);
    return {drive, (sameDrive ? std::wstring(currentDirectory.substr(2)) : L"") + L"\\" + std::wstring(path.substr(2))};
  }
  if (!path.empty() && IsSeparator(path[0])) return {std::wstring(cwdDrive), std::wstring(path)};
  return {std::wstring(cwdDrive), std::wstring(currentDirectory.substr(2)) + L"\\" + std::wstring(path)};
}

}  // namespace

std::wstring FullPathName(std::wstring_view path, std::wstring_view currentDirectory) {
  if (path.starts_with(L"\\\\?\\")) return std::wstring(path);
  auto [root, rest] = Absolute(path, currentDirectory);
  const bool closingSeparator = !rest.empty() && IsSeparator(rest.back());
  std::vector<std::wstring> parts;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && IsSeparator(rest[i])) ++i;
    std::size_t end = i;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::wstring part = rest.substr(i, end - i);
    i = end;
    if (part.empty() || part == L".") continue;
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::wstring out = root;
  for (const auto& p : parts) out += L"\\" + p;
  if (!closingSeparator) {
    // Trailing dots and blanks of the last name are dropped; a last name of
    // nothing else leaves its folder with a closing separator.
    std::size_t keep = out.size();
    while (keep > root.size() && (out[keep - 1] == L'.' || out[keep - 1] == L' ')) --keep;
    out.resize(keep);
  }
  if (closingSeparator || out.size() == root.size() || out.back() == L'\\') {
    if (out.empty() || out.back() != L'\\') out += L'\\';
  }
  return out;
}

std::wstring PathToOpen(std::wstring_view path, std::wstring_view currentDirectory) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(path.substr(8));
  if (path.starts_with(L"\\\\?\\")) return std::wstring(path.substr(4));
  return FullPathName(path, currentDirectory);
}

}  // namespace tv::sim
