// The keywords of the setup script. Adding a keyword is one row here and one
// handler in the file of its family, which calls the action that does the work.
#include <array>

#include "script/command.h"
#include "script/device_commands.h"
#include "script/driver_commands.h"
#include "script/file_commands.h"
#include "script/machine_checks.h"
#include "script/program_commands.h"
#include "script/registry_commands.h"

namespace tv {

namespace {
constexpr std::array kKeywords{
    KeywordRow{L"CHECK_WOW6432", &HandleCheckWow6432},
    KeywordRow{L"CHECK_VENDOR", &HandleCheckVendor},
    KeywordRow{L"CMD_CP", &HandleCmdCp},
    KeywordRow{L"CMD_REGION", &HandleCmdRegion},
    KeywordRow{L"CMD_UILANG", &HandleCmdUiLang},
    KeywordRow{L"REG_INI", &HandleRegIni},
    KeywordRow{L"REG_INI_UILANG", &HandleRegIniUiLang},
    KeywordRow{L"REG_FILE", &HandleRegFile},
    KeywordRow{L"REG_FILE_UILANG", &HandleRegFileUiLang},
    KeywordRow{L"TPROCESS", &HandleTerminateProcess},
    KeywordRow{L"REMOVE_DRIVER", &HandleRemoveDriver},
    KeywordRow{L"SCAN_DEVICE", &HandleScanDevice},
    KeywordRow{L"REMOVE_FILES", &HandleRemoveFiles},
    KeywordRow{L"COPY_FOLDERS", &HandleCopyFolders},
    KeywordRow{L"INSTALL_DRIVER", &HandleInstallDriver},
    KeywordRow{L"CHECK_MODEM", &HandleCheckModem},
    KeywordRow{L"CHECK_WMODEM", &HandleCheckWModem},
    KeywordRow{L"CHECK_WIFI", &HandleCheckWifi},
    KeywordRow{L"CHECK_HWID", &HandleCheckHwid},
    KeywordRow{L"MODEM_REGION", &HandleModemRegion},
    KeywordRow{L"TELEPHONY_REGION", &HandleTelephonyRegion},
    KeywordRow{L"MODEM_HOMOL", &HandleModemHomol},
    KeywordRow{L"ENABLE_WOR_WMODEM", &HandleEnableWorWModem},
    KeywordRow{L"DISABLE_IWLAN_ASPM", &HandleDisableIwlanAspm},
    KeywordRow{L"DRIVER_REG", &HandleDriverReg},
};
}  // namespace

std::span<const KeywordRow> KeywordTable() { return kKeywords; }

}  // namespace tv
