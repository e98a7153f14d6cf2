// REMOVE_DRIVER and SCAN_DEVICE: remove devices by hardware ID, and have the
// device tree enumerated again.
#pragma once

#include "script/command.h"

namespace tv {

void HandleRemoveDriver(const CommandCall& call);
void HandleScanDevice(const CommandCall& call);

}  // namespace tv
