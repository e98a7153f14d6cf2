#include "devices/hardware_id.h"

#include <algorithm>
#include <iterator>

#include "platform/text.h"

namespace tv {

namespace {

// The enumerators of Windows' device tree: each alone, as a prefix, would
// select every device on its bus.
constexpr std::wstring_view kEnumerators[]{
    L"1394",        L"ACPI",   L"ACPI_HAL", L"BTH",    L"BTHENUM",  L"DISPLAY", L"HDAUDIO",
    L"HID",         L"HTREE",  L"IDE",      L"ISAPNP", L"LPTENUM",  L"MF",      L"PCI",
    L"PCIIDE",      L"PCMCIA", L"ROOT",     L"SCSI",   L"SD",       L"SERENUM", L"STORAGE",
    L"SW",          L"SWD",    L"UMB",      L"USB",    L"USBPRINT", L"USBSTOR", L"WPDBUSENUMROOT",
    L"BTHLEDEVICE", L"BTHLE"};

std::wstring_view Trimmed(std::wstring_view id) {
  while (!id.empty() && (id.front() == L' ' || id.front() == L'\t')) id.remove_prefix(1);
  while (!id.empty() && (id.back() == L' ' || id.back() == L'\t')) id.remove_suffix(1);
  return id;
}

}  // namespace

bool NamesDevices(std::wstring_view id) {
  id = Trimmed(id);
  std::wstring_view bare = id;
  while (!bare.empty() && bare.back() == L'\\') bare.remove_suffix(1);
  if (std::all_of(bare.begin(), bare.end(), [](wchar_t c) { return c == L'*'; })) return false;
  // "NAME\" is a bus whatever its name; "PCI" alone is one too.
  if (bare.size() != id.size() && bare.find(L'\\') == std::wstring_view::npos) return false;
  return std::none_of(std::begin(kEnumerators), std::end(kEnumerators),
                      [&](std::wstring_view e) { return EqualsNoCase(e, bare); });
}

bool MatchedWhole(std::wstring_view id) {
  id = Trimmed(id);
  return !id.empty() && id.front() != L'*' && id.find(L'\\') == std::wstring_view::npos;
}

bool IdSelects(std::wstring_view deviceId, std::wstring_view id) {
  return MatchedWhole(id) ? EqualsNoCase(deviceId, Trimmed(id)) : StartsWithNoCase(deviceId, id);
}

}  // namespace tv
