// The machine's ANSI code page on the host: text in files without a
// byte-order mark, and the byte length of a value in its ANSI form.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tv::sim {

std::wstring DecodeAnsi(std::span<const std::uint8_t> bytes, unsigned codePage);
std::string EncodeAnsi(std::wstring_view text, unsigned codePage);

// A file's text as the INF installer and the registry editor decode it:
// UTF-16LE or UTF-8 after their byte-order marks, else the ANSI code page.
std::wstring DecodeTextFile(std::span<const std::uint8_t> bytes, unsigned ansiCodePage);

// A setup script's text as Windows' private-profile functions decode it:
// UTF-16LE after its byte-order mark, else the ANSI code page. They know no
// UTF-8: its byte-order mark is read as three characters of the first line.
std::wstring DecodeProfileFile(std::span<const std::uint8_t> bytes, unsigned ansiCodePage);

// The same text a line at a time, each line as the reader ends it (at a line
// feed, or at a carriage return where no line feed is left), with its break:
// a large script is never held decoded whole.
void DecodeProfileLines(std::span<const std::uint8_t> bytes, unsigned ansiCodePage,
                        const std::function<void(std::wstring_view line)>& visit);

// UTF-16LE bytes of a text, as Windows stores a wide string.
std::string EncodeUtf16Le(std::wstring_view text);
std::wstring DecodeUtf16Le(std::span<const std::uint8_t> bytes);

}  // namespace tv::sim
