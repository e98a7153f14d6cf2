#include "capture/capture.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <variant>

#include "actions/action.h"
#include "devices/companion_protocol.h"
#include "devices/disabled_record.h"
#include "platform/format.h"
#include "platform/reg_root.h"
#include "platform/shell_path.h"
#include "platform/text.h"
#include "runtime/setup_script.h"

namespace tv::capture {

namespace {

// ---- a small JSON writer: objects keep their keys sorted ----

struct Json;
using Object = std::map<std::string, Json>;
using Array = std::vector<Json>;
struct Json {
  std::variant<std::nullptr_t, bool, std::int64_t, std::string, Array, Object> v;
  Json() : v(nullptr) {}
  Json(std::nullptr_t) : v(nullptr) {}
  Json(bool b) : v(b) {}
  Json(std::int64_t n) : v(n) {}
  Json(std::uint32_t n) : v(static_cast<std::int64_t>(n)) {}
  Json(std::string s) : v(std::move(s)) {}
  Json(const char* s) : v(std::string(s)) {}
  Json(Array a) : v(std::move(a)) {}
  Json(Object o) : v(std::move(o)) {}
};

void Quote(const std::string& s, std::string& out) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
          out += buffer;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void Write(const Json& j, std::string& out, int indent) {
  const std::string pad(static_cast<std::size_t>(indent) * 2, ' ');
  const std::string inner(static_cast<std::size_t>(indent + 1) * 2, ' ');
  if (std::holds_alternative<std::nullptr_t>(j.v)) {
    out += "null";
  } else if (const bool* b = std::get_if<bool>(&j.v)) {
    out += *b ? "true" : "false";
  } else if (const std::int64_t* n = std::get_if<std::int64_t>(&j.v)) {
    out += std::to_string(*n);
  } else if (const std::string* s = std::get_if<std::string>(&j.v)) {
    Quote(*s, out);
  } else if (const Array* a = std::get_if<Array>(&j.v)) {
    if (a->empty()) {
      out += "[]";
      return;
    }
    out += "[\n";
    for (std::size_t i = 0; i < a->size(); ++i) {
      out += inner;
      Write((*a)[i], out, indent + 1);
      out += i + 1 < a->size() ? ",\n" : "\n";
    }
    out += pad + "]";
  } else if (const Object* o = std::get_if<Object>(&j.v)) {
    if (o->empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    std::size_t i = 0;
    for (const auto& [k, value] : *o) {
      out += inner;
      Quote(k, out);
      out += ": ";
      Write(value, out, indent + 1);
      out += ++i < o->size() ? ",\n" : "\n";
    }
    out += pad + "}";
  }
}

std::string U8(std::wstring_view s) { return ToUtf8(s); }

// ---- registry ----

constexpr std::size_t kMostKeys = 5000;
constexpr std::uint32_t kProblemDisabled = dev::kProblemDisabled;

// The UTF-16LE text of bytes [from, to).
std::wstring Utf16(const std::vector<std::uint8_t>& data, std::size_t from, std::size_t to) {
  std::wstring out;
  for (std::size_t i = from; i + 1 < to && i + 1 < data.size(); i += 2) {
    out += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
  }
  return out;
}

std::string Hex(const std::vector<std::uint8_t>& data) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) out += ' ';
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

// A value in the description's syntax; the note says what was changed.
Json ValueJson(const RegValue& value, std::string& note) {
  const auto& d = value.data;
  auto text = [&](std::size_t end) {
    std::wstring s = Utf16(d, 0, end);
    while (!s.empty() && s.back() == L'\0') s.pop_back();
    return s;
  };
  switch (value.type) {
    case reg::kTypeDword:
      if (d.size() == 4) return Json(DwordFromRegistryData(d));
      break;
    case reg::kTypeSz:
    case reg::kTypeExpandSz: {
      if (d.size() % 2 != 0) break;
      const std::wstring s = text(d.size());
      if (s.find(L'\0') != std::wstring::npos) break;
      if (value.type == reg::kTypeSz) return Json(U8(s));
      return Json(Object{{"expand_sz", U8(s)}});
    }
    case reg::kTypeMultiSz: {
      if (d.size() % 2 != 0) break;
      Array parts;
      std::wstring all = Utf16(d, 0, d.size());
      std::size_t start = 0;
      for (std::size_t i = 0; i <= all.size(); ++i) {
        if (i == all.size() || all[i] == L'\0') {
          if (i == start) break;
          parts.push_back(U8(all.substr(start, i - start)));
          start = i + 1;
        }
      }
      return Json(Object{{"multi_sz", parts}});
    }
    case reg::kTypeBinary: return Json(Object{{"binary", Hex(d)}});
    default: break;
  }
  note = "of type " + std::to_string(value.type) + ", kept as binary";
  return Json(Object{{"binary", Hex(d)}});
}

class Capturer {
 public:
  Capturer(const Platform& p, const Options& o) : p_(p), o_(o) {}

