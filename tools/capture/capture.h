// A machine description (the JSON the simulator's --machine reads) of the
// machine the platform stands for: what the tool reads of Windows, the
// registry keys its commands and a setup script name, the devices, the
// processes and, if asked, folders. Read-only; sorted, so that two captures
// of one machine are the same text.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tv::capture {

struct Options {
  std::wstring script;                // a setup script whose registry keys and devices are captured too
  std::vector<std::wstring> folders;  // folder trees to describe
  bool withContents = false;          // file contents, not only sizes and attributes
  // The most of one file's content that is kept; a larger file is described
  // by its size alone, and the notes say so.
  std::uint64_t maxContentBytes = 4u << 20;
  bool process64 = false;  // this is a 64-bit process (on 64-bit Windows)
  // The machine as a 64-bit build of the tool sees it (the Wine tests run
  // one): its switches in the 64-bit view, the native Program Files.
  bool tool64 = false;
  std::string version;  // of the capturing program
};

// UTF-8 JSON text with a closing line feed. What could not be read is told
// in "capture.notes"; nothing is fatal.
std::string CaptureMachine(const Platform& platform, const Options& options);

// Every key and value under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, a JSON
// array a line: ["HKLM\\path"] for a key, ["HKLM\\path", "name", type,
// "hex bytes"] for a value. `view` is KEY_WOW64_64KEY where Windows keeps
// two views (then Wow6432Node is an ordinary key in it), else 0. Two dumps,
// before and after a run, show everything the run changed in the registry,
// not only the keys a description names.
std::string DumpRegistry(const Platform& platform, std::uint32_t view);

}  // namespace tv::capture
