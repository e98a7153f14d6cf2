// The what-if on the author's own notebook (Windows builds): the machine the
// simulator runs on is described as tarnvale-capture would describe it,
// and the run then goes on that description, changing nothing here.
#pragma once

#include <string>

namespace tv::sim {

// DLLs from the system folder only, as every program of the package loads them.
void LoadDllsFromSystemOnly();

// The machine description (JSON) of this Windows, with what the setup
// script (a UTF-8 path) names; `tool64`: as the 64-bit build of the tool
// sees it, else as the shipped 32-bit tool does.
std::string DescribeThisMachine(const std::string& script, bool tool64);

}  // namespace tv::sim
