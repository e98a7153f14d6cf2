#include "controllers/modem_ctrl.h"

#include "devices/device_walk.h"

namespace tv {

CModemCtrl::CModemCtrl(const Platform& platform)
    : CDevBaseCtrl(platform), action(platform), context(platform), modemTrace(platform), platform_(platform) {
  regionCode = context.RegionCode();
}

int CModemCtrl::IsExist() {
  modemTrace.Trace(L"ModemCtrl->IsExist->start");
  auto set = platform_.devices.ClassDevs(kModemClass, L"", dev::kDigcfPresent);
  if (!set) {
    modemTrace.Trace(L"ModemCtrl->IsExist->GetClassDevs() Error");
    return 0;
  }
  // The first modem-class device with hardware IDs is the modem.
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t, const std::vector<std::wstring>& ids) {
    if (ids.empty()) return Visit::kNext;
    foundHardwareId = CutTo(ids.front(), kRoomHardwareId);
    return Visit::kStop;
  });
  if (end.stopped) {
    modemTrace.Trace(L"ModemCtrl->IsExist->Found %s", foundHardwareId);
    return 1;
  }
  if (end.propertyFailed) {
    modemTrace.Trace(L"ModemCtrl->IsExist->Unknown Error");
  } else if (end.lastError != err::kNoMoreItems) {
    modemTrace.Trace(L"ModemCtrl->IsExist->Error");
  } else {
    modemTrace.Trace(L"ModemCtrl->IsExist->Could not find modem");
  }
  modemTrace.Trace(L"ModemCtrl->IsExist->End");
  return 0;
}

int CModemCtrl::InitRegion(std::wstring_view section) {
  return action.AddDelRegFromIni(context.setupScriptPath, section, regionCode);
}

int CModemCtrl::InitHomolTime(std::uint32_t access) {
  modemTrace.Trace(L"ModemCtrl->InitHomolTime->start");
  std::uint8_t stamp[4] = {0, 0, 0, 0};
  auto key = platform_.registry.OpenKey(RegRoot::kLocalMachine, kSoftModemKey, access);
  if (!key) {
    modemTrace.Trace(L"ModemCtrl->InitHomolTime->Open registry fail");
    return 0;
  }
  auto value = (*key)->QueryValue(L"HomolTimeStamp", 4);
  auto asNumber = [&] { return DwordFromRegistryData(stamp); };
  if (value) {
    for (std::size_t i = 0; i < value->data.size() && i < 4; ++i) stamp[i] = value->data[i];
    modemTrace.Trace(L"ModemCtrl->InitHomolTime->Get Homol Time=0x%04x ", asNumber());
    stamp[0] = stamp[0] == 0 ? 1 : 0;
  } else {
    modemTrace.Trace(L"ModemCtrl->InitHomolTime->Get Homol Time Error");
  }
  modemTrace.Trace(L"ModemCtrl->InitHomolTime->Set Homol Time=0x%04x", asNumber());
  if ((*key)->SetValue(L"HomolTimeStamp", reg::kTypeBinary, stamp) != err::kSuccess) {
    modemTrace.Trace(L"ModemCtrl->InitHomolTime->Set Homol Time Error");
    return 0;
  }
  modemTrace.Trace(L"ModemCtrl->InitHomolTime->end");
  return 1;
}

}  // namespace tv
