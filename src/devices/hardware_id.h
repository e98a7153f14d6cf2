// Which hardware IDs may select devices, and how. An ID with a device part
// after its enumerator's backslash, or a compatible ID of the "*PNP0A03"
// form, selects by prefix, as the lookup has always matched. An ID without a
// backslash (the standard modem's MDMGEN336, ms_ndiswanip) selects only the
// devices that carry exactly that ID: as a prefix it could reach into any
// other. An ID that is empty, "*", or an enumerator alone ("PCI", "PCI\",
// "ROOT\") names a whole bus and is refused.
#pragma once

#include <string_view>

namespace tv {

// False for an ID that is refused: it names no more than a bus or a wildcard.
bool NamesDevices(std::wstring_view id);

// Whether a device's hardware ID `deviceId` is selected by `id` (one that
// NamesDevices takes): by prefix, or whole for an ID without a backslash.
bool IdSelects(std::wstring_view deviceId, std::wstring_view id);

// Whether `id` is matched whole rather than as a prefix.
bool MatchedWhole(std::wstring_view id);

}  // namespace tv
