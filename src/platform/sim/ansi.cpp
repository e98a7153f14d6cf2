#include "platform/sim/ansi.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <string>

#include "platform/text.h"

namespace tv::sim {

namespace {

#ifdef _WIN32
// On Windows the code pages are Windows' own.
std::wstring DecodeCodePage(std::string_view input, unsigned codePage) {
  const int size = static_cast<int>(input.size());
  const int n = ::MultiByteToWideChar(codePage, 0, input.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) ::MultiByteToWideChar(codePage, 0, input.data(), size, out.data(), n);
  return out;
}

// The character in the code page, or nothing when the code page lacks it
// (best fits are left to the caller).
std::optional<std::string> EncodeOne(wchar_t c, unsigned codePage) {
  char buffer[8];
  BOOL usedDefault = FALSE;
  const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &c, 1, buffer, sizeof buffer, nullptr,
                                      codePage == CP_UTF8 ? nullptr : &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}
#else
std::string CodePageName(unsigned codePage) { return "CP" + std::to_string(codePage); }

// One iconv conversion; a byte that does not convert becomes what `replace` makes of it.
std::string Convert(const char* to, const char* from, std::string_view input,
                    const std::function<std::string(unsigned char)>& replace) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(input);
  std::string out;
  char buffer[256];
  auto* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof(buffer);
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += replace(static_cast<unsigned char>(*in));
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::wstring DecodeCodePage(std::string_view input, unsigned codePage) {
  // Windows maps a byte that its code page leaves undefined to U+30FB in the
  // Japanese code page and to the control character of the same number in 1252.
  const auto replace = [codePage](unsigned char byte) -> std::string {
    if (codePage == 932) return "\xE3\x83\xBB";
    if (codePage == 1252) return ToUtf8(std::wstring(1, static_cast<wchar_t>(byte)));
    return "?";
  };
  return FromUtf8(Convert("UTF-8", CodePageName(codePage).c_str(), input, replace));
}

std::optional<std::string> EncodeOne(wchar_t c, unsigned codePage) {
  bool failed = false;
  std::string converted =
      Convert(CodePageName(codePage).c_str(), "UTF-8", ToUtf8(std::wstring(1, c)), [&failed](unsigned char) {
        failed = true;
        return std::string();
      });
  if (failed) return std::nullopt;
  return converted;
}
#endif

}  // namespace

namespace {

// Windows-1252 from 0x80 to 0x9F; the rest of it is Latin-1. The five bytes
// it leaves undefined read as the control character of the same number.
constexpr char16_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A lead byte of a double-byte character of the Japanese code page.
bool IsLead932(std::uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

}  // namespace

std::wstring DecodeAnsi(std::span<const std::uint8_t> bytes, unsigned codePage) {
  std::wstring out;
  out.reserve(bytes.size());
  if (codePage == 1252) {
    for (const std::uint8_t b : bytes) out += b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(kCp1252High[b - 0x80]) : b;
    return out;
  }
  // The code pages are ASCII below 0x80: only the runs of other bytes (with
  // the trail byte of a double-byte character) go through the converter.
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] < 0x80) {
      out += static_cast<wchar_t>(bytes[i++]);
      continue;
    }
    std::size_t j = i;
    while (j < bytes.size() && bytes[j] >= 0x80) j += codePage == 932 && IsLead932(bytes[j]) ? 2 : 1;
    j = std::min(j, bytes.size());
    out += DecodeCodePage(std::string_view(reinterpret_cast<const char*>(bytes.data()) + i, j - i), codePage);
    i = j;
  }
  return out;
}

namespace {
// WideCharToMultiByte's best fit for the Latin letters with marks of Latin
// Extended-A (U+0100 to U+017F) in the Western and Central European code
// pages: the letter without its mark; "?" where it has none.
constexpr char kLatinExtendedABase[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIi??JjKk?LlLlLlLlLlNnNnNn???OoOoOo??"
    "RrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUu"
    "WwYyYZzZzZz?";
}  // namespace

std::string EncodeAnsi(std::wstring_view text, unsigned codePage) {
  // A character that the code page lacks is written as its best fit or as
  // one "?", WideCharToMultiByte's default character.
  std::string out;
  const bool latin = codePage >= 1250 && codePage <= 1258;
  for (wchar_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    if (const auto converted = EncodeOne(c, codePage)) {
      out += *converted;
    } else if (latin && c >= 0x100 && c <= 0x17F) {
      out += kLatinExtendedABase[c - 0x100];
    } else {
      out += '?';
    }
  }
  return out;
}

std::string EncodeUtf16Le(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (const wchar_t c : text) {
    const auto unit = static_cast<std::uint16_t>(c);
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

std::wstring DecodeUtf16Le(std::span<const std::uint8_t> bytes) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) out += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  return out;
}

std::wstring DecodeTextFile(std::span<const std::uint8_t> bytes, unsigned ansiCodePage) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return DecodeUtf16Le(bytes.subspan(2));
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return FromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()) + 3, bytes.size() - 3));
  }
  return DecodeAnsi(bytes, ansiCodePage);
}

void DecodeProfileLines(std::span<const std::uint8_t> bytes, unsigned ansiCodePage,
                        const std::function<void(std::wstring_view line)>& visit) {
  const bool wide = bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  if (wide) bytes = bytes.subspan(2);
  // In UTF-16 a break is a whole code unit; in the code pages a line feed or
  // carriage return is never the second byte of a double-byte character.
  const std::size_t unit = wide ? 2 : 1;
  const std::size_t units = bytes.size() / unit;
  const auto at = [&](std::size_t i) -> std::uint32_t {
    return wide ? static_cast<std::uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)) : bytes[i];
  };
  const auto find = [&](std::uint32_t c, std::size_t from) {
    for (std::size_t i = from; i < units; ++i) {
      if (at(i) == c) return i;
    }
    return units;
  };
  std::size_t pos = 0;
  std::size_t nextFeed = find(0x0A, 0);
  while (pos < units) {
    if (nextFeed < pos) nextFeed = find(0x0A, pos);
    const std::size_t end = nextFeed < units ? nextFeed : find(0x0D, pos);
    const std::size_t next = end < units ? end + 1 : units;
    const auto line = bytes.subspan(pos * unit, (next - pos) * unit);
    visit(wide ? DecodeUtf16Le(line) : DecodeAnsi(line, ansiCodePage));
    pos = next;
  }
}

std::wstring DecodeProfileFile(std::span<const std::uint8_t> bytes, unsigned ansiCodePage) {
  std::wstring text;
  DecodeProfileLines(bytes, ansiCodePage, [&text](std::wstring_view line) { text += line; });
  return text;
}

}  // namespace tv::sim
