// The WMI product values: one enumeration of Win32_ComputerSystemProduct.
#include "platform/win32/win32_parts.h"

#include <ole2.h>
#include <wbemidl.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win32/handles.h"

namespace tv::win32 {

namespace {

// The WMI locator and its interface, as the COM registration names them.
const CLSID kClsidWbemLocator = {0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

class Product final : public IProductInfo {
 public:
  std::vector<Result<std::wstring>> QueryComputerSystemProduct(std::span<const std::wstring> names) override {
    std::vector<Result<std::wstring>> out(names.size(), Result<std::wstring>::Fail(err::kWbemFailed));
    OleSession ole;
    ComPtr<IWbemLocator> locator;
    HRESULT hr =
        ::CoCreateInstance(kClsidWbemLocator, nullptr, CLSCTX_INPROC_SERVER, kIidWbemLocator, locator.put_void());
    if (FAILED(hr) || !locator) return out;
    ComPtr<IWbemServices> services;
    const UniqueBstr ns(L"\\\\.\\root\\CIMV2");
    hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
    if (FAILED(hr) || !services) return out;
    hr = ::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, COLE_DEFAULT_PRINCIPAL,
                             RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    if (FAILED(hr)) return out;
    ComPtr<IEnumWbemClassObject> instances;
    const UniqueBstr cls(L"Win32_ComputerSystemProduct");
    hr = services->CreateInstanceEnum(cls.get(), 0, nullptr, instances.put());
    if (FAILED(hr) || !instances) return out;
    ComPtr<IWbemClassObject> product;
    ULONG returned = 0;
    hr = instances->Next(2000, 1, product.put(), &returned);
    // A time-out is a success code too, but no answer.
    if (hr != WBEM_S_NO_ERROR || returned == 0 || !product) return out;
    for (std::size_t i = 0; i < names.size(); ++i) {
      UniqueVariant value;
      hr = product->Get(names[i].c_str(), 0, value.get(), nullptr, nullptr);
      if (FAILED(hr)) {
        out[i] = Result<std::wstring>::Fail(static_cast<WinError>(hr));
        continue;
      }
      // A value that is no string (null when the firmware gives none), or
      // whose ANSI form does not fit 259 bytes, is not taken.
      if (value.get()->vt != VT_BSTR || value.get()->bstrVal == nullptr) {
        out[i] = Result<std::wstring>::Fail(err::kInvalidData);
        continue;
      }
      char ansi[260];
      if (::WideCharToMultiByte(CP_ACP, 0, value.get()->bstrVal, -1, ansi, sizeof(ansi), nullptr, nullptr) == 0) {
        out[i] = Result<std::wstring>::Fail(static_cast<WinError>(::GetLastError()));
        continue;
      }
      out[i] = Result<std::wstring>::Ok(CutTo(value.get()->bstrVal, kRoomPath));
    }
    return out;
  }
};

}  // namespace

std::unique_ptr<IProductInfo> MakeProductInfo() { return std::make_unique<Product>(); }

}  // namespace tv::win32
