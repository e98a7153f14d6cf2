// INSTALL_DRIVER places the driver package and updates or stages the drivers;
// REMOVE_DRIVER removes devices by hardware ID; SCAN_DEVICE rescans the tree.
#pragma once

#include "script/command.h"

namespace tv {

void HandleInstallDriver(const CommandCall& call);
void HandleRemoveDriver(const CommandCall& call);
void HandleScanDevice(const CommandCall& call);

}  // namespace tv