  std::string Run() {
    Object root;
    CaptureWindows(root);
    CaptureProduct(root);
    CaptureSwitches(root);
    CaptureEnvironment(root);
    CaptureDevices(root);
    CaptureProcesses(root);
    CaptureRegistry(root);
    CaptureMutex(root);
    CaptureDlls(root);
    CapturePackageRights(root);
    CaptureFolders(root);
    Array notes;
    for (const auto& n : notes_) notes.push_back(n);
    root["capture"] = Object{{"by", "tarnvale-capture " + o_.version}, {"notes", notes}};
    std::string out;
    Write(Json(root), out, 0);
    return out + "\n";
  }

 private:
  void Note(std::string text) { notes_.insert(std::move(text)); }

  void CaptureWindows(Object& root) {
    Object windows;
    if (auto v = p_.system.OsVersion()) {
      windows["version"] = std::to_string(v->major) + "." + std::to_string(v->minor);
      windows["build"] = v->build;
      windows["platform"] = v->platformId;
    } else {
      Note("GetVersionEx failed: error " + std::to_string(v.error()));
    }
    const auto isWow64 = p_.system.IsWow64Process();
    wow64_ = o_.process64 || (isWow64 && *isWow64);
    windows["wow64"] = wow64_;
    if (auto folder = p_.system.WindowsDirectory()) windows["folder"] = U8(*folder);
    root["windows"] = windows;
    char language[8];
    std::snprintf(language, sizeof language, "%04x", p_.system.UiLanguage());
    root["uiLanguage"] = language;
    root["ansiCodePage"] = p_.system.AnsiCodePage();
    // The 32-bit tool on 64-bit Windows is given the 32-bit Program Files.
    if (!wow64_ || o_.process64 == o_.tool64) {
      if (auto folder = p_.system.ProgramFilesFolder()) toolProgramFiles_ = *folder;
    } else if (auto x86 = p_.system.Environment(L"ProgramFiles(x86)")) {
      toolProgramFiles_ = *x86;
    } else if (auto native = p_.system.ProgramFilesFolder()) {
      // Where the variable is not set, the name Windows gives that folder.
      toolProgramFiles_ = *native + L" (x86)";
    }
    if (!toolProgramFiles_.empty()) root["programFilesFolder"] = U8(toolProgramFiles_);
  }

  void CaptureProduct(Object& root) {
    const std::vector<std::wstring> names{
        L"Caption", L"Description", L"IdentifyingNumber", L"Name", L"SKUNumber", L"UUID", L"Vendor", L"Version"};
    const auto values = p_.product.QueryComputerSystemProduct(names);
    Object product;
    bool any = false;
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
      if (values[i]) {
        product[U8(names[i])] = U8(*values[i]);
        any = true;
      } else {
        product[U8(names[i])] = nullptr;
      }
    }
    if (!any) Note("WMI gave no Win32_ComputerSystemProduct values");
    root["product"] = product;
  }

  // The switches as the tool reads them: the 32-bit view for the 32-bit
  // tool. For a 64-bit tool they stay registry entries of the native view.
  void CaptureSwitches(Object& root) {
    if (o_.tool64 && wow64_) return;
    auto key =
        p_.registry.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\VELTARO\\Quillmark", reg::kKeyRead | reg::kWow64_32Key);
    if (!key) return;
    for (const auto& [name, field] : {std::pair{L"DebugMode", "debugMode"}, std::pair{L"TestMode", "testMode"}}) {
      auto value = (*key)->QueryValue(name, 4);
      if (!value) continue;
      const std::uint32_t v = DwordFromRegistryData(value->data);
      root[field] = v;
    }
  }

  void CaptureEnvironment(Object& root) {
    Object env;
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramW6432", L"SystemRoot", L"TEMP", L"TMP", L"windir"}) {
      if (auto v = p_.system.Environment(name)) env[U8(name)] = U8(*v);
    }
    root["environment"] = env;
  }

