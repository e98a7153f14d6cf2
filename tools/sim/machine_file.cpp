#include "sim/machine_file.h"

#include "platform/sim/driver_select.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/reg_root.h"
#include "platform/sim/ansi.h"
#include "platform/sim/host_path.h"
#include "platform/sim/sim_programs.h"
#include "sim/near_miss.h"
#include "sim/sim_run.h"

#include "platform/text.h"

namespace tv::sim {

using nlohmann::json;

bool ReadHostFile(const std::filesystem::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

namespace {
// Copies a host folder tree into the machine under `target`, folders
// included; nothing, or why the copy stopped.
std::optional<std::string> CopyHostTree(const std::filesystem::path& host, const std::wstring& target, SimMachine& m) {
  constexpr std::size_t kMaxFiles = 10000;
  std::size_t files = 0;
  std::error_code error;
  m.files.CreateDirectories(target);
  for (auto it = std::filesystem::recursive_directory_iterator(host, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::wstring relative = FromUtf8(Utf8FromPath(std::filesystem::relative(it->path(), host)));
    for (auto& c : relative) c = c == L'/' ? L'\\' : c;
    if (it->is_directory()) {
      m.files.CreateDirectories(target + L"\\" + relative);
      continue;
    }
    if (!it->is_regular_file()) continue;
    if (++files > kMaxFiles) return "more than 10000 files in " + Utf8FromPath(host);
    // Read from the host only when the run reads it: packages are large.
    const auto size = it->file_size(error);
    if (error) return Utf8FromPath(it->path()) + ": " + error.message();
    m.files.WriteHostFile(target + L"\\" + relative, Utf8FromPath(std::filesystem::absolute(it->path())), size);
  }
  if (error) return error.message();
  return std::nullopt;
}
}  // namespace

namespace {

constexpr std::wstring_view kSwitchKeyPath = L"SOFTWARE\\VELTARO\\Quillmark";

void SetSwitch(SimMachine& m, std::wstring_view name, std::uint32_t value) {
  // The tool is a 32-bit program: on 64-bit Windows it reads its switches from the 32-bit view.
  m.registry.SetDword(RegRoot::kLocalMachine, m.registry.ViewPath(RegRoot::kLocalMachine, kSwitchKeyPath, 0), name,
                      value);
}

struct DescriptionError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& field, const std::string& expected) {
  throw DescriptionError{"machine description: \"" + field + "\": expected " + expected};
}

const json& Need(const json& j, const std::string& field, json::value_t type, const std::string& expected) {
  if (j.type() != type && !(type == json::value_t::number_unsigned && j.is_number_integer())) Fail(field, expected);
  return j;
}

std::wstring Text(const json& j, const std::string& field) {
  if (!j.is_string()) Fail(field, "a string");
  return FromUtf8(j.get<std::string>());
}

// A number Windows keeps in 32 bits: one past it would wrap to another value.
std::uint32_t Unsigned(const json& j, const std::string& field) {
  if (!j.is_number_integer()) Fail(field, "an integer");
  if (j.is_number_unsigned() ? j.get<std::uint64_t>() > 0xFFFFFFFFULL : j.get<std::int64_t>() < 0) {
    Fail(field, "an integer from 0 to 4294967295");
  }
  return static_cast<std::uint32_t>(j.get<std::uint64_t>());
}

std::vector<std::uint8_t> Utf16Bytes(std::wstring_view text, bool terminate) {
  std::vector<std::uint8_t> out;
  for (wchar_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  if (terminate) out.insert(out.end(), {0, 0});
  return out;
}

RegValue ParseValue(const json& j, const std::string& field) {
  if (j.is_string()) return RegValue{reg::kTypeSz, Utf16Bytes(Text(j, field), true)};
  if (j.is_number_integer()) {
    const std::uint32_t v = Unsigned(j, field);
    return RegValue{reg::kTypeDword,
                    {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                     static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
  }
  if (!j.is_object() || j.size() != 1) {
    Fail(field, "a string, an integer, or an object with one of dword, sz, expand_sz, multi_sz, binary");
  }
  const auto first = j.begin();
  const std::string& type = first.key();
  const json& data = first.value();
  const std::string inner = field + "." + type;
  if (type == "dword") return ParseValue(data.is_number_integer() ? data : json(Unsigned(data, inner)), inner);
  if (type == "sz") return RegValue{reg::kTypeSz, Utf16Bytes(Text(data, inner), true)};
  if (type == "expand_sz") return RegValue{reg::kTypeExpandSz, Utf16Bytes(Text(data, inner), true)};
  if (type == "multi_sz") {
    if (!data.is_array()) Fail(inner, "an array of strings");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < data.size(); ++i) {
      auto part = Utf16Bytes(Text(data[i], inner + "[" + std::to_string(i) + "]"), true);
      bytes.insert(bytes.end(), part.begin(), part.end());
    }
    bytes.insert(bytes.end(), {0, 0});
    return RegValue{reg::kTypeMultiSz, bytes};
  }
  if (type == "binary") {
    const std::wstring hex = Text(data, inner);
    std::vector<std::uint8_t> bytes;
    std::wstring digits;
    for (wchar_t c : hex) {
      if (c == L' ' || c == L',') continue;
      if (!iswxdigit(static_cast<wint_t>(c))) Fail(inner, "hexadecimal bytes such as \"01 ff\"");
      digits += c;
    }
    if (digits.size() % 2 != 0) Fail(inner, "an even number of hexadecimal digits");
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(ToUtf8(digits.substr(i, 2)), nullptr, 16)));
    }
    return RegValue{reg::kTypeBinary, bytes};
  }
  Fail(field, "one of dword, sz, expand_sz, multi_sz, binary, not \"" + type + "\"");
}

// A drive-letter path such as C:\\Windows\\inf.
// A full path, "/" read as "\\" as Windows reads it. A machine may hold paths
// longer than MAX_PATH (made through \\?\ paths); NTFS ends at 32767.
std::wstring WindowsPath(const std::string& text, const std::string& field) {
  std::wstring w = FromUtf8(text);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  if (w.size() < 3 || !iswalpha(static_cast<wint_t>(w[0])) || w[1] != L':' || w[2] != L'\\' || w.size() >= 32767) {
    Fail(field, "a full Windows path such as C:\\Windows\\file.txt, under 32767 characters");
  }
  return w;
}

void ApplyWindows(const json& w, SimMachine& m) {
  Need(w, "windows", json::value_t::object, "an object");
  for (const auto& [k, v] : w.items()) {
    const std::string field = "windows." + k;
    if (k == "version") {
      const std::wstring text = Text(v, field);
      const auto dot = text.find(L'.');
      if (dot == std::wstring::npos) Fail(field, "major.minor, such as \"5.1\"");
      try {
        m.os.major = static_cast<std::uint32_t>(std::stoul(ToUtf8(text.substr(0, dot))));
        m.os.minor = static_cast<std::uint32_t>(std::stoul(ToUtf8(text.substr(dot + 1))));
      } catch (const std::exception&) {
        Fail(field, "major.minor, such as \"5.1\"");
      }
      // The tool's manifest names no Windows after Vista, so Windows 8, 8.1,
      // 10 and 11 all tell it 6.2; a description says what the tool sees.
      if (m.os.major > 6 || (m.os.major == 6 && m.os.minor > 2)) {
        Fail(field, "6.2 or lower: the tool never sees " + ToUtf8(text) +
                        ", because Windows 8 and later (10.0 included) tell it 6.2. Write \"version\": \"6.2\" and "
                        "the build you like; tarnvale-capture writes what the tool sees");
      }
    } else if (k == "build") {
      m.os.build = Unsigned(v, field);
    } else if (k == "platform") {
      m.os.platformId = Unsigned(v, field);
    } else if (k == "wow64") {
      if (!v.is_boolean()) Fail(field, "true or false");
      m.wow64 = v.get<bool>();
    } else if (k == "folder") {
      m.windowsFolder = WindowsPath(ToUtf8(Text(v, field)), field);
    } else {
      Fail(field, "no such field (version, build, platform, wow64, folder)");
    }
  }
}

// A host file named by the description, relative to the description's folder.
std::filesystem::path HostPath(const std::filesystem::path& base, const std::wstring& name, const std::string& field) {
  if (base.empty()) Fail(field, "no host files here: this description is read without a folder");
  return base / PathFromUtf8(ToUtf8(name));
}

void CopyHostFolder(const std::filesystem::path& host, const std::wstring& target, const std::string& field,
                    SimMachine& m) {
  std::error_code error;
  if (!std::filesystem::is_directory(host, error)) Fail(field, "a host folder; there is none at " + Utf8FromPath(host));
  if (auto why = CopyHostTree(host, target, m)) Fail(field, "a readable host folder: " + *why);
}

// The device classes the tool looks at, by name; any other class by its GUID.
std::wstring DeviceClass(const json& j, const std::string& field) {
  const std::wstring text = Text(j, field);
  if (EqualsNoCase(text, L"Modem")) return L"{4D36E96D-E325-11CE-BFC1-08002BE10318}";
  if (EqualsNoCase(text, L"Net")) return L"{4D36E972-E325-11CE-BFC1-08002BE10318}";
  const bool guid = text.size() == 38 && text.front() == L'{' && text.back() == L'}' && text[9] == L'-' &&
                    text[14] == L'-' && text[19] == L'-' && text[24] == L'-';
  if (!guid) Fail(field, "\"Modem\", \"Net\" or a class GUID such as {4D36E96D-E325-11CE-BFC1-08002BE10318}");
  return text;
}

bool Flag(const json& d, const char* name, const std::string& field, bool fallback) {
  if (!d.contains(name)) return fallback;
  if (!d[name].is_boolean()) Fail(field + "." + name, "true or false");
  return d[name].get<bool>();
}

// The driver a device has: what Windows ranks a new one against, and what it
// keeps of it in the driver key.
void ApplyInstalledDriver(const json& j, const std::string& field, SimMachine::SimDevice& device, SimMachine& m) {
  if (!j.is_object()) Fail(field, "an object with \"inf\", \"date\", \"version\", \"matchingId\" and \"signed\"");
  for (const auto& [key, _] : j.items()) {
    static constexpr std::string_view kFields[] = {"inf", "date", "version", "matchingId", "signed", "description"};
    if (std::find(std::begin(kFields), std::end(kFields), key) == std::end(kFields)) {
      const auto meant = NearMiss(std::string_view(key), kFields);
      Fail(field + "." + key, meant ? "no such field: \"" + std::string(*meant) + "\"?"
                                    : "no such field (inf, date, version, matchingId, signed, description)");
    }
  }
  if (!j.contains("matchingId")) Fail(field, "an object with \"matchingId\", the ID the driver was chosen for");
  SimMachine::SimDevice::Driver driver;
  driver.matchingId = Text(j["matchingId"], field + ".matchingId");
  if (j.contains("inf")) driver.inf = Text(j["inf"], field + ".inf");
  if (j.contains("description")) driver.description = Text(j["description"], field + ".description");
  if (j.contains("date")) {
    const auto date = ParseIsoDate(Text(j["date"], field + ".date"));
    if (!date) Fail(field + ".date", "a date as \"2008-06-01\"");
    driver.date = *date;
  }
  if (j.contains("version")) {
    const auto version = ParseVersion(Text(j["version"], field + ".version"));
    if (!version) Fail(field + ".version", "a version as \"5.1.2600.0\"");
    driver.version = *version;
  }
  driver.signedDriver = Flag(j, "signed", field, true);
  device.installedInf = driver.inf;
  device.driver = driver;
  if (device.driverKey.empty()) return;
  const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + device.driverKey;
  const auto sz = [&](const wchar_t* name, const std::wstring& value) {
    m.registry.SetValue(RegRoot::kLocalMachine, key, name, RegValue{reg::kTypeSz, Utf16Bytes(value, true)});
  };
  sz(L"MatchingDeviceId", driver.matchingId);
  if (!driver.inf.empty()) sz(L"InfPath", driver.inf);
  if (!driver.description.empty()) sz(L"DriverDesc", driver.description);
  if (j.contains("version")) sz(L"DriverVersion", VersionText(driver.version));
  if (j.contains("date")) {
    sz(L"DriverDate", DriverDateValue(driver.date));
  }
}

void ApplyDevice(const json& d, const std::string& field, SimMachine& m) {
  if (!d.is_object()) Fail(field, "an object with \"class\" and \"hardwareIds\"");
  // A misspelt field is named first: it is why a needed one seems missing.
  for (const auto& [key, _] : d.items()) {
    static constexpr std::string_view kFields[] = {"class",      "enumerator", "hardwareIds", "compatibleIds",
                                                   "present",    "disabled",   "disableable", "driverKey",
                                                   "instanceId", "parameters", "needsReboot", "driver"};
    if (std::find(std::begin(kFields), std::end(kFields), key) == std::end(kFields)) {
      const auto meant = NearMiss(std::string_view(key), kFields);
      Fail(field + "." + key,
           meant ? "no such field: \"" + std::string(*meant) + "\"?"
                 : "no such field (class, enumerator, hardwareIds, compatibleIds, present, disabled, disableable, "
                   "driverKey, instanceId, parameters, needsReboot, driver)");
    }
  }
  if (!d.contains("class") || !d.contains("hardwareIds")) {
    Fail(field, std::string("an object with \"class\" and \"hardwareIds\"; \"") +
                    (d.contains("class") ? "hardwareIds" : "class") + "\" is missing");
  }
  const json& idsJson = d["hardwareIds"];
  if (!idsJson.is_array() && !idsJson.is_null()) Fail(field + ".hardwareIds", "an array of strings, or null for none");
  std::vector<std::wstring> ids;
  if (idsJson.is_array()) {
    for (std::size_t j = 0; j < idsJson.size(); ++j) {
      ids.push_back(Text(idsJson[j], field + ".hardwareIds[" + std::to_string(j) + "]"));
    }
  }
  std::vector<std::wstring> compatible;
  if (d.contains("compatibleIds")) {
    const json& c = d["compatibleIds"];
    if (!c.is_array()) Fail(field + ".compatibleIds", "an array of strings");
    for (std::size_t j = 0; j < c.size(); ++j) {
      compatible.push_back(Text(c[j], field + ".compatibleIds[" + std::to_string(j) + "]"));
    }
  }
  const std::wstring enumerator = d.contains("enumerator") ? Text(d["enumerator"], field + ".enumerator") : L"ROOT";
  const auto index =
      m.AddDevice(DeviceClass(d["class"], field + ".class"), enumerator, ids, Flag(d, "present", field, true));
  auto& device = m.devices[index];
  // Windows has the key of every device class it knows.
  m.registry.CreateKey(RegRoot::kLocalMachine, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + device.classGuid);
  if (idsJson.is_null()) device.hardwareIds.reset();
  device.compatibleIds = compatible;
  device.disabled = Flag(d, "disabled", field, false);
  device.disableable = Flag(d, "disableable", field, true);
  device.needsRebootAfterChange = Flag(d, "needsReboot", field, false);
  // null: a device with no driver installed, which has no driver key.
  if (d.contains("driverKey")) {
    device.driverKey = d["driverKey"].is_null() ? L"" : Text(d["driverKey"], field + ".driverKey");
  }
  if (d.contains("instanceId")) {
    device.instanceId = Text(d["instanceId"], field + ".instanceId");
    if (device.instanceId.find(L'\\') == std::wstring::npos) {
      Fail(field + ".instanceId",
           "a device instance ID such as PCI\\VEN_8086&DEV_4229&SUBSYS_11118086\\4&1f7dbc9f&0&00E1");
    }
  } else if (!ids.empty()) {
    // Windows names an instance by its device ID, the most specific hardware
    // ID, and where it sits on its bus.
    device.instanceId = ids.front() + L"\\" + std::to_wstring(index) + L"&0&0";
  }
  if (d.contains("parameters") && !d["parameters"].is_object()) {
    Fail(field + ".parameters", "an object of subkeys of Device Parameters (\"\" for the key itself) and their values");
  }
  // The device's key under Enum, as Windows keeps it for every device it has
  // seen, present or not; Device Parameters is where drivers read their settings.
  const std::wstring enumKey = L"SYSTEM\\CurrentControlSet\\Enum\\" + device.instanceId;
  // A list of IDs as the registry keeps it: REG_MULTI_SZ.
  const auto idList = [](const std::vector<std::wstring>& list) {
    std::vector<std::uint8_t> multi;
    for (const auto& id : list) {
      const auto bytes = Utf16Bytes(id, true);
      multi.insert(multi.end(), bytes.begin(), bytes.end());
    }
    multi.insert(multi.end(), {0, 0});
    return RegValue{reg::kTypeMultiSz, multi};
  };
  m.registry.SetValue(RegRoot::kLocalMachine, enumKey, L"HardwareID", idList(ids));
  if (!compatible.empty()) m.registry.SetValue(RegRoot::kLocalMachine, enumKey, L"CompatibleIDs", idList(compatible));
  if (d.contains("driver")) ApplyInstalledDriver(d["driver"], field + ".driver", device, m);
  m.registry.SetValue(RegRoot::kLocalMachine, enumKey, L"ClassGUID",
                      RegValue{reg::kTypeSz, Utf16Bytes(device.classGuid, true)});
  if (!device.driverKey.empty()) {
    m.registry.SetValue(RegRoot::kLocalMachine, enumKey, L"Driver",
                        RegValue{reg::kTypeSz, Utf16Bytes(device.driverKey, true)});
  }
  // Device Parameters is made when a driver is installed (or a class
  // installer first asks for it): a device without a driver has none unless
  // the description gives it.
  if (!device.driverKey.empty() || d.contains("parameters")) {
    m.registry.CreateKey(RegRoot::kLocalMachine, enumKey + L"\\Device Parameters");
  }
  if (!d.contains("parameters")) return;
  for (const auto& [sub, values] : d["parameters"].items()) {
    const std::string where = field + ".parameters." + sub;
    if (!values.is_object()) Fail(where, "an object of value names and data");
    const std::wstring key = enumKey + L"\\Device Parameters" + (sub.empty() ? L"" : L"\\" + FromUtf8(sub));
    m.registry.CreateKey(RegRoot::kLocalMachine, key);
    for (const auto& [name, data] : values.items()) {
      m.registry.SetValue(RegRoot::kLocalMachine, key, FromUtf8(name), ParseValue(data, where + "." + name));
    }
  }
}

// A file as a capture describes it: its size, its attributes, and its
// content as text or as hexadecimal bytes when the capture took it. Without
// content the file holds as many zero bytes as its size.
void ApplyFileEntry(const json& entry, const std::string& field, const std::wstring& where, SimMachine& m) {
  constexpr std::uint64_t kLargestZeroFile = 64ULL * 1024 * 1024;
  std::string bytes;
  std::optional<std::uint32_t> attributes;
  for (const auto& [key, value] : entry.items()) {
    if (key == "content") {
      bytes = ToUtf8(Text(value, field + ".content"));
    } else if (key == "hex") {
      bytes.clear();
      for (auto b : ParseValue(json{{"binary", value}}, field + ".hex").data) bytes += static_cast<char>(b);
    } else if (key == "size") {
      if (!value.is_number_unsigned() && !value.is_number_integer()) Fail(field + ".size", "a size in bytes");
      const auto size = value.get<std::int64_t>();
      if (size < 0 || static_cast<std::uint64_t>(size) > kLargestZeroFile) Fail(field + ".size", "0 to 67108864 bytes");
      if (!entry.contains("content") && !entry.contains("hex")) bytes.assign(static_cast<std::size_t>(size), '\0');
    } else if (key == "attributes") {
      attributes = Unsigned(value, field + ".attributes");
    } else {
      Fail(field + "." + key, "no such field (content, hex, size, attributes)");
    }
  }
  m.files.WriteFile(where, bytes);
  if (attributes) m.files.SetAttributes(where, *attributes | file::kArchive);
}

void Apply(const json& root, SimMachine& m, const std::filesystem::path& base) {
  Need(root, "(top level)", json::value_t::object, "an object");
  std::optional<std::uint32_t> debugMode;
  std::optional<std::uint32_t> testMode;
  std::vector<std::pair<std::wstring, std::optional<std::uint32_t>>> pendingProcesses;
  for (const auto& [k, v] : root.items()) {
    if (k == "windows") {
      ApplyWindows(v, m);
    } else if (k == "uiLanguage") {
      // A language ID, not a name: "en-US" would read as 000e.
      const std::wstring text = Text(v, k);
      if (text.size() != 4 || !std::all_of(text.begin(), text.end(), [](wchar_t c) { return iswxdigit(c) != 0; })) {
        Fail(k, "four hexadecimal digits, such as \"0411\" (Japanese) or \"0409\" (English)");
      }
      m.uiLanguage = static_cast<std::uint16_t>(std::stoul(ToUtf8(text), nullptr, 16));
    } else if (k == "ansiCodePage") {
      m.ansiCodePage = Unsigned(v, k);
    } else if (k == "product" && v.is_null()) {
      m.productInstance = false;  // WMI answers with no Win32_ComputerSystemProduct object
    } else if (k == "product") {
      if (!v.is_object()) Fail(k, "an object of WMI properties, such as {\"Vendor\": \"VELTARO\"}");
      m.product.clear();
      for (const auto& [name, value] : v.items()) {
        static constexpr std::string_view kProperties[] = {
            "Caption", "Description", "IdentifyingNumber", "Name", "SKUNumber", "UUID", "Vendor", "Version"};
        if (std::find(std::begin(kProperties), std::end(kProperties), name) == std::end(kProperties)) {
          Fail("product." + name,
               "a property of Win32_ComputerSystemProduct (Caption, Description, IdentifyingNumber, Name, SKUNumber, "
               "UUID, Vendor, Version)");
        }
        if (value.is_null()) {
          m.product[FromUtf8(name)] = std::nullopt;
        } else {
          m.product[FromUtf8(name)] = Text(value, "product." + name);
        }
      }
    } else if (k == "debugMode") {
      debugMode = Unsigned(v, k);
    } else if (k == "testMode") {
      testMode = Unsigned(v, k);
    } else if (k == "environment") {
      if (!v.is_object()) Fail(k, "an object of names and values");
      for (const auto& [name, value] : v.items()) m.environment[FromUtf8(name)] = Text(value, "environment." + name);
    } else if (k == "registry") {
      if (!v.is_array()) Fail(k, "an array of {\"key\": ..., \"values\": {...}}");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = "registry[" + std::to_string(i) + "]";
        const json& entry = v[i];
        if (!entry.is_object() || !entry.contains("key")) Fail(field, "an object with \"key\"");
        const std::wstring key = Text(entry["key"], field + ".key");
        const auto slash = key.find(L'\\');
        const auto regRoot = RegRootFromName(key.substr(0, slash));
        if (!regRoot) Fail(field + ".key", "a path that begins with a root such as HKEY_LOCAL_MACHINE");
        const std::wstring path = slash == std::wstring::npos ? L"" : key.substr(slash + 1);
        m.registry.CreateKey(*regRoot, path);
        if (entry.contains("values")) {
          if (!entry["values"].is_object()) Fail(field + ".values", "an object of value names and data");
          for (const auto& [name, data] : entry["values"].items()) {
            m.registry.SetValue(*regRoot, path, FromUtf8(name == "@" ? "" : name),
                                ParseValue(data, field + ".values." + name));
          }
        }
      }
    } else if (k == "devices") {
      if (!v.is_array()) Fail(k, "an array of {\"class\", \"enumerator\", \"hardwareIds\", ...}");
      for (std::size_t i = 0; i < v.size(); ++i) ApplyDevice(v[i], "devices[" + std::to_string(i) + "]", m);
    } else if (k == "registryFiles") {
      if (!v.is_array()) Fail(k, "an array of .reg file paths, relative to the machine description");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        const std::filesystem::path file = HostPath(base, Text(v[i], field), field);
        std::string bytes;
        if (!ReadHostFile(file, bytes)) Fail(field, "a readable .reg file; cannot read " + Utf8FromPath(file));
        const std::wstring text =
            DecodeTextFile({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, m.ansiCodePage);
        if (!ImportRegFile(m.registry, text))
          Fail(field, "a registry file (REGEDIT4 or Windows Registry Editor Version 5.00)");
      }
    } else if (k == "files") {
      if (!v.is_object()) Fail(k, "an object of Windows paths and file contents, such as {\"C:\\\\x.txt\": \"text\"}");
      for (const auto& [path, content] : v.items()) {
        const std::string field = k + "." + path;
        const std::wstring where = WindowsPath(path, field);
        if (!content.is_object()) {
          m.files.WriteFile(where, ToUtf8(Text(content, field)));
          continue;
        }
        ApplyFileEntry(content, field, where, m);
      }
    } else if (k == "folders") {
      if (!v.is_array()) Fail(k, "an array of Windows folder paths");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        m.files.CreateDirectories(WindowsPath(ToUtf8(Text(v[i], field)), field));
      }
    } else if (k == "changeableByUsers") {
      // The package's folder, script or companion where users who are no
      // administrators may change them: the tool warns of it at its start.
      if (!v.is_array()) Fail(k, "an array of Windows paths");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        m.changeableByUsers.insert(WindowsPath(ToUtf8(Text(v[i], field)), field));
      }
    } else if (k == "links") {
      // Junctions (or directory symbolic links): the first path is the link,
      // the second the folder it points to.
      if (!v.is_object()) Fail(k, "an object of link paths and the folders they point to");
      for (const auto& [path, target] : v.items()) {
        const std::string field = k + "." + path;
        m.files.CreateLink(WindowsPath(path, field), WindowsPath(ToUtf8(Text(target, field)), field));
      }
    } else if (k == "hostFolders") {
      if (!v.is_object()) Fail(k, "an object of Windows folder paths and host folders, relative to the description");
      for (const auto& [path, host] : v.items()) {
        const std::string field = k + "." + path;
        CopyHostFolder(HostPath(base, Text(host, field), field), WindowsPath(path, field), field, m);
      }
    } else if (k == "programFilesFolder") {
      m.programFilesFolder = WindowsPath(ToUtf8(Text(v, k)), k);
      m.files.CreateDirectories(m.programFilesFolder);
    } else if (k == "capture") {
      // What the capturing program says of itself and what it could not read.
    } else if (k == "mutexesHeld") {
      // Mutexes another program holds, such as a running copy of the tool
      // (its mutex is named after its file name); an elevated holder denies
      // a tool that is not elevated; one a standard user made is no copy.
      if (!v.is_array()) Fail(k, "an array of mutex names, or {\"name\": ..., \"elevated\": true}");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        if (!v[i].is_object()) {
          m.HoldMutex(Text(v[i], field));
          continue;
        }
        std::wstring name;
        bool elevated = false;
        bool standardUser = false;
        for (const auto& [key, value] : v[i].items()) {
          if (key == "name") {
            name = Text(value, field + ".name");
          } else if (key == "elevated" || key == "standardUser") {
            if (!value.is_boolean()) Fail(field + "." + key, "true or false");
            (key == "elevated" ? elevated : standardUser) = value.get<bool>();
          } else {
            Fail(field + "." + key, "no such field (name, elevated, standardUser)");
          }
        }
        if (name.empty()) Fail(field + ".name", "a mutex name");
        if (elevated && standardUser) Fail(field, "a standard user's mutex is not an elevated one");
        m.HoldMutex(name, elevated, standardUser);
      }
    } else if (k == "missingDlls") {
      if (!v.is_array())
        Fail(k, "an array of system DLL names that cannot be loaded (setupapi.dll, newdev.dll, shell32.dll)");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        const std::wstring name = Text(v[i], field);
        if (!EqualsNoCase(name, L"setupapi.dll") && !EqualsNoCase(name, L"newdev.dll") &&
            !EqualsNoCase(name, L"shell32.dll") && !EqualsNoCase(name, L"shlwapi.dll")) {
          Fail(field,
               "one of setupapi.dll, newdev.dll, shell32.dll, shlwapi.dll (the DLLs the tool loads when needed)");
        }
        m.missingDlls.insert(name);
      }
    } else if (k == "filesInUse") {
      if (!v.is_array()) Fail(k, "an array of Windows paths of files other programs hold open");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        m.filesInUse.push_back(WindowsPath(ToUtf8(Text(v[i], field)), field));
      }
    } else if (k == "keepRunning") {
      if (!v.is_array()) Fail(k, "an array of program file names that keep running when started");
      for (std::size_t i = 0; i < v.size(); ++i) m.keepRunning.insert(Text(v[i], k + "[" + std::to_string(i) + "]"));
    } else if (k == "runningProcesses") {
      if (!v.is_array()) Fail(k, "an array of executable file names, or {\"name\": ..., \"bits\": 32 or 64}");
      for (std::size_t i = 0; i < v.size(); ++i) {
        const std::string field = k + "[" + std::to_string(i) + "]";
        // On 64-bit Windows a program is 64-bit unless the description says
        // otherwise: Windows' own are, and the tool cannot read their names.
        std::optional<std::uint32_t> bits;
        std::wstring name;
        if (v[i].is_object()) {
          for (const auto& [key, value] : v[i].items()) {
            if (key == "name") {
              name = Text(value, field + ".name");
            } else if (key == "bits") {
              bits = Unsigned(value, field + ".bits");
              if (*bits != 32 && *bits != 64) Fail(field + ".bits", "32 or 64");
            } else {
              Fail(field + "." + key, "no such field (name, bits)");
            }
          }
          if (name.empty()) Fail(field + ".name", "an executable file name");
        } else {
          name = Text(v[i], field);
        }
        pendingProcesses.push_back({name, bits});
      }
    } else {
      Fail(k,
           "no such field (windows, uiLanguage, ansiCodePage, product, debugMode, testMode, environment, registry, "
           "registryFiles, devices, runningProcesses, keepRunning, mutexesHeld, missingDlls, filesInUse, files, "
           "folders, hostFolders, programFilesFolder, capture)");
    }
  }
  // Processes and switches go in after "windows": its WOW64 flag decides the
  // bitness of a process and the view the switches live in.
  for (const auto& [name, bits] : pendingProcesses) {
    m.AddRunningProcess(name);
    m.processes.back().is64 = m.wow64 && bits.value_or(64) == 64;
  }
  if (debugMode) SetSwitch(m, L"DebugMode", *debugMode);
  if (testMode) SetSwitch(m, L"TestMode", *testMode);
}

}  // namespace

