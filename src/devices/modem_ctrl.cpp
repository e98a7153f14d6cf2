#include "devices/modem_ctrl.h"

namespace tv {

CModemCtrl::CModemCtrl(const Platform& platform)
    : CDevBaseCtrl(platform), action(platform), context(platform), modemTrace(platform) {
  regionCode = context.RegionCode();
}

}  // namespace tv