  // ---- devices ----

  struct Device {
    Object json;
    std::vector<std::wstring> ids;
    std::wstring driverKey;
  };

  // The driver a device has, as Windows keeps it in the driver key: what a
  // driver update is ranked against. Whether it is signed is not kept there.
  std::optional<Object> InstalledDriver(const std::wstring& driverKey) {
    auto key = p_.registry.OpenKey(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + driverKey,
                                   reg::kKeyRead);
    if (!key) return std::nullopt;
    const auto text = [&](const wchar_t* name) -> std::optional<std::wstring> {
      auto value = (*key)->QueryValue(name, 2048);
      if (!value || value->type != reg::kTypeSz) return std::nullopt;
      std::wstring s;
      for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
        const auto c = static_cast<wchar_t>(value->data[i] | (value->data[i + 1] << 8));
        if (c == 0) break;
        s += c;
      }
      return s;
    };
    const auto matching = text(L"MatchingDeviceId");
    if (!matching) return std::nullopt;  // no driver was ever chosen for it
    Object driver;
    driver["matchingId"] = U8(*matching);
    if (auto inf = text(L"InfPath")) driver["inf"] = U8(*inf);
    if (auto version = text(L"DriverVersion")) driver["version"] = U8(*version);
    if (auto date = text(L"DriverDate")) {
      // Windows writes "m-d-yyyy".
      unsigned month = 0, day = 0, year = 0;
      if (std::swscanf(date->c_str(), L"%u-%u-%u", &month, &day, &year) == 3) {
        char iso[16];
        std::snprintf(iso, sizeof iso, "%04u-%02u-%02u", year, month, day);
        driver["date"] = std::string(iso);
      }
    }
    if (auto description = text(L"DriverDesc")) driver["description"] = U8(*description);
    return driver;
  }

  void CaptureDevices(Object& root) {
    auto set = p_.devices.AllPresentDevices();
    if (!set) {
      Note("SetupDiGetClassDevsEx failed: error " + std::to_string(set.error()));
      return;
    }
    std::map<std::string, Device> byInstance;
    for (std::uint32_t i = 0; i < 100000; ++i) {
      const WinError e = (*set)->Enum(i);
      if (e == err::kNoMoreItems) break;
      if (e != err::kSuccess) {
        Note("SetupDiEnumDeviceInfo failed at " + std::to_string(i) + ": error " + std::to_string(e));
        break;
      }
      Device d;
      auto instance = (*set)->InstanceId(i);
      if (!instance) {
        Note("a device without an instance ID was left out");
        continue;
      }
      d.json["instanceId"] = U8(*instance);
      if (auto c = (*set)->ClassGuid(i)) {
        d.json["class"] = U8(*c);
      } else {
        // A device of no class (some root devices): the description needs one.
        d.json["class"] = "{00000000-0000-0000-0000-000000000000}";
      }
      // The enumerator is the first part of the instance ID where the
      // property cannot be read.
      if (auto en = (*set)->Enumerator(i)) {
        d.json["enumerator"] = U8(*en);
      } else {
        d.json["enumerator"] = U8(instance->substr(0, instance->find(L'\\')));
      }
      if (auto ids = (*set)->HardwareIds(i)) {
        Array list;
        for (const auto& id : *ids) list.push_back(U8(id));
        d.json["hardwareIds"] = list;
        d.ids = *ids;
      } else {
        d.json["hardwareIds"] = nullptr;
      }
      if (auto ids = (*set)->CompatibleIds(i); ids && !ids->empty()) {
        Array list;
        for (const auto& id : *ids) list.push_back(U8(id));
        d.json["compatibleIds"] = list;
      }
      if (auto key = (*set)->DriverKey(i)) {
        d.json["driverKey"] = U8(*key);
        d.driverKey = *key;
        if (auto driver = InstalledDriver(*key)) d.json["driver"] = *driver;
      } else {
        d.json["driverKey"] = nullptr;  // no driver installed
      }
      if (auto status = (*set)->Status(i)) {
        if ((status->status & dev::kDnHasProblem) != 0 && status->problem == kProblemDisabled)
          d.json["disabled"] = true;
        if ((status->status & dev::kDnDisableable) == 0) d.json["disableable"] = false;
      }
      Object parameters;
      CaptureTree(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Enum\\" + *instance + L"\\Device Parameters", 0,
                  L"", parameters);
      if (!parameters.empty()) d.json["parameters"] = parameters;
      byInstance[U8(*instance)] = std::move(d);
    }
    Array devices;
    for (auto& [_, d] : byInstance) {
      devices.push_back(d.json);
      devices_.push_back(std::move(d));
    }
    root["devices"] = devices;
  }

  // A key's values and, below it, its subkeys as "sub\\path" members.
  void CaptureTree(RegRoot root, const std::wstring& path, std::uint32_t view, const std::wstring& relative,
                   Object& out) {
    if (++keysRead_ > kMostKeys) return;
    auto key = p_.registry.OpenKey(root, path, reg::kKeyRead | view);
    if (!key) return;
    Object values = Values(**key, U8(path));
    out[U8(relative)] = values;
    for (std::uint32_t i = 0;; ++i) {
      auto sub = (*key)->EnumSubKey(i);
      if (!sub) break;
      CaptureTree(root, path + L"\\" + *sub, view, relative.empty() ? *sub : relative + L"\\" + *sub, out);
    }
  }

  Object Values(IRegKey& key, const std::string& where, const std::set<std::wstring, LessNoCase>* only = nullptr) {
    Object values;
    for (std::uint32_t i = 0;; ++i) {
      auto value = key.EnumValue(i);
      if (!value) {
        if (value.error() != err::kNoMoreItems) {
          Note("values of " + where + " could not be read: error " + std::to_string(value.error()));
        }
        break;
      }
      if (only != nullptr && !only->contains(value->first)) continue;
      std::string note;
      const std::string name = value->first.empty() ? "@" : U8(value->first);
      values[name] = ValueJson(value->second, note);
      if (!note.empty()) Note(where + " value " + name + " " + note);
    }
    return values;
  }

  // ---- registry keys the tool and the script read ----

  struct WantedKey {
    RegRoot root;
    std::wstring path;
    bool tree;                                      // with everything below it
    std::set<std::wstring, LessNoCase> onlyValues;  // empty: all
  };

  void CaptureRegistry(Object& root) {
    std::vector<WantedKey> wanted{
        {RegRoot::kLocalMachine, L"SOFTWARE\\Veltaro\\WirelessDeviceID", false, {}},
        {RegRoot::kLocalMachine, L"SOFTWARE\\Agere\\SoftModem", false, {}},
        {RegRoot::kLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", false, {L"ProgramW6432Dir"}},
        // The devices a run that was ended left disabled, which the next run enables.
        {RegRoot::kLocalMachine, std::wstring(kDisabledDevicesKey), false, {}},
    };
    if (o_.tool64 && wow64_) wanted.push_back({RegRoot::kLocalMachine, L"SOFTWARE\\VELTARO\\Quillmark", false, {}});
    AddWirelessKeys(wanted);
    if (!o_.script.empty()) AddScriptKeys(wanted);
    std::map<std::string, Object> keys;  // by the description's key text
    for (const auto& w : wanted) {
      // On 64-bit Windows a key under SOFTWARE lives in two views; a
      // description names both by their native paths.
      const bool twoViews = wow64_ && w.root == RegRoot::kLocalMachine && StartsWithNoCase(w.path, L"SOFTWARE\\") &&
                            !StartsWithNoCase(w.path, L"SOFTWARE\\Wow6432Node");
      std::vector<std::pair<std::uint32_t, std::wstring>> views{{reg::kWow64_64Key, w.path}};
      if (twoViews) views.emplace_back(reg::kWow64_32Key, L"SOFTWARE\\Wow6432Node" + w.path.substr(8));
      if (!wow64_) views = {{0, w.path}};
      for (const auto& [view, native] : views) {
        if (w.tree) {
          Object tree;
          CaptureTree(w.root, twoViews ? w.path : native, view, L"", tree);
          for (auto& [relative, values] : tree) {
            std::string name =
                U8(RegRootShortName(w.root)) + "\\" + U8(native) + (relative.empty() ? "" : "\\" + relative);
            keys[name] = std::get<Object>(values.v);
          }
        } else {
          auto key = p_.registry.OpenKey(w.root, twoViews ? w.path : native, reg::kKeyRead | view);
          if (!key) continue;
          const std::string name = U8(RegRootShortName(w.root)) + "\\" + U8(native);
          keys[name] = Values(**key, name, w.onlyValues.empty() ? nullptr : &w.onlyValues);
        }
      }
    }
    if (keysRead_ > kMostKeys) Note("more than 5000 keys: the rest was left out");
    Array registry;
    for (auto& [name, values] : keys) {
      Object entry{{"key", name}};
      if (!values.empty()) entry["values"] = values;
      registry.push_back(entry);
    }
    root["registry"] = registry;
  }

  // Wake-on-ring is written below the Enum key of the 3G modem's first
  // interface, which its list entry names; the key need not be a device's.
  void AddWirelessKeys(std::vector<WantedKey>& wanted) {
    const std::uint32_t view = !wow64_ ? 0 : (o_.tool64 ? reg::kWow64_64Key : reg::kWow64_32Key);
    auto lists =
        p_.registry.OpenKey(RegRoot::kLocalMachine, L"SOFTWARE\\Veltaro\\WirelessDeviceID", reg::kKeyRead | view);
    if (!lists) return;
    for (std::uint32_t index = 0; index <= 200; ++index) {
      auto value = (*lists)->QueryValue(Format(L"3GID_SupportRL%u", index), 520);
      if (!value) break;
      const std::wstring entry = StringFromRegistryData(value->data);
      if (entry.empty()) continue;
      wanted.push_back({RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Enum\\" + entry + L"&MI_00", true, {}});
    }
  }

  void AddScriptKeys(std::vector<WantedKey>& wanted) {
    IProfile& profile = p_.profile;
    const auto sections = profile.ReadSectionNames(o_.script, 32767);
    if (sections.empty()) Note("the setup script " + U8(o_.script) + " has no sections or cannot be read");
    std::set<std::wstring, LessNoCase> ids;
    for (const auto& s : sections) {
      for (const wchar_t* list : {L"ADDREG", L"DELREG"}) {
        const std::uint32_t count = std::min<std::uint32_t>(profile.ReadInt(o_.script, s, list, 0), 1000);
        for (std::uint32_t n = 1; n <= count; ++n) {
          const std::wstring prefix = std::wstring(list) + std::to_wstring(n);
          const auto rootName = profile.ReadString(o_.script, s, prefix + L"_ROOT", L"", 260);
          const auto subkey = profile.ReadString(o_.script, s, prefix + L"_SUBKEY", L"", 260);
          const auto regRoot = RegRootFromName(rootName);
          if (!regRoot || subkey.empty()) continue;
          wanted.push_back({*regRoot, subkey, true, {}});
        }
      }
      for (const wchar_t* list : {L"DEV", L"HWID", L"DETECTCOUNT"}) {
        const std::wstring item = std::wstring(list) == L"DETECTCOUNT" ? L"DETECTDEV" : list;
        const std::uint32_t count = std::min<std::uint32_t>(profile.ReadInt(o_.script, s, list, 0), 1000);
        for (std::uint32_t n = 1; n <= count; ++n) {
          ids.insert(profile.ReadString(o_.script, s, item + std::to_wstring(n), L"", 522));
        }
      }
    }
    // The driver keys of the devices the script names: DRIVER_REG writes there.
    for (const auto& d : devices_) {
      if (d.driverKey.empty()) continue;
      const bool named =
          std::any_of(d.ids.begin(), d.ids.end(), [&](const std::wstring& id) { return ids.contains(id); });
      if (named) {
        wanted.push_back(
            {RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + d.driverKey, false, {}});
      }
    }
  }

  // ---- the tool's own mutex ----

  // Another copy of the tool holds the mutex named after its file name. It
  // is opened, never made: a tool starting at that moment must not find one
  // the capture made.
  void CaptureMutex(Object& root) {
    if (o_.script.empty()) return;
    const std::wstring name = ToolFileName();
    bool madeByAdministrators = true;
    const WinError opened = p_.system.OpenNamedMutex(name, &madeByAdministrators);
    Array held;
    if (opened == err::kSuccess && !madeByAdministrators) {
      held.push_back(Object{{"name", U8(name)}, {"standardUser", true}});
    } else if (opened == err::kSuccess) {
      held.push_back(U8(name));
    } else if (opened == err::kAccessDenied) {
      held.push_back(Object{{"name", U8(name)}, {"elevated", true}});
    } else if (opened != err::kFileNotFound) {
      Note("the mutex " + U8(name) + " could not be looked up: error " + std::to_string(opened));
    }
    root["mutexesHeld"] = held;
  }

  // The DLLs the tool loads only when a command needs them: one that cannot
  // be loaded fails those commands.
  // The package's folder, the script and the companion, where users who are
  // no administrators may change them: the tool says so at its start.
  void CapturePackageRights(Object& root) {
    if (o_.script.empty()) return;
    const auto slash = o_.script.find_last_of(L'\\');
    if (slash == std::wstring::npos) return;
    Array changeable;
    for (const std::wstring& path : {o_.script.substr(0, slash), o_.script, CompanionPath(o_.script)}) {
      if (!p_.files.Exists(path)) continue;
      auto answer = p_.files.ChangeableByOthers(path);
      if (!answer) {
        Note("who may change " + U8(path) + " could not be read: error " + std::to_string(answer.error()));
      } else if (*answer) {
        changeable.push_back(U8(path));
      }
    }
    root["changeableByUsers"] = changeable;
  }

  void CaptureDlls(Object& root) {
    Array missing;
    for (const wchar_t* name : {L"newdev.dll", L"setupapi.dll", L"shell32.dll", L"shlwapi.dll"}) {
      if (!p_.system.SystemDllLoads(name)) missing.push_back(U8(name));
    }
    root["missingDlls"] = missing;
  }

  // The tool beside the script has the script's base name.
  std::wstring ToolFileName() const {
    const std::wstring stem = shell::RenameExtension(o_.script, L".exe").value_or(o_.script);
    const auto slash = stem.find_last_of(L"\\/");
    return slash == std::wstring::npos ? stem : stem.substr(slash + 1);
  }

  // ---- processes and folders ----

  void CaptureProcesses(Object& root) {
    auto psapi = p_.processes.LoadPsapi();
    if (!psapi || !(*psapi)->HasFunctions()) {
      Note("PSAPI could not be loaded: no processes");
      return;
    }
    auto ids = (*psapi)->EnumProcesses(4096);
    if (!ids) {
      Note("EnumProcesses failed: error " + std::to_string(ids.error()));
      return;
    }
    std::vector<std::string> names;
    std::size_t unnamed = 0;
    for (const std::uint32_t id : *ids) {
      auto process = (*psapi)->Open(id);
      std::optional<std::wstring> name;
      if (process) name = (*process)->FirstModuleBaseName();
      if (name) {
        names.push_back(U8(*name));
      } else {
        ++unnamed;
      }
    }
    std::sort(names.begin(), names.end());
    if (unnamed > 0) Note(std::to_string(unnamed) + " processes could not be named (system, protected or 64-bit)");
    Array list;
    for (auto& n : names) list.push_back(std::move(n));
    root["runningProcesses"] = list;
  }

  void CaptureFolders(Object& root) {
    std::vector<std::wstring> trees = o_.folders;
    std::vector<std::wstring> paths;  // files or folders whose being there matters, not what is below them
    // The generated INFs are written into TEMP: without it they cannot be.
    if (auto temp = p_.system.Environment(L"TEMP")) paths.push_back(*temp);
    if (!o_.script.empty()) AddScriptPaths(trees, paths);
    if (trees.empty() && paths.empty()) return;
    Array folders;
    Object files;
    std::set<std::string, std::less<>> seen;
    // The tool deletes and writes nothing through a link on a path the script
    // names: each one met on the way down is recorded with where it points.
    for (const auto* list : {&trees, &paths}) {
      for (const auto& path : *list) {
        if (auto link = LinkOnPath(p_.files, path, true)) RecordLink(*link);
      }
    }
    for (const auto& folder : trees) Walk(folder, folders, files, seen, 0);
    for (const auto& path : paths) {
      if (seen.contains(U8(path)) || files.contains(U8(path))) continue;
      auto attributes = p_.files.Attributes(path);
      if (!attributes) continue;
      if ((*attributes & file::kDirectory) != 0) {
        if (seen.insert(U8(path)).second) folders.push_back(U8(path));
      } else {
        files[U8(path)] = FileEntry(path, *attributes);
      }
    }
    std::sort(folders.begin(), folders.end(), [](const Json& a, const Json& b) {
      return CompareNoCase(FromUtf8(std::get<std::string>(a.v)), FromUtf8(std::get<std::string>(b.v))) < 0;
    });
    root["folders"] = folders;
    root["files"] = files;
    if (!links_.empty()) root["links"] = links_;
  }

  // What a script's commands find on disk: the package beside the script,
  // the install folders and copy destinations they empty or fill, the
  // sources they copy and the files they delete.
  void AddScriptPaths(std::vector<std::wstring>& trees, std::vector<std::wstring>& paths) {
    IProfile& profile = p_.profile;
    const auto slash = o_.script.find_last_of(L'\\');
    if (slash != std::wstring::npos) trees.push_back(o_.script.substr(0, slash));
    const auto root = ToolInstallRoot();
    bool installs = false;
    for (std::uint32_t n = 1; n <= kMaxCommands; ++n) {
      const auto command = profile.ReadString(o_.script, L"INIT", Format(L"CMD%d", n), L"", 520);
      if (command.empty()) break;
      installs = installs || StartsWithNoCase(command, L"INSTALL_DRIVER");
    }
    const auto sections = profile.ReadSectionNames(o_.script, 32767);
    for (const auto& s : sections) {
      auto destination = profile.ReadString(o_.script, s, L"DESTDIR", L"", 260);
      if (root && !destination.empty()) {
        if (auto folder = shell::Append(*root, destination)) trees.push_back(*folder);
      }
      const std::uint32_t folders = std::min<std::uint32_t>(profile.ReadInt(o_.script, s, L"FOLDER", 0), 1000);
      const bool underRoot = profile.ReadInt(o_.script, s, L"DEST_IS_PROGRAMFOLDER", 0) != 0;
      for (std::uint32_t n = 1; n <= folders; ++n) {
        const auto source = profile.ReadString(o_.script, s, Format(L"FOLDER%d_SRC", n), L"", 260);
        const auto dest = profile.ReadString(o_.script, s, Format(L"FOLDER%d_DEST", n), L"", 260);
        if (IsFullPath(source)) trees.push_back(Resolved(source));
        if (dest.empty()) continue;
        if (!underRoot && IsFullPath(dest)) trees.push_back(Resolved(dest));
        if (underRoot && root) {
          if (auto folder = shell::Append(*root, dest)) trees.push_back(*folder);
        }
      }
      const std::uint32_t removed = std::min<std::uint32_t>(profile.ReadInt(o_.script, s, L"FILE", 0), 1000);
      for (std::uint32_t n = 1; n <= removed; ++n) {
        const auto path = profile.ReadString(o_.script, s, Format(L"FILE%d", n), L"", 1024);
        if (IsFullPath(path)) paths.push_back(Resolved(path));
      }
    }
    if (installs && root) {
      if (auto folder = shell::Append(*root, kDefaultInstallFolder)) trees.push_back(*folder);
    }
    // A tree named twice, or inside another, is walked once.
    std::sort(trees.begin(), trees.end(),
              [](const std::wstring& a, const std::wstring& b) { return CompareNoCase(a, b) < 0; });
    trees.erase(std::unique(trees.begin(), trees.end(),
                            [](const std::wstring& a, const std::wstring& b) { return EqualsNoCase(a, b); }),
                trees.end());
  }

  static bool IsFullPath(const std::wstring& path) {
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  }

  // The path Windows opens for a full path the script writes: "/" as "\",
  // runs of separators as one, "." and ".." resolved, a closing dot or blank
  // of each component dropped. The description names files as Windows does.
  static std::wstring Resolved(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::size_t start = 3;
    while (start <= path.size()) {
      std::size_t end = path.find_first_of(L"\\/", start);
      if (end == std::wstring::npos) end = path.size();
      std::wstring part = path.substr(start, end - start);
      if (part == L"..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != L".") {
        while (!part.empty() && (part.back() == L'.' || part.back() == L' ')) part.pop_back();
        if (!part.empty()) parts.push_back(std::move(part));
      }
      start = end + 1;
    }
    std::wstring out = path.substr(0, 2) + L"\\";
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i == 0 ? L"" : L"\\") + parts[i];
    return out;
  }

  void Walk(const std::wstring& folder, Array& folders, Object& files, std::set<std::string, std::less<>>& seen,
            int depth) {
    if (depth > 32 || ++entries_ > 100000) return;
    auto names = p_.files.Find(folder + L"\\*.*");
    if (!names) {
      // A folder the script names need not be there yet; one asked for must.
      const bool absent = names.error() == err::kFileNotFound || names.error() == err::kPathNotFound;
      const bool asked = std::any_of(o_.folders.begin(), o_.folders.end(),
                                     [&](const std::wstring& f) { return EqualsNoCase(f, folder); });
      if (!absent || asked) {
        Note("folder " + U8(folder) + " could not be listed: error " + std::to_string(names.error()));
      }
      return;
    }
    if (seen.insert(U8(folder)).second) folders.push_back(U8(folder));
    std::vector<IFileSystem::FoundEntry> sorted(names->begin(), names->end());
    std::sort(sorted.begin(), sorted.end(),
              [](const auto& a, const auto& b) { return CompareNoCase(a.name, b.name) < 0; });
    for (const auto& [name, attributes] : sorted) {
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      // A link is described by where it is, not followed.
      if ((attributes & file::kDirectory) != 0) {
        if ((attributes & file::kReparsePoint) != 0) {
          Note("link " + U8(path) + " was not followed");
          RecordLink(path);
          continue;
        }
        Walk(path, folders, files, seen, depth + 1);
        continue;
      }
      files[U8(path)] = FileEntry(path, attributes);
    }
  }

  void RecordLink(const std::wstring& path) {
    if (links_.contains(U8(path))) return;
    auto target = p_.files.LinkTarget(path);
    if (!target) {
      Note("where the link " + U8(path) + " points could not be read: error " + std::to_string(target.error()));
      return;
    }
    links_[U8(path)] = U8(*target);
  }

  Object FileEntry(const std::wstring& path, std::uint32_t attributes) {
    Object entry;
    if (auto size = p_.files.FileSize(path)) entry["size"] = static_cast<std::int64_t>(*size);
    const std::uint32_t kept = attributes & (file::kReadOnly | file::kHidden | file::kSystem);
    if (kept != 0) entry["attributes"] = kept;
    if (o_.withContents) {
      if (auto bytes = p_.files.ReadAll(path, o_.maxContentBytes)) {
        const std::string text(bytes->begin(), bytes->end());
        const bool plain =
            std::none_of(text.begin(), text.end(), [](char c) { return c == '\0'; }) && ToUtf8(FromUtf8(text)) == text;
        if (plain) {
          entry["content"] = text;
        } else {
          entry["hex"] = Hex(*bytes);
        }
      } else {
        Note(bytes.error() == err::kFileTooLarge
                 ? "file " + U8(path) + " is larger than " + std::to_string(o_.maxContentBytes) +
                       " bytes: its content is not kept"
                 : "file " + U8(path) + " could not be read: error " + std::to_string(bytes.error()));
      }
    }
    return entry;
  }

  // The install root as the tool finds it: on 64-bit Windows the native
  // folder that Windows keeps or sets, else the Program Files it is given.
  std::optional<std::wstring> ToolInstallRoot() const {
    if (wow64_) {
      if (auto native = NativeProgramFilesOf64BitWindows(p_)) return native;
    }
    if (toolProgramFiles_.empty()) return std::nullopt;
    return toolProgramFiles_;
  }

  const Platform& p_;
  const Options& o_;
  bool wow64_ = false;
  std::wstring toolProgramFiles_;
  std::set<std::string> notes_;
  std::vector<Device> devices_;
  std::size_t keysRead_ = 0;
  std::size_t entries_ = 0;
  Object links_;  // the links met on the paths a script names, and where each points
};

}  // namespace

