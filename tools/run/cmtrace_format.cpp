#include "run/cmtrace_format.h"

#include <cstdio>
#include <cstdlib>

#include "platform/text.h"

namespace tv::run {

namespace {

// The text stays on one line, and cannot end the entry early.
std::string EntryText(std::wstring_view text) {
  std::wstring clean;
  clean.reserve(text.size());
  for (wchar_t c : text) clean += (c == L'\r' || c == L'\n') ? L' ' : c;
  while (!clean.empty() && clean.back() == L' ') clean.pop_back();
  std::string out = ToUtf8(clean);
  for (std::size_t at = out.find("]LOG]!>"); at != std::string::npos; at = out.find("]LOG]!>", at + 1)) {
    out.replace(at, 7, "]LOG] !>");
  }
  return out;
}

// Attribute values are quoted: a quotation mark in one is dropped.
std::string Attribute(std::wstring_view value) {
  std::string out = ToUtf8(value);
  std::erase(out, '"');
  return out;
}

}  // namespace

std::string CmtraceEntry(std::wstring_view text, std::wstring_view component, int type, std::uint32_t thread,
                         const LogTime& t) {
  char stamp[96];
  std::snprintf(stamp, sizeof(stamp), "time=\"%02d:%02d:%02d.%03d%c%03d\" date=\"%02d-%02d-%04d\"", t.hour, t.minute,
                t.second, t.millisecond, t.biasMinutes < 0 ? '-' : '+', std::abs(t.biasMinutes), t.month, t.day,
                t.year);
  return "<![LOG[" + EntryText(text) + "]LOG]!><" + stamp + " component=\"" + Attribute(component) +
         "\" context=\"\" type=\"" + std::to_string(type) + "\" thread=\"" + std::to_string(thread) +
         "\" file=\"\">\r\n";
}

}  // namespace tv::run