namespace {
// What every described machine has unless its description says otherwise.
void ConfigureBaseWindows(SimMachine& m) {
  m.environment[L"SystemRoot"] = L"C:\\WINDOWS";
  m.environment[L"windir"] = L"C:\\WINDOWS";
  m.environment[L"ProgramFiles"] = L"C:\\Program Files";
  m.environment[L"TEMP"] = L"C:\\WINDOWS\\TEMP";
  m.environment[L"TMP"] = L"C:\\WINDOWS\\TEMP";
  m.files.CreateDirectories(L"C:\\WINDOWS\\TEMP");
  m.files.CreateDirectories(L"C:\\Program Files");
}

// The keys every Windows has from its setup on, described or not: a run
// that writes below one of them makes only the keys beneath it.
void CreateStandardKeys(SimMachine& m) {
  for (const wchar_t* path : {L"SOFTWARE\\Classes", L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                              L"SYSTEM\\CurrentControlSet\\Control\\Class", L"SYSTEM\\CurrentControlSet\\Enum",
                              L"SYSTEM\\CurrentControlSet\\Services"}) {
    m.registry.CreateKey(RegRoot::kLocalMachine, path);
  }
  if (m.wow64) {
    m.registry.CreateKey(RegRoot::kLocalMachine, L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion");
  }
  for (const wchar_t* path : {L"Software\\Microsoft\\Windows\\CurrentVersion", L"Control Panel"}) {
    m.registry.CreateKey(RegRoot::kCurrentUser, path);
  }
}

// The WOW64 redirection entry points are in every Kernel32 from Vista on and
// in that of 64-bit XP, not in the 32-bit XP or 2000 one.
void SetRedirectionEntryPoints(SimMachine& m) {
  const bool present = m.wow64 || m.os.major >= 6;
  m.kernel32HasDisableRedirection = present;
  m.kernel32HasRevertRedirection = present;
}
}  // namespace

void ConfigureDefaultNotebook(SimMachine& m) {
  ConfigureBaseWindows(m);
  m.os = OsVersionRecord{2, 5, 1, 2600};
  m.wow64 = false;
  m.uiLanguage = 0x0411;
  m.ansiCodePage = 932;
  m.product[L"Vendor"] = L"VELTARO";
  m.product[L"Version"] = L"PV715J01";
  SetRedirectionEntryPoints(m);
  CreateStandardKeys(m);
  m.InstallSystemPrograms();
  SetSwitch(m, L"DebugMode", 1);
}

std::optional<std::string> PlaceHostPackage(SimMachine& machine, const std::filesystem::path& script,
                                            const std::wstring& folder) {
  std::error_code error;
  const auto size = std::filesystem::file_size(script, error);
  if (error || !std::ifstream(script, std::ios::binary)) return "cannot read setup script " + Utf8FromPath(script);
  const std::filesystem::path package = std::filesystem::absolute(script).parent_path();
  if (auto why = CopyHostTree(package, folder, machine)) return "cannot copy the folder of the setup script: " + *why;
  // The script is read from the host when the tool reads it, as the package is.
  const std::wstring exe = folder + L"\\" + FromUtf8(Utf8FromPath(script.stem())) + L".exe";
  PlaceTool(machine, exe, "");
  machine.files.WriteHostFile(folder + L"\\" + FromUtf8(Utf8FromPath(script.stem())) + L".ini",
                              Utf8FromPath(std::filesystem::absolute(script)), size);
  return std::nullopt;
}

std::optional<std::string> ApplyMachineDescription(const std::string& text, SimMachine& machine,
                                                   const std::filesystem::path& baseFolder) {
  json root;
  // JSON readers keep the last of two equal keys, or the first: a description
  // with both says two things, so it says neither.
  std::vector<std::set<std::string>> keys;
  const json::parser_callback_t noDuplicates = [&keys](int /*depth*/, json::parse_event_t event, json& parsed) {
    if (event == json::parse_event_t::object_start) keys.emplace_back();
    if (event == json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
    if (event == json::parse_event_t::key && !keys.empty() && !keys.back().insert(parsed.get<std::string>()).second) {
      throw DescriptionError{"machine description: \"" + parsed.get<std::string>() +
                             "\": the key appears twice in one object; keep one"};
    }
    return true;
  };
  try {
    root = json::parse(text, noDuplicates);
  } catch (const json::exception& e) {  // a syntax error, or a number too large for a double
    return std::string("machine description: not JSON: ") + e.what();
  } catch (const DescriptionError& e) {
    return e.message;
  }
  ConfigureBaseWindows(machine);
  try {
    Apply(root, machine, baseFolder);
  } catch (const DescriptionError& e) {
    return e.message;
  }
  SetRedirectionEntryPoints(machine);
  CreateStandardKeys(machine);
  // The shell gives a 32-bit program on 64-bit Windows the 32-bit Program Files folder.
  if (machine.wow64 && !root.contains("programFilesFolder")) machine.programFilesFolder = L"C:\\Program Files (x86)";
  machine.InstallSystemPrograms();
  return std::nullopt;
}

}  // namespace tv::sim
