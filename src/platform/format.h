// The trace formatter: the conversions of the Windows user-library formatter
// (%s, %c, %d, %i, %u, %x, %X, %%, flags "-", "0", "#", width, precision,
// the l/h/I64 size prefixes), with the arguments checked against the format at
// compile time instead of read through C varargs.
#pragma once

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tv::fmt {

enum class ArgKind { kString, kInteger };

template <class T>
consteval ArgKind KindOf() {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_integral_v<U> || std::is_enum_v<U>) {
    return ArgKind::kInteger;
  } else {
    static_assert(std::is_convertible_v<const T&, std::wstring_view>, "trace arguments are wide strings or integers");
    return ArgKind::kString;
  }
}

struct Arg {
  ArgKind kind;
  std::wstring_view text;
  std::int64_t number = 0;
};

template <class T>
Arg MakeArg(const T& value) {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_enum_v<U> || std::is_integral_v<U>) {
    return Arg{ArgKind::kInteger, {}, static_cast<std::int64_t>(value)};
  } else {
    return Arg{ArgKind::kString, std::wstring_view(value), 0};
  }
}

// Reached only in a constant evaluation whose format and arguments disagree:
// the compiler then reports a call to a function that is not constexpr.
void FormatDoesNotMatchArguments();

inline constexpr std::size_t kWidthLimit = 1024;

// One conversion of a format: where it starts and ends and what it takes.
struct Conversion {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  std::size_t width = 0;
  bool hasPrecision = false;
  std::size_t precision = 0;
  bool wide64 = false;
  wchar_t type = 0;  // 0 when the format ends inside the conversion
};

// Parses the conversion that begins after the "%" at `pos`; leaves `pos` after it.
constexpr Conversion ParseConversion(std::wstring_view f, std::size_t& pos) {
  Conversion s;
  for (; pos < f.size(); ++pos) {
    if (f[pos] == L'-') {
      s.left = true;
    } else if (f[pos] == L'0') {
      s.zero = true;
    } else if (f[pos] == L'#') {
      s.alternate = true;
    } else {
      break;
    }
  }
  // Widths and precisions beyond the formatter's own limit cannot show; they
  // are held at it so that no number of digits can overflow them.
  while (pos < f.size() && f[pos] >= L'0' && f[pos] <= L'9') {
    s.width = std::min<std::size_t>(s.width * 10 + static_cast<std::size_t>(f[pos++] - L'0'), kWidthLimit);
  }
  if (pos < f.size() && f[pos] == L'.') {
    s.hasPrecision = true;
    ++pos;
    while (pos < f.size() && f[pos] >= L'0' && f[pos] <= L'9') {
      s.precision = std::min<std::size_t>(s.precision * 10 + static_cast<std::size_t>(f[pos++] - L'0'), kWidthLimit);
    }
  }
  if (pos + 2 < f.size() && f[pos] == L'I' && f[pos + 1] == L'6' && f[pos + 2] == L'4') {
    s.wide64 = true;
    pos += 3;
  } else {
    while (pos < f.size() && (f[pos] == L'l' || f[pos] == L'h' || f[pos] == L'w')) ++pos;
  }
  if (pos < f.size()) s.type = f[pos++];
  return s;
}

constexpr bool TakesString(wchar_t type) { return type == L's' || type == L'S'; }
constexpr bool TakesInteger(wchar_t type) {
  return type == L'd' || type == L'i' || type == L'u' || type == L'x' || type == L'X' || type == L'c' || type == L'C';
}

consteval void CheckFormat(std::wstring_view f, const ArgKind* kinds, std::size_t count) {
  std::size_t used = 0;
  std::size_t pos = 0;
  while (pos < f.size()) {
    if (f[pos++] != L'%') continue;
    if (pos < f.size() && f[pos] == L'%') {
      ++pos;
      continue;
    }
    const Conversion s = ParseConversion(f, pos);
    if (s.type == 0) break;
    if (!TakesString(s.type) && !TakesInteger(s.type)) FormatDoesNotMatchArguments();
    if (used >= count) FormatDoesNotMatchArguments();
    const ArgKind want = TakesString(s.type) ? ArgKind::kString : ArgKind::kInteger;
    if (kinds[used] != want) FormatDoesNotMatchArguments();
    ++used;
  }
  if (used != count) FormatDoesNotMatchArguments();
}

// A format whose conversions have been checked against Args.
template <class... Args>
class FormatString {
 public:
  template <std::size_t N>
  consteval FormatString(const wchar_t (&text)[N]) : text_(text, N - 1) {  // NOLINT(google-explicit-constructor)
    constexpr std::array<ArgKind, sizeof...(Args) + 1> kinds{KindOf<Args>()..., ArgKind::kString};
    CheckFormat(text_, kinds.data(), sizeof...(Args));
  }
  constexpr std::wstring_view text() const { return text_; }

 private:
  std::wstring_view text_;
};

// Formats at run time; the output is cut to `room` characters.
std::wstring FormatArgs(std::wstring_view format, std::span<const Arg> args, std::size_t room);

}  // namespace tv::fmt

namespace tv {

template <class... Args>
using FormatString = fmt::FormatString<std::type_identity_t<Args>...>;

// The formatter's own limit: wvsprintfW writes at most 1024 characters.
inline constexpr std::size_t kRoomFormatter = 1024;

template <class... Args>
std::wstring Format(FormatString<Args...> format, const Args&... args) {
  const std::array<fmt::Arg, sizeof...(Args) + 1> list{fmt::MakeArg(args)..., fmt::Arg{fmt::ArgKind::kString, {}}};
  return fmt::FormatArgs(format.text(), std::span(list.data(), sizeof...(Args)), kRoomFormatter);
}

template <class... Args>
std::wstring FormatCut(std::size_t room, FormatString<Args...> format, const Args&... args) {
  const std::array<fmt::Arg, sizeof...(Args) + 1> list{fmt::MakeArg(args)..., fmt::Arg{fmt::ArgKind::kString, {}}};
  return fmt::FormatArgs(format.text(), std::span(list.data(), sizeof...(Args)), room);
}

}  // namespace tv
