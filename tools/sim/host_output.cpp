#include "sim/host_output.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>
#endif

namespace tv::sim {

#ifdef _WIN32
namespace {

// A stream buffer that hands whole UTF-8 characters to a console.
class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) pending_ += static_cast<char>(c);
    if (pending_.size() >= 4096 || c == '\n') Flush(false);
    return traits_type::not_eof(c);
  }

  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    Flush(false);
    return n;
  }

  int sync() override {
    Flush(true);
    return 0;
  }

 private:
  // Writes what is pending up to its last whole character (all of it when
  // `all`: a broken sequence then shows as the replacement character).
  void Flush(bool all) {
    std::size_t end = pending_.size();
    if (!all) {
      // Step back over the bytes of a character not yet whole.
      std::size_t back = 0;
      while (back < 3 && back < end && (static_cast<unsigned char>(pending_[end - 1 - back]) & 0xC0) == 0x80) ++back;
      if (back < end) {
        const auto lead = static_cast<unsigned char>(pending_[end - 1 - back]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length > back + 1) end -= back + 1;
      }
    }
    if (end == 0) return;
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(end), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(end), text.data(), wide);
    DWORD written = 0;
    for (std::size_t at = 0; at < text.size(); at += written) {
      // Old consoles refuse long writes: at most 8 K characters a call.
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
      if (!::WriteConsoleW(console_, text.data() + at, chunk, &written, nullptr) || written == 0) break;
    }
    pending_.erase(0, end);
  }

  HANDLE console_;
  std::string pending_;
};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

}  // namespace

void UseHostOutput() {
  // Files and pipes get the bytes as written: no carriage return before each
  // line feed, so the output is the Linux build's byte for byte.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  // The buffers live as long as the process: the streams are flushed at its
  // end, after the static objects are gone.
  if (IsConsole(out)) std::cout.rdbuf(new ConsoleBuffer(out));
  if (IsConsole(error)) {
    std::cerr.rdbuf(new ConsoleBuffer(error));
    std::cerr.setf(std::ios::unitbuf);
  }
}
#else
void UseHostOutput() {}
#endif

}  // namespace tv::sim
