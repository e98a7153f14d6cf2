// The keywords that work on devices: presence checks, the modem's region and
// homologation settings, device parameters, and registry entries under the
// driver keys of listed devices.
#pragma once

#include "script/command.h"

namespace tv {

void HandleCheckModem(const CommandCall& call);
void HandleCheckWModem(const CommandCall& call);
void HandleCheckWifi(const CommandCall& call);
void HandleCheckHwid(const CommandCall& call);
void HandleModemRegion(const CommandCall& call);
void HandleTelephonyRegion(const CommandCall& call);
void HandleModemHomol(const CommandCall& call);
void HandleEnableWorWModem(const CommandCall& call);
void HandleDisableIwlanAspm(const CommandCall& call);
void HandleDriverReg(const CommandCall& call);

}  // namespace tv
