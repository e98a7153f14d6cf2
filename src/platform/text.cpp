#include "platform/text.h"

#include <algorithm>

namespace tv {

std::wstring CutTo(std::wstring_view text, std::size_t room) {
  return std::wstring(text.substr(0, std::min(text.size(), room)));
}

int CompareNoCase(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const wchar_t ca = AsciiLower(a[i]);
    const wchar_t cb = AsciiLower(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) { return a.size() == b.size() && CompareNoCase(a, b) == 0; }

bool StartsWithNoCase(std::wstring_view whole, std::wstring_view prefix) {
  if (whole.size() < prefix.size()) return false;
  // Hardware-ID scans make a million of these; most differ early.
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (whole[i] != prefix[i] && AsciiLower(whole[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

std::uint64_t HashNoCase(std::wstring_view name) {
  std::uint64_t h = kFnvOffset;
  for (const wchar_t c : name) h = FnvStep(h, AsciiLower(c));
  return h;
}

wchar_t UnicodeUpper(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  auto minus = [&](std::uint32_t d) { return static_cast<wchar_t>(u - d); };
  // Pairs of an upper-case letter and the lower-case one after it.
  auto pairEvenUpper = [&] { return (u & 1U) != 0 ? minus(1) : c; };
  auto pairOddUpper = [&] { return (u & 1U) == 0 ? minus(1) : c; };
  if (u < 0x80) return AsciiUpper(c);
  if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return minus(0x20);
  if (u == 0xFF) return static_cast<wchar_t>(0x178);
  if (u >= 0x100 && u <= 0x12F) return pairEvenUpper();
  if (u >= 0x132 && u <= 0x137) return pairEvenUpper();
  if (u >= 0x139 && u <= 0x148) return pairOddUpper();
  if (u >= 0x14A && u <= 0x177) return pairEvenUpper();
  if (u >= 0x179 && u <= 0x17E) return pairOddUpper();
  if (u == 0x3AC) return static_cast<wchar_t>(0x386);
  if (u >= 0x3AD && u <= 0x3AF) return minus(0x25);
  if (u == 0x3C2) return static_cast<wchar_t>(0x3A3);
  if (u >= 0x3B1 && u <= 0x3CB) return minus(0x20);
  if (u == 0x3CC) return static_cast<wchar_t>(0x38C);
  if (u >= 0x3CD && u <= 0x3CE) return minus(0x3F);
  if (u >= 0x430 && u <= 0x44F) return minus(0x20);
  if (u >= 0x450 && u <= 0x45F) return minus(0x50);
  if ((u >= 0x460 && u <= 0x481) || (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F)) return pairEvenUpper();
  if (u >= 0x4C1 && u <= 0x4CE) return pairOddUpper();
  if (u >= 0x561 && u <= 0x586) return minus(0x30);
  if (u >= 0xFF41 && u <= 0xFF5A) return minus(0x20);
  return c;
}

int CompareNoCaseUnicode(std::wstring_view a, std::wstring_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] == b[i]) continue;
    const wchar_t ca = UnicodeUpper(a[i]);
    const wchar_t cb = UnicodeUpper(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool EqualsNoCaseUnicode(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && CompareNoCaseUnicode(a, b) == 0;
}

std::uint64_t HashNoCaseUnicode(std::wstring_view name) {
  std::uint64_t h = kFnvOffset;
  for (const wchar_t c : name) h = FnvStep(h, UnicodeUpper(c));
  return h;
}

std::wstring ToLowerAscii(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out) c = AsciiLower(c);
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {
void AppendUtf16(std::wstring& out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
      return;
    }
  }
  out += static_cast<wchar_t>(cp);
}
}  // namespace

// The tool's text is UTF-16 as on Windows; on the host a wchar_t is 32 bits
// wide but holds UTF-16 code units all the same, so surrogates are paired here.
std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = static_cast<char32_t>(text[i]) & 0x1FFFFF;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
      const char32_t lo = static_cast<char32_t>(text[i + 1]);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    AppendUtf8(out, cp);
  }
  return out;
}

std::wstring FromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1;
      cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2;
      cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3;
      cp = b0 & 0x07;
    } else {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    AppendUtf16(out, cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::wstring StringFromRegistryData(std::span<const std::uint8_t> data) {
  std::wstring out;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const auto c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    out += c;
  }
  return out;
}

std::uint32_t DwordFromRegistryData(std::span<const std::uint8_t> data) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < data.size() && i < 4; ++i) v |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  return v;
}

}  // namespace tv
