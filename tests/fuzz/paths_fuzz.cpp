// The shell path helpers on any text; each result must be a part of its input
// or fit MAX_PATH.
#include "fuzz_input.h"
#include "platform/shell_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = tv::fuzz::Wide(data, size);
  const std::size_t half = text.size() / 2;
  const std::wstring a = text.substr(0, half);
  const std::wstring b = text.substr(half);
  if (tv::shell::StripPath(text).size() > text.size()) __builtin_trap();
  if (tv::shell::RemoveFileSpec(text).size() > text.size()) __builtin_trap();
  if (tv::shell::RemoveExtension(text).size() + tv::shell::Extension(text).size() != text.size()) __builtin_trap();
  (void)tv::shell::GetArgs(text);
  if (auto r = tv::shell::RenameExtension(a, b); r && r->size() >= 260) __builtin_trap();
  if (auto r = tv::shell::Append(a, b); r && r->size() >= 260) __builtin_trap();
  return 0;
}
