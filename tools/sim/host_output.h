// What the simulator writes goes out as UTF-8 bytes, the same on every
// system, when standard output or error is a file or a pipe. A Windows
// console is given the characters themselves (WriteConsoleW), so that each
// shows whatever the console's code page.
#pragma once

namespace tv::sim {

// Sets standard output and error up so (on Linux: nothing to do).
void UseHostOutput();

}  // namespace tv::sim
