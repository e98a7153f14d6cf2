#include "actions/registry_inf.h"

#include <algorithm>
#include <cstdint>

#include "actions/action.h"
#include "devices/device_walk.h"
#include "platform/format.h"
#include "runtime/section_variant.h"
#include "runtime/setup_script.h"

namespace tv {

namespace {

constexpr std::wstring_view kStaticInf = L"StaticAddDel.inf";
constexpr std::wstring_view kDriverInf = L"DriverAddDel.inf";
constexpr std::wstring_view kAddHead = L"\r\n[Add.reg]\r\n";
constexpr std::wstring_view kDelHead = L"\r\n[Del.reg]\r\n";

// Where the generated INF is written: a folder made fresh under TEMP for this
// one command, which no one else may change, move or replace until it is
// removed. Under UAC the elevated tool's TEMP is the user's own folder, and
// any program of that user could rewrite a file there between its writing
// and the installer's reading; in LocalSystem's TEMP anyone may make a
// folder of the INF's name. None when TEMP is not set (nothing is ever
// written to the root of a drive), the folder cannot be made, or the path
// would not fit its room.
struct InfPlace {
  std::unique_ptr<IPrivateFolder> folder;
  std::wstring path;
};

std::optional<InfPlace> MakeInfPlace(const Platform& p, std::wstring_view name, const CDebugTrace& trace,
                                     std::wstring_view operation) {
  const auto temp = p.system.Environment(L"TEMP");
  if (!temp || temp->empty()) return std::nullopt;
  auto folder = p.files.CreatePrivateFolder(*temp);
  if (!folder) {
    trace.Trace(L"ERR:%s:no folder of its own could be made in %s, error %u", operation, *temp, folder.error());
    return std::nullopt;
  }
  std::wstring path = (*folder)->Path() + L"\\" + std::wstring(name);
  if (path.size() > kRoomPath) return std::nullopt;
  return InfPlace{std::move(*folder), std::move(path)};
}

// The INF is gone by now; its folder goes too, or the trace says it is left.
void RemoveInfFolder(InfPlace& place, const CDebugTrace& trace, std::wstring_view operation) {
  if (const WinError e = place.folder->Remove(); e != err::kSuccess) {
    trace.Trace(L"ERR:%s:the folder %s is left, error %u", operation, place.folder->Path(), e);
  }
}

// The INF installer's command line, from the system folder that Windows
// reports (a SystemRoot in the environment may name any folder); none when
// that cannot be had.
std::optional<std::wstring> InstallerCommandLine(const Platform& p, std::wstring_view inf) {
  const auto system = p.system.SystemDirectory();
  if (!system || system->empty()) return std::nullopt;
  return QuotedIfBlank(*system + L"\\rundll32.exe") + L" setupapi,InstallHinfSection DefaultInstall 128 " +
         std::wstring(inf);
}

enum class WriteResult { kWritten, kOpenFailed, kCloseFailed };

// A fresh file every time, byte-order mark first: a file that an interrupted
// run, or anyone who can write to TEMP, left there is never handed on.
WriteResult WriteInf(const Platform& p, std::wstring_view path, std::wstring_view text) {
  auto file = p.files.CreateNewFile(path);
  if (!file) return WriteResult::kOpenFailed;
  std::vector<std::uint8_t> bytes{0xFF, 0xFE};
  bytes.reserve(2 + text.size() * 2);
  for (wchar_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  const WinError written = (*file)->Write(bytes);
  const WinError closed = (*file)->Close();
  return written == err::kSuccess && closed == err::kSuccess ? WriteResult::kWritten : WriteResult::kCloseFailed;
}

void RunInstaller(const Platform& p, std::wstring_view commandLine, CDebugTrace* trace, const wchar_t* waitingLine) {
  if (auto process = p.processes.Create(commandLine, 0, SystemProgramFolder(p.system))) {
    if (trace != nullptr) trace->Trace(L"%s", std::wstring_view(waitingLine));
    (*process)->WaitForExit();
  }
}

// The generated INF goes when it is done with, or when it could not be
// written whole; if it cannot be deleted the trace says that it is left.
void RemoveInf(const Platform& p, std::wstring_view inf, const CDebugTrace& trace, std::wstring_view operation) {
  if (p.files.DeleteFile(inf) != err::kSuccess) trace.Trace(L"ERR:%s:_wunlink() error %s", operation, inf);
}

// The key of one field of a list entry: ADDREG1_ROOT, DELREG2_ENTRYNAME.
std::wstring EntryKey(const wchar_t* list, std::uint32_t i, const wchar_t* field) {
  return Format(L"%s%d_%s", list, i, field);
}

// A key path or value name as a quoted INF field: a quotation mark is
// doubled, and so is a percent sign, which would begin a string substitution.
std::wstring Quoted(std::wstring_view text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'%') out += c;
    out += c;
  }
  return out + L"\"";
}

}  // namespace

