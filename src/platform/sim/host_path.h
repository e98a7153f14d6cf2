// The simulator keeps the paths of the computer it runs on (the package, the
// machine descriptions, the reports) as UTF-8 text. A std::filesystem::path
// made from a narrow string reads it in the ANSI code page on Windows, where
// a name outside that code page is lost; these read and write it as UTF-8
// on every system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tv::sim {

inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tv::sim
