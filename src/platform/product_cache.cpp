#include "platform/product_cache.h"

#include <algorithm>

namespace tv {

CProductValueCache::CProductValueCache(IProductInfo& inner, std::vector<std::wstring> prefetch)
    : inner_(inner), prefetch_(std::move(prefetch)) {}

std::vector<Result<std::wstring>> CProductValueCache::QueryComputerSystemProduct(std::span<const std::wstring> names) {
  std::vector<std::wstring> missing;
  for (const auto& name : names) {
    if (!answers_.contains(name) && std::find(missing.begin(), missing.end(), name) == missing.end())
      missing.push_back(name);
  }
  if (!missing.empty()) {
    for (const auto& name : prefetch_) {
      if (!answers_.contains(name) && std::find(missing.begin(), missing.end(), name) == missing.end())
        missing.push_back(name);
    }
    prefetch_.clear();
    auto fetched = inner_.QueryComputerSystemProduct(missing);
    for (std::size_t i = 0; i < missing.size(); ++i) {
      answers_.emplace(missing[i],
                       i < fetched.size() ? std::move(fetched[i]) : Result<std::wstring>::Fail(err::kWbemFailed));
    }
  }
  std::vector<Result<std::wstring>> out;
  out.reserve(names.size());
  for (const auto& name : names) out.push_back(answers_.at(name));
  return out;
}

}  // namespace tv
