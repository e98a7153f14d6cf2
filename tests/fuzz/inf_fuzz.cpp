// The simulated INF installer on any INF text.
#include "fuzz_input.h"
#include "platform/sim/sim_programs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tv::sim::FaultPlan faults;
  const bool wow64 = size > 0 && (data[0] & 1);
  const bool process64 = size > 0 && (data[0] & 4);  // the 64-bit companion's view
  tv::sim::SimRegistry registry(faults, wow64, process64);
  tv::sim::ApplyInf(registry, tv::fuzz::Wide(data, size), size > 0 && (data[0] & 2));
  (void)registry.ToString();
  return 0;
}
