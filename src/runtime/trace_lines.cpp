#include "runtime/trace_lines.h"

#include <array>
#include <cwctype>

namespace tv {

namespace {

using K = LineKind;

constexpr K P = K::kProgress;
constexpr K B = K::kBenign;
constexpr K F = K::kFailure;
constexpr K C = K::kCheck;
constexpr K R = K::kRestart;

constexpr std::array kLines{
    // The run
    TraceLine{L"Version=%s Region=%s", P},
    TraceLine{L"FORCE REGION MODE!! Version=%s Region=%s", P},
    TraceLine{L"Warning: users who are no administrators can change %s: any of them can change what this run does", B},
    TraceLine{L"Test mode is enabled.\n", P},
    TraceLine{L"Error to avoid execute doubly", C},
    TraceLine{L"The mutex %s was made by a user who is no administrator: it is no copy of this tool, which runs", B},
    TraceLine{L"Not found Kernel32.dll", F},
    TraceLine{L"The tool's path is longer than %u characters: no setup script is read", F},
    TraceLine{L"ERROR:DispatchCommand->Wow64DisableWow64FsRedirection %s, the command does not run", F},
    TraceLine{L"ERROR:DispatchCommand->Wow64RevertWow64FsRedirection %s, the run stops", F},
    TraceLine{L"%s=%u in [%s] is more than %u ms: the pause is %u ms", F},
    TraceLine{L"%s=%u in [%s] is more than %u: %u are read", F},
    // Machine checks
    TraceLine{L"Error check Vendor %s", C},
    TraceLine{L"WOW6432 process", C},
    TraceLine{L"Could not find modem device", C},
    TraceLine{L"Could not find wireless LAN device", C},
    TraceLine{L"Could not find wireless modem device", C},
    TraceLine{L"Error did not find any HWID!", C},
    TraceLine{L"CHECK_HWID:%s\n", P},
    TraceLine{L"Detect HWID %s=%s", P},
    TraceLine{L"IsExistByReg Device TickCount=%d", P},
    TraceLine{L"IsExistByReg Found Device TickCount=%d", P},
    TraceLine{L"IsExistByReg reg query count = %d TickCount=%d DevCount=%d", P},
    TraceLine{L"IsExistByReg skip ID %s%u that names no device", F},
    TraceLine{L"IsExistByReg skip too long ID %s%u", F},
    TraceLine{L"IsExistById:Refused ID = %s, it names no device", F},
    TraceLine{L"%s:Refused ID = %s, it names no device", F},
    TraceLine{L"SetupAPI ID = %s, Compare ID = %s", P},
    TraceLine{L"Found! = %s\n", P},
    TraceLine{L"ModemCtrl->IsExist->start", P},
    TraceLine{L"ModemCtrl->IsExist->End", P},
    TraceLine{L"ModemCtrl->IsExist->Found %s", P},
    TraceLine{L"ModemCtrl->IsExist->Could not find modem", B},
    TraceLine{L"ModemCtrl->IsExist->GetClassDevs() Error", F},
    TraceLine{L"ModemCtrl->IsExist->Error", F},
    TraceLine{L"ModemCtrl->IsExist->Unknown Error", F},
    // Region and time stamp
    TraceLine{L"Initialize modem region", P},
    TraceLine{L"Initialize telephony region", P},
    TraceLine{L"Initialize homol time stamp", P},
    TraceLine{L"Initialize homol time stamp wow64", P},
    TraceLine{L"Initialize homol time stamp wow6432", P},
    TraceLine{L"ModemCtrl->InitHomolTime->start", P},
    TraceLine{L"ModemCtrl->InitHomolTime->end", P},
    TraceLine{L"ModemCtrl->InitHomolTime->Get Homol Time=0x%04x ", P},
    TraceLine{L"ModemCtrl->InitHomolTime->Set Homol Time=0x%04x", P},
    TraceLine{L"ModemCtrl->InitHomolTime->Get Homol Time Error", F},
    TraceLine{L"ModemCtrl->InitHomolTime->Set Homol Time Error", F},
    TraceLine{L"ModemCtrl->InitHomolTime->Open registry fail", F},
    // Driver install
    TraceLine{L"Install Driver Section=%s", P},
    TraceLine{L"InstallDriver:Error DESTDIR=%s is a folder that Windows keeps under %s", F},
    TraceLine{L"InstallDriver:Error DESTDIR=%s is not a folder under %s", F},
    TraceLine{L"InstallDriver:Error the install folder %s is, holds or lies in the tool's own folder %s", F},
    TraceLine{L"UpdateDriverForPlugAndPlayDevices %s ,%s", P},
    TraceLine{L"Error UpdateDriverForPlugAndPlayDevices", F},
    TraceLine{L"UpdateDriverForPlugAndPlayDevices:Error %s ,%s ERROR=0x%08X", F},
    TraceLine{L"Error CopyFiles", F},
    TraceLine{L"CopyFiles:CopyFile %s ERROR=%d", F},
    TraceLine{L"CopyFiles:CreateDirectory ERROR=%d", F},
    TraceLine{L"CopyFiles:FindFirstFile ERROR=InvalidHandle", F},
    TraceLine{L"CopyFiles:Skip link %s", B},
    // A first install finds no old install folder to delete.
    TraceLine{L"DeleteDirectory:FindFirstFile ERROR=InvalidHandle", B},
    TraceLine{L"DeleteDirectory:DeleteFile %s ERROR=%d", F},
    TraceLine{L"DeleteDirectory:RemoveDirectory %s ERROR=%d", F},
    TraceLine{L"DeleteDirectory:Remove link %s", P},
    TraceLine{L"SCAN DEVICE %s %s", P},
    // Device removal
    TraceLine{L"REMOVE_DRIVER %s %s", P},
    TraceLine{L"RemoveDriver:Skip DEV%d=%s, it names no device", F},
    TraceLine{L"RemoveDevice:Refused ID = %s, it names no device", F},
    TraceLine{L"GetClassDevs(All Present Devices)", P},
    TraceLine{L"CallClassInstaller(REMOVE)", P},
    TraceLine{L"Remove! = %s\n", P},
    TraceLine{L"Donot find. Cannot remove! = %s\n", B},
    TraceLine{L"GetDeviceRegistryProperty", F},
    TraceLine{L"EnumDeviceInfo", F},
    // Enabling and disabling devices
    TraceLine{L"EnableAllProperty %s", P},
    TraceLine{L"DisableAllProperty %s", P},
    TraceLine{L"Detect:Device is disabled->Enable device.", P},
    TraceLine{L"Detect:Device is enabled->Do not enable device.", P},
    TraceLine{L"Detect:Device is enabled->Disalbe device.", P},
    TraceLine{L"Detect:Device is not enabled.Do not disable device.", P},
    TraceLine{L"Detect:Device was disabled before the command->Do not enable device.", P},
    TraceLine{L"RestoreDisabledDevices:Enable %s again", P},
    TraceLine{L"EnableRecordedDevices:Enable %s, a run that was ended left it disabled", P},
    TraceLine{L"EnableRecordedDevices:%s is not present, its record is kept", B},
    // 259: the walk over the devices reached its end, as every walk does.
    TraceLine{L"ERROR:EnabledProperty->erro code 259", B},
    TraceLine{L"ERROR:DisabledProperty->erro code 259", B},
    TraceLine{L"ERROR:EnabledProperty->erro code %d", F},
    TraceLine{L"ERROR:DisabledProperty->erro code %d", F},
    TraceLine{L"ERROR:EnabledProperty->SetupDiGetClassDevsEx", F},
    TraceLine{L"ERROR:DisabledProperty->SetupDiGetClassDevsEx", F},
    TraceLine{L"ERROR:EnabledProperty->SetupDiGetDeviceInfoListDetail", F},
    TraceLine{L"ERROR:DisabledProperty->SetupDiGetDeviceInfoListDetail", F},
    TraceLine{L"Unknown Fail:EnabledProperty->SetupDiGetDeviceRegistryProperty", F},
    TraceLine{L"Unknown Fail:DisabledProperty->SetupDiGetDeviceRegistryProperty", F},
    TraceLine{L"ERROR:EnabledProperty->CM_Get_DevNode_Status", F},
    TraceLine{L"ERROR:DisabledProperty->CM_Get_DevNode_Status", F},
    TraceLine{L"ERROR:EnabledProperty->SetupDiEnumDeviceInfo", F},
    TraceLine{L"ERROR:DisabledProperty->SetupDiGetDeviceInstanceId, the device is not disabled", F},
    TraceLine{L"ERROR:RestoreDisabledDevices->%s is still disabled", F},
    TraceLine{L"ERROR:RestoreDisabledDevices->SetupDiGetClassDevsEx", F},
    TraceLine{L"ERROR:EnableRecordedDevices->%s is still disabled", F},
    // On 64-bit Windows the device calls refused to the 32-bit tool go to its companion.
    TraceLine{L"Wow64:the 64-bit companion %s was not found", F},
    TraceLine{L"Wow64:the 64-bit companion %s could not be started, error %u", F},
    TraceLine{L"Wow64:the 64-bit companion %s gave no result, error %u", F},
    TraceLine{L"ERROR:EnableRecordedDevices->SetupDiGetClassDevsEx", F},
    TraceLine{L"ERROR:DisabledProperty->%s is not recorded, a run ended now leaves it disabled", F},
    // DI_NEEDRESTART or DI_NEEDREBOOT after a device change: done, once Windows restarts.
    TraceLine{L"ERROR:StateChange->SetupDiGetDeviceInstallParams", R},
    TraceLine{L"ERROR:StateChange->SetupDiSetClassInstallParams", F},
    TraceLine{L"Could not open wireless LAN device", F},
    TraceLine{L"Could not open wireless modem device", F},
    TraceLine{L"WriteWORReg TargetPath=%s", P},
    // Registry through a generated INF
    TraceLine{L"Add registry from ini file %s", P},
    TraceLine{L"Add registry from ini file with UI LANG %s", P},
    TraceLine{L"AddDelRegFromIni:Start", P},
    TraceLine{L"AddDelRegFromIni:End", P},
    TraceLine{L"AddDelRegFromIni:SectionName=%s", P},
    TraceLine{L"AddDelRegFromIni:chRegCmdLine=%s", P},
    TraceLine{L"Create Inf file=%s", P},
    TraceLine{L"INI LINE=%s, \"%s\",\"%s\"\n", P},
    // A line of the generated INF, as it is written.
    TraceLine{L"%s, \"%s\",\"%s\",%s,%s\n", P},
    TraceLine{L"AddDelRegFromIni:Waiting for the end of process", P},
    TraceLine{L"AddDelRegFromIni:Error Section name iregal", F},
    TraceLine{L"AddDelRegFromIni:Error cound not find %s", F},
    TraceLine{L"AddDelRegFromIni:Skip DELREG%d: no key path, the whole root would be deleted", F},
    TraceLine{L"AddDelRegFromIni:Skip ADDREG%d: FLG_ADDREG_DELVAL without a value name deletes the key", F},
    TraceLine{L"ERR:AddDelRegFromIni:Do not find sInfPath=%s", F},
    TraceLine{L"ERR:AddDelRegFromIni:_tfopen() error", F},
    TraceLine{L"ERR:AddDelRegFromIni:fclose() error", F},
    TraceLine{L"ERR:AddDelRegFromIni:nAddReg || nDelReg <= 0 return FALSE", F},
    TraceLine{L"ERR:%s:_wunlink() error %s", F},
    TraceLine{L"DriverRegRoutine", P},
    TraceLine{L"DriverAddDelRegFromInf->chRegCmdLine", P},
    TraceLine{L"DriverAddDelRegFromInf:Skip DELREG%d: no value name, the whole driver key would be deleted", F},
    TraceLine{L"DriverAddDelRegFromInf:Skip ADDREG%d: FLG_ADDREG_DELVAL without a value name deletes the key", F},
    TraceLine{L"ERR:DriverAddDelRegFromInf:fclose() error", F},
    TraceLine{L"ERR:DriverAddDelRegFromInf:_tfopen() error", F},
    TraceLine{L"ERR:%s:no folder of its own could be made in %s, error %u", F},
    TraceLine{L"ERR:%s:the folder %s is left, error %u", F},
    // No such device on this machine: nothing to write to its driver key.
    TraceLine{L"Donot find.= %s\n", B},
    // Registry through a .reg file
    TraceLine{L"Add registry from reg file %s", P},
    TraceLine{L"Add registry from registry file with UI LANG %s", P},
    TraceLine{L"AddRegFromRegFile:Start", P},
    TraceLine{L"AddRegFromRegFile:End", P},
    TraceLine{L"AddRegFromRegFile:CMD=%s", P},
    TraceLine{L"AddRegFromRegFile:Waiting for the end of process", P},
    TraceLine{L"AddRegFromRegFile:Error could not find %s.", F},
    TraceLine{L"AddRegFromRegFile:Error no registry editor in the system folders", F},
    // Programs
    TraceLine{L"CreateProcessFromIni", P},
    TraceLine{L"CreateProcessFromIni-per region", P},
    TraceLine{L"CreateProcessFromIni-per UI Language %s", P},
    TraceLine{L"CreateProcessFromIni:section name =%s", P},
    TraceLine{L"CreateProcessFromIni:CMD=%d", P},
    TraceLine{L"CreateProcessFromIni(%s,%s,%s,%s) ", P},
    TraceLine{L"CreateProcessFromIni() Param was changed %s->%s", P},
    TraceLine{L"CreateProcessFromIni:sCmdExecute==%s", P},
    TraceLine{L"CreateProcessFromIni:Waiting for the end of process", P},
    TraceLine{L"CreateProcessFromIni:End", P},
    TraceLine{L"CreateProcessFromIni:Could not find CMD=%s", F},
    TraceLine{L"CreateProcessFromIni:Error iregal ini file =%s", F},
    TraceLine{L"TerminateProcess:%s\n", P},
    // Files and folders
    TraceLine{L"REMOVE FILE %s %s", P},
    TraceLine{L"Delete File %s", P},
    // The file to delete is not there: nothing to do.
    TraceLine{L"Can not find File %s", B},
    TraceLine{L"Error Delete File %s", F},
    TraceLine{L"Skip File %s: the folder %s on its path is a link", F},
    TraceLine{L"CopyFolders:Error FOLDER%d_DEST=%s: the folder %s on its path is a link", F},
    TraceLine{L"InstallDriver:Error the install folder %s: the folder %s on its path is a link", F},
    TraceLine{L"COPY FOLDER %s %s", P},
    TraceLine{L"CopyFolders:Start", P},
    TraceLine{L"CopyFolders:End", P},
    TraceLine{L"Success CopyFolders %s->%s", P},
    TraceLine{L"Error CopyFolders %s->%s", F},
    TraceLine{L"CopyFolders:Error FOLDER%d_DEST=%s is not a folder under %s", F},
    TraceLine{L"CopyFolders:Error FOLDER%d_DEST=%s lies in its source %s", F},
};

// One conversion at the start of `format` ("%s", "%04x", "%%"): its length
// and its letter.
std::pair<std::size_t, wchar_t> Conversion(std::wstring_view format) {
  std::size_t i = 1;
  while (i < format.size() && (format[i] == L'-' || format[i] == L'0' || format[i] == L'#')) ++i;
  while (i < format.size() && format[i] >= L'0' && format[i] <= L'9') ++i;
  if (i < format.size() && format[i] == L'.') {
    ++i;
    while (i < format.size() && format[i] >= L'0' && format[i] <= L'9') ++i;
  }
  if (i < format.size() && (format[i] == L'l' || format[i] == L'h')) ++i;
  return i < format.size() ? std::pair{i + 1, format[i]} : std::pair{format.size(), L'\0'};
}

bool IsDigitOf(wchar_t c, wchar_t conversion) {
  if (conversion == L'x' || conversion == L'X') return std::iswxdigit(c) != 0;
  return c >= L'0' && c <= L'9';
}

bool Match(std::wstring_view format, std::wstring_view message) {
  while (!format.empty()) {
    if (format.front() != L'%' || format.size() == 1) {
      if (message.empty() || message.front() != format.front()) return false;
      format.remove_prefix(1);
      message.remove_prefix(1);
      continue;
    }
    const auto [length, letter] = Conversion(format);
    const std::wstring_view rest = format.substr(length);
    switch (letter) {
      case L'%':
        if (message.empty() || message.front() != L'%') return false;
        format = rest;
        message.remove_prefix(1);
        continue;
      case L'c':
        if (message.empty()) return false;
        format = rest;
        message.remove_prefix(1);
        continue;
      case L's':
        // Any text, the shortest that lets the rest match first.
        for (std::size_t n = 0; n <= message.size(); ++n) {
          if (Match(rest, message.substr(n))) return true;
        }
        return false;
      default: {
        // A number: blanks of its width, a sign, one digit at least.
        std::size_t n = 0;
        while (n < message.size() && message[n] == L' ') ++n;
        if (n < message.size() && message[n] == L'-') ++n;
        const std::size_t first = n;
        while (n < message.size() && IsDigitOf(message[n], letter)) ++n;
        if (n == first) return false;
        for (std::size_t end = n; end > first; --end) {
          if (Match(rest, message.substr(end))) return true;
        }
        return false;
      }
    }
  }
  return message.empty();
}

std::size_t LiteralCharacters(std::wstring_view format) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < format.size();) {
    if (format[i] == L'%') {
      i += Conversion(format.substr(i)).first;
    } else {
      ++count;
      ++i;
    }
  }
  return count;
}

}  // namespace

std::string_view KindName(LineKind kind) {
  switch (kind) {
    case LineKind::kProgress: return "progress";
    case LineKind::kBenign: return "benign";
    case LineKind::kFailure: return "failure";
    case LineKind::kCheck: return "check";
    case LineKind::kRestart: return "restart";
  }
  return "progress";
}

std::span<const TraceLine> TraceLines() { return kLines; }

bool MatchesFormat(std::wstring_view format, std::wstring_view message) { return Match(format, message); }

const TraceLine* Classify(std::wstring_view message) {
  const TraceLine* best = nullptr;
  std::size_t bestLiterals = 0;
  for (const auto& line : kLines) {
    if (!Match(line.format, message)) continue;
    const std::size_t literals = LiteralCharacters(line.format);
    if (best == nullptr || literals > bestLiterals) {
      best = &line;
      bestLiterals = literals;
    }
  }
  return best;
}

}  // namespace tv
