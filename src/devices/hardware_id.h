// Which hardware IDs may select devices. The lookup matches by prefix, so an
// ID that is empty or names no more than a bus or a wildcard would match
// every device on it, the buses themselves included.
#pragma once

#include <string_view>

namespace tv {

// True when `id` names devices: an enumerator with a device part after its
// backslash (PCI\VEN_8086&DEV_4229, USB\VID_0BDB&PID_1900&MI_00,
// ACPI\PNP0C0A), or a compatible ID of the "*PNP0A03" form. False for an
// empty ID, "*", "PCI", "PCI\", "ROOT\" and the like.
bool NamesDevices(std::wstring_view id);

}  // namespace tv
