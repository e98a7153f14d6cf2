// The profile reader on any bytes, in each of the encodings it reads, and
// the script checker on the same text.
#include "fuzz_input.h"
#include "platform/profile_text.h"
#include "platform/sim/ansi.h"
#include "sim/lint.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned codePage = size > 0 && (data[0] & 1) ? 932 : 1252;
  const std::wstring text = tv::sim::DecodeProfileFile(std::span(data, size), codePage);
  const auto profile = tv::ParsedProfile::Parse(text);
  for (const auto& name : profile.SectionNames(2600)) {
    for (const wchar_t* key : {L"CMD1", L"CMD", L"ADDREG", L"", L"\"", L" x "}) {
      (void)profile.String(name, key, L"'dflt'", 1 + (size % 600));
      (void)profile.Int(name, key, -1);
    }
  }
  (void)profile.SectionNames(size % 40);
  const tv::lint::PackageLookup someFilesThere = [](std::wstring_view path) { return path.size() % 2 == 0; };
  const auto findings = tv::lint::LintScript(text, L"drv", someFilesThere);
  (void)tv::lint::FormatFindings("drv.ini", findings);
  return 0;
}
