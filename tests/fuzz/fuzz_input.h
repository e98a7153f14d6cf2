// Turning a fuzzer's bytes into the tool's inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace tv::fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Wide text from the bytes as UTF-8 (invalid sequences become U+FFFD).
inline std::wstring Wide(const std::uint8_t* data, std::size_t size) { return FromUtf8(Bytes(data, size)); }

}  // namespace tv::fuzz
