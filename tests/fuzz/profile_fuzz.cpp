// The profile reader on any bytes, in each of the encodings it reads.
#include "fuzz_input.h"
#include "platform/profile_text.h"
#include "platform/sim/ansi.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const unsigned codePage = size > 0 && (data[0] & 1) ? 932 : 1252;
  const std::wstring text = tv::sim::DecodeTextFile(std::span(data, size), codePage);
  const auto profile = tv::ParsedProfile::Parse(text);
  for (const auto& name : profile.SectionNames(2600)) {
    for (const wchar_t* key : {L"CMD1", L"CMD", L"ADDREG", L"", L"\"", L" x "}) {
      (void)profile.String(name, key, L"'dflt'", 1 + (size % 600));
      (void)profile.Int(name, key, -1);
    }
  }
  (void)profile.SectionNames(size % 40);
  return 0;
}