bool AddEntryDeletesKey(std::wstring_view flags, std::wstring_view valueName) {
  // The field the flags become: up to a comma or a comment, without blanks
  // and quotation marks around it.
  flags = flags.substr(0, std::min(flags.find_first_of(L",;"), flags.size()));
  std::wstring field;
  for (wchar_t c : flags) {
    if (c != L'"') field += c;
  }
  while (!field.empty() && (field.back() == L' ' || field.back() == L'\t')) field.pop_back();
  std::size_t i = 0;
  while (i < field.size() && (field[i] == L' ' || field[i] == L'\t')) ++i;
  // strtol in base 0 that must take the whole field; past 32 bits it is clamped.
  bool negative = false;
  if (i < field.size() && (field[i] == L'+' || field[i] == L'-')) negative = field[i++] == L'-';
  std::uint32_t base = 10;
  if (i + 1 < field.size() && field[i] == L'0' && (field[i + 1] == L'x' || field[i + 1] == L'X')) {
    base = 16;
    i += 2;
  } else if (i < field.size() && field[i] == L'0') {
    base = 8;
  }
  if (i >= field.size()) return false;
  std::uint64_t value = 0;
  for (; i < field.size(); ++i) {
    const wchar_t c = field[i];
    std::uint32_t digit = 99;
    if (c >= L'0' && c <= L'9') digit = static_cast<std::uint32_t>(c - L'0');
    if (c >= L'a' && c <= L'f') digit = static_cast<std::uint32_t>(c - L'a' + 10);
    if (c >= L'A' && c <= L'F') digit = static_cast<std::uint32_t>(c - L'A' + 10);
    if (digit >= base) return false;
    value = std::min<std::uint64_t>(value * base + digit, 0x100000000ULL);
  }
  std::int64_t signedValue = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  signedValue = std::clamp<std::int64_t>(signedValue, INT32_MIN, INT32_MAX);
  const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(signedValue));
  constexpr std::uint32_t kDelVal = 0x00000004;
  constexpr std::uint32_t kKeyOnlyCommon = 0x00002000;
  constexpr std::uint32_t kDelRegBit = 0x00008000;  // the installer skips such an add entry
  if ((bits & kDelRegBit) != 0 || (bits & kDelVal) == 0) return false;
  return valueName.empty() || (bits & kKeyOnlyCommon) != 0;
}

std::wstring InfFrame(std::uint32_t addCount, std::uint32_t deleteCount) {
  std::wstring text = L"[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[DefaultInstall]\r\n";
  if (addCount > 0) text += L"AddReg = Add.reg\r\n";
  if (deleteCount > 0) text += L"DelReg = Del.reg\r\n";
  return text;
}

