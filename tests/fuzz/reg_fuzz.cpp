// The simulated registry editor on any registry file.
#include "fuzz_input.h"
#include "platform/sim/sim_programs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tv::sim::FaultPlan faults;
  const bool wow64 = false;
  const bool process64 = false;
  tv::sim::SimRegistry registry(faults, wow64, process64);
  (void)tv::sim::ImportRegFile(registry, tv::fuzz::Wide(data, size));
  (void)registry.ToString();
  return 0;
}
