#include "platform/format.h"

namespace tv::fmt {

namespace {

std::wstring Digits(std::uint64_t value, unsigned base, bool upper) {
  const wchar_t* digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return out;
}

void Pad(std::wstring& out, std::wstring_view body, const Conversion& s, std::wstring_view sign) {
  const std::size_t length = sign.size() + body.size();
  const std::size_t fill = s.width > length ? s.width - length : 0;
  if (s.left) {
    out += sign;
    out += body;
    out.append(fill, L' ');
  } else if (s.zero) {
    out += sign;
    out.append(fill, L'0');
    out += body;
  } else {
    out.append(fill, L' ');
    out += sign;
    out += body;
  }
}

}  // namespace

std::wstring FormatArgs(std::wstring_view f, std::span<const Arg> args, std::size_t room) {
  std::wstring out;
  std::size_t next = 0;
  std::size_t pos = 0;
  while (pos < f.size() && out.size() < room) {
    const wchar_t c = f[pos++];
    if (c != L'%') {
      out += c;
      continue;
    }
    if (pos < f.size() && f[pos] == L'%') {
      out += L'%';
      ++pos;
      continue;
    }
    const Conversion s = ParseConversion(f, pos);
    if (s.type == 0 || next >= args.size()) break;
    const Arg& a = args[next++];
    if (TakesString(s.type)) {
      std::wstring_view text = a.text;
      if (s.hasPrecision && text.size() > s.precision) text = text.substr(0, s.precision);
      Conversion plain = s;
      plain.zero = false;
      Pad(out, text, plain, {});
      continue;
    }
    if (s.type == L'c' || s.type == L'C') {
      const wchar_t ch = static_cast<wchar_t>(static_cast<std::uint16_t>(a.number));
      Conversion plain = s;
      plain.zero = false;
      Pad(out, std::wstring_view(&ch, 1), plain, {});
      continue;
    }
    std::wstring sign;
    std::wstring body;
    if (s.type == L'd' || s.type == L'i') {
      const std::int64_t v = s.wide64 ? a.number : static_cast<std::int32_t>(a.number);
      if (v < 0) sign = L"-";
      const std::uint64_t magnitude = v < 0 ? static_cast<std::uint64_t>(-(v + 1)) + 1 : static_cast<std::uint64_t>(v);
      body = Digits(magnitude, 10, false);
    } else {
      const std::uint64_t v = s.wide64 ? static_cast<std::uint64_t>(a.number) : static_cast<std::uint32_t>(a.number);
      if (s.type == L'u') {
        body = Digits(v, 10, false);
      } else {
        body = Digits(v, 16, s.type == L'X');
        if (s.alternate && v != 0) sign = s.type == L'X' ? L"0X" : L"0x";
      }
    }
    if (s.hasPrecision && body.size() < s.precision) body.insert(0, s.precision - body.size(), L'0');
    Pad(out, body, s, sign);
  }
  if (out.size() > room) out.resize(room);
  return out;
}

}  // namespace tv::fmt
