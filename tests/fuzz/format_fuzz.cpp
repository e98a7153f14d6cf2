// The trace formatter on any format with arguments of either kind.
#include "fuzz_input.h"
#include "platform/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::wstring format = tv::fuzz::Wide(data + 2, size - 2);
  const std::wstring text(data[0] % 40, L'x');
  const tv::fmt::Arg args[] = {
      {tv::fmt::ArgKind::kString, text, 0},
      {tv::fmt::ArgKind::kInteger, {}, static_cast<std::int64_t>(data[0]) * -123456789},
      {tv::fmt::ArgKind::kInteger, {}, static_cast<std::int64_t>(data[1]) << 40},
      {tv::fmt::ArgKind::kString, format, 0},
  };
  const std::size_t count = data[1] % 5;
  const auto out = tv::fmt::FormatArgs(format, std::span(args, count), 1 + data[0] * 8);
  if (out.size() > 1u + data[0] * 8u) __builtin_trap();
  return 0;
}