std::string CaptureMachine(const Platform& platform, const Options& options) {
  return Capturer(platform, options).Run();
}

std::string DumpRegistry(const Platform& platform, std::uint32_t view) {
  std::string out;
  // Depth first with a stack of open keys: a registry is as deep as 512
  // levels, and each key is opened from its parent, not from the root.
  struct Open {
    RegKeyPtr key;
    std::string path;
  };
  for (const RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    auto top = platform.registry.OpenKey(root, L"", reg::kKeyRead | view);
    if (!top) continue;
    std::vector<Open> stack;
    stack.push_back({std::move(*top), U8(RegRootShortName(root))});
    while (!stack.empty()) {
      Open open = std::move(stack.back());
      stack.pop_back();
      out += '[';
      Quote(open.path, out);
      out += "]\n";
      for (std::uint32_t i = 0;; ++i) {
        auto value = open.key->EnumValue(i);
        if (!value) break;
        out += '[';
        Quote(open.path, out);
        out += ", ";
        Quote(U8(value->first), out);
        out += ", " + std::to_string(value->second.type) + ", ";
        Quote(Hex(value->second.data), out);
        out += "]\n";
      }
      for (std::uint32_t i = 0;; ++i) {
        auto sub = open.key->EnumSubKey(i);
        if (!sub) break;
        auto key = open.key->OpenSubKey(*sub, reg::kKeyRead | view);
        if (key) stack.push_back({std::move(*key), open.path + "\\" + U8(*sub)});
      }
    }
  }
  return out;
}

}  // namespace tv::capture
