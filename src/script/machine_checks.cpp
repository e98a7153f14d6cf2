#include "script/machine_checks.h"

#include "platform/text.h"

namespace tv {

void HandleCheckWow6432(const CommandCall& call) {
  if (!call.state.wow64) return;
  call.trace().Trace(L"WOW6432 process");
  call.Stop();
}

void HandleCheckVendor(const CommandCall& call) {
  const std::wstring& vendor = call.objects.runContext.vendor;
  if (EqualsNoCase(vendor, kMakerName)) return;
  call.trace().Trace(L"Error check Vendor %s", vendor);
  call.Stop();
}

}  // namespace tv
