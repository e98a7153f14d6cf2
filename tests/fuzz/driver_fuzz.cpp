// The simulated Windows' driver selection on any INF bytes: opening, the
// models sections for each Windows, the best line for a device, the files
// and the catalog its install needs.
#include "fuzz_input.h"
#include "platform/sim/driver_select.h"
#include "platform/sim/inf_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto opened = tv::sim::OpenInf({data, size}, size > 0 && (data[0] & 1) ? 932 : 1252);
  if (!opened.inf) return 0;
  tv::sim::InfDirectories dirs;
  dirs.language = size > 1 && (data[1] & 1) ? 0x0407 : 0x0409;
  const std::vector<std::wstring> hardware = {L"PCI\\VEN_11C1&DEV_048C&SUBSYS_10401179", L"PCI\\VEN_11C1&DEV_048C"};
  const std::vector<std::wstring> compatible = {L"PCI\\CC_070300"};
  for (const tv::sim::DriverTarget target : {tv::sim::DriverTarget{5, 0, false}, tv::sim::DriverTarget{5, 1, false},
                                             tv::sim::DriverTarget{6, 0, true}, tv::sim::DriverTarget{10, 0, true}}) {
    const auto found = tv::sim::FindDriver(*opened.inf, dirs, target, hardware, compatible, true);
    (void)tv::sim::CatalogFileName(*opened.inf, dirs, target);
    if (found.best) (void)tv::sim::SourceFiles(*opened.inf, dirs, target, found.best->actualInstall);
  }
  return 0;
}