int CAction::AddDelRegFromIni(std::wstring_view script, std::wstring_view section, std::wstring_view variant) {
  const Platform& p = platform();
  IProfile& profile = p.profile;
  trace.Trace(L"AddDelRegFromIni:Start");
  if (!p.files.Exists(script)) {
    trace.Trace(L"AddDelRegFromIni:Error cound not find %s", script);
    return 0;
  }
  if (section.empty()) {
    trace.Trace(L"AddDelRegFromIni:Error Section name iregal");
    return 0;
  }
  const std::wstring chosen = CutTo(SelectSectionVariant(profile, script, section, variant), kRoomPath);
  trace.Trace(L"AddDelRegFromIni:SectionName=%s", chosen);
  auto place = MakeInfPlace(p, kStaticInf, trace, L"AddDelRegFromIni");
  const std::optional<std::wstring> inf = place ? std::optional(place->path) : std::nullopt;
  trace.Trace(L"Create Inf file=%s", inf.value_or(L"\\" + std::wstring(kStaticInf)));

  const std::uint32_t addCount = ReadScriptCount(profile, script, chosen, L"ADDREG", trace);
  const std::uint32_t deleteCount = ReadScriptCount(profile, script, chosen, L"DELREG", trace);
  if (addCount == 0 && deleteCount == 0) {
    trace.Trace(L"ERR:AddDelRegFromIni:nAddReg || nDelReg <= 0 return FALSE");
    return 0;
  }
  const auto commandLine = inf ? InstallerCommandLine(p, *inf) : std::nullopt;
  if (!inf || !commandLine) {
    trace.Trace(L"ERR:AddDelRegFromIni:_tfopen() error");
    return 0;
  }

  auto read = [&](const wchar_t* list, std::uint32_t i, const wchar_t* field) {
    return ReadScriptString(profile, script, chosen, EntryKey(list, i, field), kRoomPath);
  };
  std::wstring text = InfFrame(addCount, deleteCount);
  if (addCount > 0) {
    text += kAddHead;
    for (std::uint32_t i = 1; i <= addCount; ++i) {
      const std::wstring root = read(L"ADDREG", i, L"ROOT");
      const std::wstring subkey = read(L"ADDREG", i, L"SUBKEY");
      const std::wstring name = read(L"ADDREG", i, L"ENTRYNAME");
      const std::wstring flags = read(L"ADDREG", i, L"FLAGS");
      const std::wstring value = read(L"ADDREG", i, L"VALUE");
      // The trace gives the values as the script gives them; only the file is escaped.
      trace.Trace(L"%s, \"%s\",\"%s\",%s,%s\n", root, subkey, name, flags, value);
      if (AddEntryDeletesKey(flags, name)) {
        trace.Trace(L"AddDelRegFromIni:Skip ADDREG%d: FLG_ADDREG_DELVAL without a value name deletes the key", i);
        continue;
      }
      text += root + L", " + Quoted(subkey) + L"," + Quoted(name) + L"," + flags + L"," + value + L" \r\n";
    }
  }
  if (deleteCount > 0) {
    text += kDelHead;
    for (std::uint32_t i = 1; i <= deleteCount; ++i) {
      const std::wstring root = read(L"DELREG", i, L"ROOT");
      const std::wstring subkey = read(L"DELREG", i, L"SUBKEY");
      const std::wstring name = read(L"DELREG", i, L"ENTRYNAME");
      trace.Trace(L"INI LINE=%s, \"%s\",\"%s\"\n", root, subkey, name);
      // Without a key path the line names the root itself, which the installer empties.
      if (!StaticDeleteEntryIsWritten(subkey)) {
        trace.Trace(L"AddDelRegFromIni:Skip DELREG%d: no key path, the whole root would be deleted", i);
        continue;
      }
      text += name.empty() ? root + L", " + Quoted(subkey) + L" \r\n"
                           : root + L", " + Quoted(subkey) + L"," + Quoted(name) + L"\r\n";
    }
  }

  switch (WriteInf(p, *inf, text)) {
    case WriteResult::kOpenFailed: trace.Trace(L"ERR:AddDelRegFromIni:_tfopen() error"); return 0;
    case WriteResult::kCloseFailed:
      trace.Trace(L"ERR:AddDelRegFromIni:fclose() error");
      RemoveInf(p, *inf, trace, L"AddDelRegFromIni");
      RemoveInfFolder(*place, trace, L"AddDelRegFromIni");
      return 0;
    case WriteResult::kWritten: break;
  }
  if (!p.files.Exists(*inf)) {
    trace.Trace(L"ERR:AddDelRegFromIni:Do not find sInfPath=%s", *inf);
    return 0;
  }
  trace.Trace(L"AddDelRegFromIni:chRegCmdLine=%s", *commandLine);
  RunInstaller(p, *commandLine, &trace, L"AddDelRegFromIni:Waiting for the end of process");
  RemoveInf(p, *inf, trace, L"AddDelRegFromIni");
  RemoveInfFolder(*place, trace, L"AddDelRegFromIni");
  trace.Trace(L"AddDelRegFromIni:End");
  return 1;
}

