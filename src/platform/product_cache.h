// Every run context of the process asks for the same two product values; the
// firmware's answer does not change during a run, so one WMI enumeration
// serves them all.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/module_folder_cache.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace tv {

class CProductValueCache final : public IProductInfo {
 public:
  // `prefetch`: the names fetched together with the first question.
  CProductValueCache(IProductInfo& inner, std::vector<std::wstring> prefetch);

  std::vector<Result<std::wstring>> QueryComputerSystemProduct(std::span<const std::wstring> names) override;

 private:
  IProductInfo& inner_;
  std::vector<std::wstring> prefetch_;
  std::map<std::wstring, Result<std::wstring>, LessNoCase> answers_;
};

}  // namespace tv

namespace tv {

// The seam as one process of the tool uses it: the machine's operations, with
// the product values fetched once and the short form of the tool's folder
// found once, both shared by every run context.
class CProcessPlatform {
 public:
  explicit CProcessPlatform(const Platform& machine)
      : cache_(machine.product, {L"Version", L"Vendor"}),
        system_(machine.system),
        platform_{machine.profile, machine.registry,  cache_,         system_, machine.debug,
                  machine.files,   machine.processes, machine.devices} {}
  CProcessPlatform(const CProcessPlatform&) = delete;
  CProcessPlatform& operator=(const CProcessPlatform&) = delete;

  const Platform& get() const { return platform_; }

 private:
  CProductValueCache cache_;
  CModuleFolderCache system_;
  Platform platform_;
};

}  // namespace tv
