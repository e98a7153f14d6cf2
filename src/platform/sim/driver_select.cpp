#include "platform/sim/driver_select.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "platform/text.h"

namespace tv::sim {

namespace {

std::wstring Trimmed(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  return std::wstring(s);
}

std::vector<std::wstring> Split(std::wstring_view s, wchar_t at) {
  std::vector<std::wstring> out;
  std::size_t from = 0;
  for (;;) {
    const auto cut = s.find(at, from);
    out.emplace_back(s.substr(from, cut == std::wstring_view::npos ? std::wstring_view::npos : cut - from));
    if (cut == std::wstring_view::npos) return out;
    from = cut + 1;
  }
}

// A whole number in decimal (dates and versions: "08" is eight), or with
// `base` 0 also 0x hex (a decoration's product type); none for anything else.
std::optional<std::uint32_t> Number(std::wstring_view text, int base = 10) {
  const std::string narrow = ToUtf8(Trimmed(text));
  if (narrow.empty() || narrow.front() == '-' || narrow.front() == '+') return std::nullopt;
  char* stop = nullptr;
  const unsigned long v = std::strtoul(narrow.c_str(), &stop, base);
  if (*stop != 0) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

const wchar_t* ArchName(const DriverTarget& t) { return t.amd64 ? L"amd64" : L"x86"; }

// How well one TargetOSVersion decoration fits the target; none when it does
// not. The higher tuple is the closer fit: the later version, then a named
// architecture, then a product type.
using Fit = std::tuple<std::uint32_t, std::uint32_t, int, int>;
std::optional<Fit> DecorationFit(std::wstring_view decoration, const DriverTarget& target) {
  const std::wstring lower = ToLowerAscii(Trimmed(decoration));
  if (lower.size() < 2 || lower.compare(0, 2, L"nt") != 0) return std::nullopt;
  const auto parts = Split(std::wstring_view(lower).substr(2), L'.');
  const std::wstring& arch = parts[0];
  // 64-bit Windows reads only models sections decorated for its architecture.
  if (target.amd64 ? arch != L"amd64" : !(arch.empty() || arch == L"x86")) return std::nullopt;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  int productType = 0;
  if (parts.size() > 1 && !parts[1].empty()) {
    const auto v = Number(parts[1]);
    if (!v) return std::nullopt;
    major = *v;
  }
  if (parts.size() > 2 && !parts[2].empty()) {
    const auto v = Number(parts[2]);
    if (!v) return std::nullopt;
    minor = *v;
  }
  if (std::tie(target.major, target.minor) < std::tie(major, minor)) return std::nullopt;
  if (parts.size() > 3 && !parts[3].empty()) {
    const auto v = Number(parts[3], 0);
    if (!v || *v != target.productType) return std::nullopt;
    productType = 1;
  }
  // A suite mask or a build number names editions and builds a notebook's
  // description does not give: such a decoration is not taken.
  for (std::size_t i = 4; i < parts.size(); ++i) {
    if (!parts[i].empty() && Number(parts[i], 0).value_or(1) != 0) return std::nullopt;
  }
  return Fit{major, minor, arch.empty() ? 0 : 1, productType};
}

// The section of `base` with the platform extension Windows reads first.
std::wstring WithPlatformExtension(const InfText& inf, std::wstring_view base, const DriverTarget& target) {
  const std::wstring name(base);
  for (const std::wstring& candidate : {name + L".NT" + ArchName(target), name + L".NT"}) {
    if (const auto* s = FindSection(inf, candidate)) return s->name;
  }
  if (const auto* s = FindSection(inf, name)) return s->name;
  return name;
}

const InfSection* PlatformSection(const InfText& inf, std::wstring_view base, const DriverTarget& target) {
  if (const auto* s = FindSection(inf, std::wstring(base) + L"." + ArchName(target))) return s;
  return FindSection(inf, base);
}

}  // namespace

std::wstring TargetName(const DriverTarget& t) {
  std::wstring name;
  if (t.major == 5 && t.minor == 0) {
    name = L"Windows 2000";
  } else if (t.major == 5) {
    name = L"Windows XP";
  } else if (t.major == 6 && t.minor == 0) {
    name = L"Windows Vista";
  } else if (t.major == 6 && t.minor == 1) {
    name = L"Windows 7";
  } else if (t.major == 6) {
    name = L"Windows 8";
  } else {
    name = L"Windows " + std::to_wstring(t.major) + L"." + std::to_wstring(t.minor);
  }
  return name + (t.amd64 ? L" 64-bit" : L" 32-bit");
}

std::optional<DriverVer> ParseDriverVer(std::wstring_view text) {
  const auto parts = Split(text, L',');
  const auto date = Split(Trimmed(parts[0]), L'/');
  if (date.size() != 3) return std::nullopt;
  const auto month = Number(date[0]);
  const auto day = Number(date[1]);
  const auto year = Number(date[2]);
  if (!month || !day || !year || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  DriverVer v;
  v.date = *year * 10000 + *month * 100 + *day;
  if (parts.size() > 1) {
    if (auto version = ParseVersion(Trimmed(parts[1]))) v.version = *version;
  }
  return v;
}

std::wstring DateText(std::uint32_t date) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"%04u-%02u-%02u", date / 10000, date / 100 % 100, date % 100);
  return buffer;
}

std::wstring DriverDateValue(std::uint32_t date) {
  return std::to_wstring(date / 100 % 100) + L"-" + std::to_wstring(date % 100) + L"-" + std::to_wstring(date / 10000);
}

std::optional<std::uint32_t> ParseIsoDate(std::wstring_view text) {
  const auto parts = Split(text, L'-');
  if (parts.size() != 3) return std::nullopt;
  const auto year = Number(parts[0]);
  const auto month = Number(parts[1]);
  const auto day = Number(parts[2]);
  if (!year || !month || !day || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  return *year * 10000 + *month * 100 + *day;
}

std::wstring VersionText(const std::array<std::uint32_t, 4>& v) {
  return std::to_wstring(v[0]) + L"." + std::to_wstring(v[1]) + L"." + std::to_wstring(v[2]) + L"." +
         std::to_wstring(v[3]);
}

std::optional<std::array<std::uint32_t, 4>> ParseVersion(std::wstring_view text) {
  const auto parts = Split(text, L'.');
  if (parts.size() > 4) return std::nullopt;
  std::array<std::uint32_t, 4> v{};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto n = Number(parts[i]);
    if (!n || *n > 0xFFFF) return std::nullopt;
    v[i] = *n;
  }
  return v;
}

std::optional<std::uint32_t> IdRank(std::wstring_view matchingId, const std::vector<std::wstring>& hardwareIds,
                                    const std::vector<std::wstring>& compatibleIds) {
  for (std::size_t i = 0; i < hardwareIds.size(); ++i) {
    if (EqualsNoCase(hardwareIds[i], matchingId)) return static_cast<std::uint32_t>(std::min<std::size_t>(i, 0xFFF));
  }
  for (std::size_t i = 0; i < compatibleIds.size(); ++i) {
    if (EqualsNoCase(compatibleIds[i], matchingId)) {
      return 0x2000 + static_cast<std::uint32_t>(std::min<std::size_t>(i, 0xFFF));
    }
  }
  return std::nullopt;
}

DriverNode InstalledDriverNode(std::wstring_view matchingId, const DriverVer& driverVer, bool signedDriver,
                               const std::vector<std::wstring>& hardwareIds,
                               const std::vector<std::wstring>& compatibleIds) {
  DriverNode node;
  node.matchingId = std::wstring(matchingId);
  node.signedDriver = signedDriver;
  node.rank = IdRank(matchingId, hardwareIds, compatibleIds).value_or(0x7FFF) + (signedDriver ? 0 : kRankUnsigned);
  node.driverVer = driverVer;
  return node;
}

bool RanksBetter(const DriverNode& a, const DriverNode& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  if (a.driverVer.date != b.driverVer.date) return a.driverVer.date > b.driverVer.date;
  return a.driverVer.version > b.driverVer.version;
}

std::vector<std::wstring> ModelsSectionsFor(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                                            std::wstring* why) {
  std::vector<std::wstring> out;
  const InfSection* manufacturer = FindSection(inf, L"Manufacturer");
  if (manufacturer == nullptr) {
    if (why != nullptr) *why = L"the INF has no [Manufacturer] section";
    return out;
  }
  std::vector<std::wstring> offered;
  for (const auto& line : manufacturer->lines) {
    if (line.fields.empty()) continue;
    // "%Mfg%=Models,NTamd64,..." or the bare "%Mfg%", whose name is the models section.
    const std::wstring name = Trimmed(Substitute(line.fields[0], inf, dirs));
    if (name.empty()) continue;
    std::optional<Fit> best;
    std::wstring decoration;
    // Windows 2000 knows no decorations: it reads the models section by its name.
    const bool decorations = !(target.major == 5 && target.minor == 0);
    for (std::size_t i = 1; decorations && i < line.fields.size(); ++i) {
      const std::wstring d = Trimmed(Substitute(line.fields[i], inf, dirs));
      offered.push_back(name + L"." + d);
      if (const auto fit = DecorationFit(d, target); fit && (!best || *fit > *best)) {
        best = fit;
        decoration = d;
      }
    }
    std::wstring section;
    if (best) {
      section = name + L"." + decoration;
    } else if (!target.amd64) {
      // 32-bit Windows falls back on the undecorated section.
      section = name;
    } else {
      continue;
    }
    if (const auto* s = FindSection(inf, section)) {
      out.push_back(s->name);
    } else {
      offered.push_back(section + L" (named, but not in the INF)");
    }
  }
  if (out.empty() && why != nullptr) {
    *why = L"no models section for " + TargetName(target);
    if (target.amd64) *why += L" (64-bit Windows reads only sections decorated NTamd64)";
    if (!offered.empty()) {
      *why += L"; the INF offers ";
      for (std::size_t i = 0; i < offered.size(); ++i) *why += (i == 0 ? L"[" : L", [") + offered[i] + L"]";
    }
  }
  return out;
}

DriverSearch FindDriver(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                        const std::vector<std::wstring>& hardwareIds, const std::vector<std::wstring>& compatibleIds,
                        bool signedDriver) {
  DriverSearch search;
  search.modelsSections = ModelsSectionsFor(inf, dirs, target, &search.why);
  if (search.modelsSections.empty()) {
    search.miss = DriverMiss::kNoModelsForPlatform;
    return search;
  }
  DriverVer versionOfInf;
  if (const auto* version = FindSection(inf, L"Version")) {
    if (const auto* line = FindLine(*version, L"DriverVer")) {
      std::wstring text;
      for (std::size_t i = 0; i < line->fields.size(); ++i) {
        text += (i == 0 ? L"" : L",") + Substitute(line->fields[i], inf, dirs);
      }
      versionOfInf = ParseDriverVer(text).value_or(DriverVer{});
    }
  }
  const InfSection* manufacturer = FindSection(inf, L"Manufacturer");
  for (const auto& sectionName : search.modelsSections) {
    const InfSection* models = FindSection(inf, sectionName);
    std::wstring maker;
    for (const auto& line : manufacturer->lines) {
      if (line.fields.empty()) continue;
      const std::wstring name = Trimmed(Substitute(line.fields[0], inf, dirs));
      if (StartsWithNoCase(sectionName, name)) {
        maker = line.key ? Substitute(*line.key, inf, dirs) : name;
        break;
      }
    }
    for (const auto& line : models->lines) {
      if (line.fields.size() < 2) continue;
      std::vector<std::wstring> ids;
      for (std::size_t j = 1; j < line.fields.size(); ++j)
        ids.push_back(Trimmed(Substitute(line.fields[j], inf, dirs)));
      std::optional<std::uint32_t> rank;
      std::wstring matching;
      const auto consider = [&](std::uint32_t r, const std::wstring& id) {
        if (!rank || r < *rank) {
          rank = r;
          matching = id;
        }
      };
      for (std::size_t d = 0; d < hardwareIds.size(); ++d) {
        for (std::size_t j = 0; j < ids.size(); ++j) {
          if (ids[j].empty() || !EqualsNoCase(ids[j], hardwareIds[d])) continue;
          const auto at = static_cast<std::uint32_t>(std::min<std::size_t>(j == 0 ? d : d * 0x10 + j - 1, 0xFFF));
          consider((j == 0 ? 0x0000 : 0x1000) + at, hardwareIds[d]);
        }
      }
      for (std::size_t d = 0; d < compatibleIds.size(); ++d) {
        for (std::size_t j = 0; j < ids.size(); ++j) {
          if (ids[j].empty() || !EqualsNoCase(ids[j], compatibleIds[d])) continue;
          const auto at = static_cast<std::uint32_t>(std::min<std::size_t>(j == 0 ? d : d * 0x10 + j - 1, 0xFFF));
          consider((j == 0 ? 0x2000 : 0x3000) + at, compatibleIds[d]);
        }
      }
      if (!rank) continue;
      DriverNode node;
      node.manufacturer = maker;
      node.modelsSection = models->name;
      node.description = line.key ? Substitute(*line.key, inf, dirs) : L"";
      node.installSection = Trimmed(Substitute(line.fields[0], inf, dirs));
      node.actualInstall = WithPlatformExtension(inf, node.installSection, target);
      node.matchingId = matching;
      node.byCompatibleId = *rank >= 0x1000;
      node.signedDriver = signedDriver;
      node.rank = *rank + (signedDriver ? 0 : kRankUnsigned);
      node.driverVer = versionOfInf;
      // DriverVer in the install section stands for the whole INF's.
      if (const auto* install = FindSection(inf, node.actualInstall)) {
        if (const auto* own = FindLine(*install, L"DriverVer")) {
          std::wstring text;
          for (std::size_t i = 0; i < own->fields.size(); ++i) {
            text += (i == 0 ? L"" : L",") + Substitute(own->fields[i], inf, dirs);
          }
          if (auto v = ParseDriverVer(text)) node.driverVer = *v;
        }
      }
      if (!search.best || RanksBetter(node, *search.best)) search.best = std::move(node);
    }
  }
  if (!search.best) {
    search.miss = DriverMiss::kNoLineForDevice;
    search.why = L"no line of ";
    for (std::size_t i = 0; i < search.modelsSections.size(); ++i) {
      search.why += (i == 0 ? L"[" : L", [") + search.modelsSections[i] + L"]";
    }
    search.why += L" carries one of the device's IDs";
  }
  return search;
}

std::wstring CatalogFileName(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target) {
  const InfSection* version = FindSection(inf, L"Version");
  if (version == nullptr) return L"";
  for (const std::wstring& key : {std::wstring(L"CatalogFile.NT") + ArchName(target), std::wstring(L"CatalogFile.NT"),
                                  std::wstring(L"CatalogFile")}) {
    if (const auto* line = FindLine(*version, key); line != nullptr && !line->fields.empty()) {
      return Trimmed(Substitute(line->fields[0], inf, dirs));
    }
  }
  return L"";
}

std::vector<std::wstring> SourceFiles(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                                      std::wstring_view actualInstall) {
  std::vector<std::wstring> out;
  const InfSection* install = FindSection(inf, actualInstall);
  if (install == nullptr) return out;
  const InfSection* files = PlatformSection(inf, L"SourceDisksFiles", target);
  const InfSection* disks = PlatformSection(inf, L"SourceDisksNames", target);
  const auto where = [&](const std::wstring& name) {
    std::wstring path;
    const InfLine* file = files != nullptr ? FindLine(*files, name) : nullptr;
    if (file != nullptr) {
      const std::wstring disk = Trimmed(Field(*file, 1, inf, dirs).value_or(L""));
      if (const InfLine* d = disks != nullptr ? FindLine(*disks, disk) : nullptr) {
        path = Trimmed(Field(*d, 4, inf, dirs).value_or(L""));
      }
      const std::wstring sub = Trimmed(Field(*file, 2, inf, dirs).value_or(L""));
      if (!sub.empty()) path += (path.empty() ? L"" : L"\\") + sub;
    }
    while (!path.empty() && (path.front() == L'\\' || path.front() == L'.')) path.erase(0, 1);
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path.empty() ? name : path + L"\\" + name;
  };
  for (const auto& line : install->lines) {
    if (!line.key || !EqualsNoCase(*line.key, L"CopyFiles")) continue;
    for (const auto& raw : line.fields) {
      const std::wstring entry = Trimmed(Substitute(raw, inf, dirs));
      if (entry.empty()) continue;
      if (entry.front() == L'@') {
        out.push_back(where(entry.substr(1)));
        continue;
      }
      const InfSection* list = FindSection(inf, entry);
      if (list == nullptr) continue;
      for (const auto& f : list->lines) {
        // destination[,source]: the source name where it differs.
        std::wstring name = f.key ? Substitute(*f.key, inf, dirs) : L"";
        if (!f.key && !f.fields.empty()) name = Substitute(f.fields[0], inf, dirs);
        const std::size_t sourceField = f.key ? 1 : 2;
        if (auto source = Field(f, sourceField, inf, dirs); source && !Trimmed(*source).empty()) name = *source;
        name = Trimmed(name);
        if (!name.empty()) out.push_back(where(name));
      }
    }
  }
  return out;
}

}  // namespace tv::sim