int CAction::DriverAddDelRegFromInf(std::wstring_view script, std::wstring_view section,
                                    std::wstring_view driverKeyPath) {
  const Platform& p = platform();
  IProfile& profile = p.profile;
  const std::uint32_t addCount = ReadScriptCount(profile, script, section, L"ADDREG", trace);
  const std::uint32_t deleteCount = ReadScriptCount(profile, script, section, L"DELREG", trace);
  if (addCount == 0 && deleteCount == 0) return 1;
  auto place = MakeInfPlace(p, kDriverInf, trace, L"DriverAddDelRegFromInf");
  const std::optional<std::wstring> inf = place ? std::optional(place->path) : std::nullopt;
  const auto commandLine = inf ? InstallerCommandLine(p, *inf) : std::nullopt;
  if (!inf || !commandLine) {
    trace.Trace(L"ERR:DriverAddDelRegFromInf:_tfopen() error");
    return 0;
  }

  auto read = [&](const wchar_t* list, std::uint32_t i, const wchar_t* field) {
    return ReadScriptString(profile, script, section, EntryKey(list, i, field), kRoomPath);
  };
  const std::wstring hklm = L"HKLM";
  std::wstring text = InfFrame(addCount, deleteCount);
  if (addCount > 0) {
    text += kAddHead;
    for (std::uint32_t i = 1; i <= addCount; ++i) {
      const std::wstring name = read(L"ADDREG", i, L"ENTRYNAME");
      const std::wstring flags = read(L"ADDREG", i, L"FLAGS");
      const std::wstring value = read(L"ADDREG", i, L"VALUE");
      const std::wstring subkey = read(L"ADDREG", i, L"SUBKEY");
      const std::wstring key =
          subkey.empty() ? std::wstring(driverKeyPath) : std::wstring(driverKeyPath) + L"\\" + subkey;
      if (AddEntryDeletesKey(flags, name)) {
        trace.Trace(L"DriverAddDelRegFromInf:Skip ADDREG%d: FLG_ADDREG_DELVAL without a value name deletes the key", i);
        continue;
      }
      text += hklm + L", " + Quoted(key) + L"," + Quoted(name) + L"," + flags + L"," + value + L"\r\n";
    }
  }
  if (deleteCount > 0) {
    text += kDelHead;
    for (std::uint32_t i = 1; i <= deleteCount; ++i) {
      const std::wstring name = read(L"DELREG", i, L"ENTRYNAME");
      // An empty value name deletes the whole driver key with everything below it.
      if (!DriverDeleteEntryIsWritten(name)) {
        trace.Trace(L"DriverAddDelRegFromInf:Skip DELREG%d: no value name, the whole driver key would be deleted", i);
        continue;
      }
      text += hklm + L", " + Quoted(driverKeyPath) + L"," + Quoted(name) + L"\r\n";
    }
  }
  switch (WriteInf(p, *inf, text)) {
    case WriteResult::kOpenFailed: trace.Trace(L"ERR:DriverAddDelRegFromInf:_tfopen() error"); return 0;
    case WriteResult::kCloseFailed:
      trace.Trace(L"ERR:DriverAddDelRegFromInf:fclose() error");
      RemoveInf(p, *inf, trace, L"DriverAddDelRegFromInf");
      RemoveInfFolder(*place, trace, L"DriverAddDelRegFromInf");
      return 0;
    case WriteResult::kWritten: break;
  }
  trace.Trace(L"DriverAddDelRegFromInf->chRegCmdLine");
  RunInstaller(p, *commandLine, nullptr, nullptr);
  RemoveInf(p, *inf, trace, L"DriverAddDelRegFromInf");
  RemoveInfFolder(*place, trace, L"DriverAddDelRegFromInf");
  return 1;
}

int CAction::DriverRegRoutine(std::wstring_view script, std::wstring_view section, std::wstring_view hardwareId) {
  constexpr std::wstring_view kClassKey = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
  auto set = platform().devices.AllPresentDevices();
  if (!set) {
    trace.Trace(L"GetClassDevs(All Present Devices)");
    return 0;
  }
  if (!(*set)->ListDetail()) return 0;
  // Only whole hardware IDs match here; the first matching device is the one.
  std::uint32_t device = 0;
  const WalkEnd end = WalkDevices(**set, [&](std::uint32_t i, const std::vector<std::wstring>& ids) {
    for (const auto& id : ids) {
      if (EqualsNoCase(id, hardwareId)) {
        device = i;
        return Visit::kStop;
      }
    }
    return Visit::kNext;
  });
  if (end.stopped) {
    trace.Trace(L"Found! = %s\n", hardwareId);
    trace.Trace(L"DriverRegRoutine");
    // Without its driver key name the device's entries have nowhere to go;
    // a key path past its room is not cut into another key's path.
    auto driverKey = (*set)->DriverKey(device);
    const std::wstring path = std::wstring(kClassKey) + (driverKey ? *driverKey : L"");
    if (!driverKey || path.size() > kRoomPath) return 0;
    DriverAddDelRegFromInf(script, section, path);
    return 1;
  }
  if (end.propertyFailed) {
    trace.Trace(L"GetDeviceRegistryProperty");
  } else if (end.lastError != err::kNoMoreItems) {
    trace.Trace(L"EnumDeviceInfo");
  }
  trace.Trace(L"Donot find.= %s\n", hardwareId);
  trace.Trace(L"DriverRegRoutine");
  return 0;
}

}  // namespace tv
