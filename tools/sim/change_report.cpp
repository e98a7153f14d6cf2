#include "sim/change_report.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "platform/reg_root.h"
#include "platform/text.h"
#include "sim/sim_run.h"

namespace tv::sim {

using nlohmann::json;

namespace {

std::wstring KeyId(RegRoot root, const std::wstring& path) { return std::wstring(RegRootName(root)) + L"\\" + path; }

// The key itself or one below it.
bool IsAtOrUnder(std::wstring_view path, std::wstring_view key) {
  return StartsWithNoCase(path, key) && (path.size() == key.size() || path[key.size()] == L'\\');
}

// Which registry view of 64-bit Windows a native path belongs to.
std::wstring ViewOf(bool wow64, RegRoot root, std::wstring_view path) {
  if (!wow64) return L"";
  if (root == RegRoot::kLocalMachine && IsAtOrUnder(path, L"SOFTWARE\\Wow6432Node")) return L"32-bit";
  if (root == RegRoot::kLocalMachine && IsAtOrUnder(path, L"SOFTWARE")) return L"64-bit";
  return L"shared";
}

std::wstring Utf16Text(const std::vector<std::uint8_t>& data, std::size_t from, std::size_t* end = nullptr) {
  std::wstring out;
  std::size_t i = from;
  for (; i + 1 < data.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    out += c;
  }
  if (end != nullptr) *end = i + 2;
  return out;
}

std::vector<std::wstring> MultiStrings(const std::vector<std::uint8_t>& data) {
  std::vector<std::wstring> out;
  std::size_t at = 0;
  while (at + 1 < data.size()) {
    std::size_t end = 0;
    std::wstring s = Utf16Text(data, at, &end);
    if (s.empty()) break;
    out.push_back(std::move(s));
    at = end;
  }
  return out;
}

std::wstring Escaped(std::wstring_view text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out += L'\\';
    out += c;
  }
  return out;
}

std::wstring HexBytes(const std::vector<std::uint8_t>& data) {
  std::wstring out;
  for (std::size_t i = 0; i < data.size(); ++i) {
    wchar_t buf[4];
    std::swprintf(buf, 4, L"%02x", data[i]);
    if (i > 0) out += L',';
    out += buf;
  }
  return out;
}

std::string TypeName(std::uint32_t type) {
  switch (type) {
    case reg::kTypeNone: return "REG_NONE";
    case reg::kTypeSz: return "REG_SZ";
    case reg::kTypeExpandSz: return "REG_EXPAND_SZ";
    case reg::kTypeBinary: return "REG_BINARY";
    case reg::kTypeDword: return "REG_DWORD";
    case reg::kTypeMultiSz: return "REG_MULTI_SZ";
    default: return "type " + std::to_string(type);
  }
}

// A REG_DWORD's number, little-endian as stored.
std::uint32_t DwordOf(const RegValue& v) {
  return v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<std::uint32_t>(v.data[3]) << 24);
}

json ValueJson(const RegValue& v) {
  json out{{"type", TypeName(v.type)}};
  if (v.type == reg::kTypeSz || v.type == reg::kTypeExpandSz) {
    out["data"] = ToUtf8(Utf16Text(v.data, 0));
  } else if (v.type == reg::kTypeDword && v.data.size() == 4) {
    out["data"] = DwordOf(v);
  } else if (v.type == reg::kTypeMultiSz) {
    json parts = json::array();
    for (const auto& s : MultiStrings(v.data)) parts.push_back(ToUtf8(s));
    out["data"] = parts;
  } else {
    std::string hex = ToUtf8(HexBytes(v.data));
    out["data"] = hex;
  }
  return out;
}

std::string Ms(std::uint32_t ms) { return std::to_string(ms) + " ms"; }

}  // namespace

std::wstring RegLine(std::wstring_view name, const RegValue& value) {
  std::wstring line = name.empty() ? L"@" : L"\"" + Escaped(name) + L"\"";
  line += L'=';
  if (value.type == reg::kTypeSz) {
    line += L"\"" + Escaped(Utf16Text(value.data, 0)) + L"\"";
  } else if (value.type == reg::kTypeDword && value.data.size() == 4) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"dword:%08x", DwordOf(value));
    line += buf;
  } else if (value.type == reg::kTypeBinary) {
    line += L"hex:" + HexBytes(value.data);
  } else {
    line += L"hex(" + std::to_wstring(value.type) + L"):" + HexBytes(value.data);
  }
  return line;
}

MachineSnapshot TakeSnapshot(const SimMachine& machine) {
  MachineSnapshot s;
  machine.registry.ForEachKey([&](RegRoot root, const std::wstring& path, const auto& values) {
    MachineSnapshot::Key key{root, path, {}};
    for (const auto& [name, value] : values) key.values.emplace(name, std::make_pair(name, value));
    s.keys.emplace(KeyId(root, path), std::move(key));
  });
  machine.files.ForEach([&](const SimFileSystem::EntryView& e) {
    s.files.emplace(e.path, MachineSnapshot::File{e.path, e.directory, e.attributes, e.size, e.stamp});
  });
  s.devices = machine.devices;
  s.processes = machine.processes;
  s.started = machine.started.size();
  s.pauses = machine.pauses.size();
  s.driverUpdates = machine.driverUpdates.size();
  s.stagedInfs = machine.stagedInfs.size();
  return s;
}

ChangeReport CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after, const SimMachine& machine,
                              int exitCode) {
  using RC = ChangeReport::RegistryChange;
  using FC = ChangeReport::FileChange;
  using DC = ChangeReport::DeviceChange;
  ChangeReport r;
  r.exitCode = exitCode;
  r.wow64 = machine.wow64;

  // Registry: keys in path order, so a key comes before its values and its subkeys.
  for (const auto& [id, key] : after.keys) {
    const std::wstring view = ViewOf(machine.wow64, key.root, key.path);
    const auto old = before.keys.find(id);
    if (old == before.keys.end()) {
      // An empty new key is worth a line only when nothing was added below it.
      // Keys sort by name, so "A\\B-x" may stand between "A\\B" and "A\\B\\C": look from the first child.
      auto next = after.keys.lower_bound(id + L"\\");
      const bool hasChild = next != after.keys.end() && IsAtOrUnder(next->first, id);
      if (key.values.empty() && !hasChild) {
        r.registry.push_back(RC{RC::Kind::kKeyAdded, key.root, key.path, view, L"", {}, {}});
      }
      for (const auto& [_, nv] : key.values) {
        r.registry.push_back(RC{RC::Kind::kValueAdded, key.root, key.path, view, nv.first, {}, nv.second});
      }
      continue;
    }
    for (const auto& [name, nv] : key.values) {
      const auto was = old->second.values.find(name);
      if (was == old->second.values.end()) {
        r.registry.push_back(RC{RC::Kind::kValueAdded, key.root, key.path, view, nv.first, {}, nv.second});
      } else if (was->second.second.type != nv.second.type || was->second.second.data != nv.second.data) {
        r.registry.push_back(
            RC{RC::Kind::kValueChanged, key.root, key.path, view, nv.first, was->second.second, nv.second});
      }
    }
    for (const auto& [name, ov] : old->second.values) {
      if (!key.values.contains(name)) {
        r.registry.push_back(RC{RC::Kind::kValueDeleted, key.root, key.path, view, ov.first, ov.second, {}});
      }
    }
  }
  // A deleted tree is reported once, at its top key: the key whose parent is still there.
  for (const auto& [id, key] : before.keys) {
    if (after.keys.contains(id)) continue;
    const std::wstring parent = id.substr(0, id.rfind(L'\\'));
    if (before.keys.contains(parent) && !after.keys.contains(parent)) continue;
    r.registry.push_back(
        RC{RC::Kind::kKeyDeleted, key.root, key.path, ViewOf(machine.wow64, key.root, key.path), L"", {}, {}});
  }

  // Files and folders.
  for (const auto& [path, file] : after.files) {
    const auto old = before.files.find(path);
    if (old == before.files.end()) {
      r.files.push_back(FC{file.directory ? FC::Kind::kFolderCreated : FC::Kind::kCreated, file.path, file.size});
    } else if (!file.directory && (old->second.stamp != file.stamp || old->second.directory)) {
      r.files.push_back(FC{FC::Kind::kOverwritten, file.path, file.size});
    }
  }
  for (const auto& [path, file] : before.files) {
    if (after.files.contains(path)) continue;
    r.files.push_back(FC{file.directory ? FC::Kind::kFolderDeleted : FC::Kind::kDeleted, file.path, file.size});
  }

  // Devices: what changed of each one the machine had, then what the driver store did.
  for (std::size_t i = 0; i < after.devices.size(); ++i) {
    const auto& now = after.devices[i];
    const std::wstring firstId = now.hardwareIds && !now.hardwareIds->empty() ? now.hardwareIds->front() : L"";
    if (i >= before.devices.size()) continue;
    const auto& was = before.devices[i];
    if (now.removed && !was.removed) {
      r.devices.push_back(DC{DC::Kind::kRemoved, now.instanceId, L"", firstId, now.changedByCompanion});
      continue;
    }
    if (now.disabled && !was.disabled) {
      r.devices.push_back(DC{DC::Kind::kDisabled, now.instanceId, L"", firstId, now.changedByCompanion});
    } else if (!now.disabled && was.disabled) {
      r.devices.push_back(DC{DC::Kind::kEnabled, now.instanceId, L"", firstId, now.changedByCompanion});
    } else if (now.changed && !was.changed) {
      r.devices.push_back(DC{DC::Kind::kRestarted, now.instanceId, L"", firstId, now.changedByCompanion});
    }
    const bool fromStore =
        std::find(machine.stagedInfs.begin(), machine.stagedInfs.end(), now.installedInf) != machine.stagedInfs.end();
    if (now.installedInf != was.installedInf && fromStore) {
      r.devices.push_back(DC{DC::Kind::kInstalled, now.instanceId, now.installedInf, firstId});
    }
  }
  for (std::size_t i = before.driverUpdates; i < machine.driverUpdates.size(); ++i) {
    r.devices.push_back(DC{DC::Kind::kDriverUpdated, machine.driverUpdates[i].hardwareId, machine.driverUpdates[i].inf,
                           L"", machine.driverUpdates[i].byCompanion});
  }
  for (std::size_t i = before.stagedInfs; i < machine.stagedInfs.size(); ++i) {
    const std::wstring source = i < machine.stagedInfSources.size() ? machine.stagedInfSources[i] : L"";
    r.devices.push_back(DC{DC::Kind::kStaged, source, machine.stagedInfs[i]});
  }

  // Programs and pauses.
  r.started.assign(machine.started.begin() + static_cast<std::ptrdiff_t>(before.started), machine.started.end());
  for (const auto& p : before.processes) {
    for (const auto& q : after.processes) {
      if (q.id == p.id && p.running && !q.running) r.ended.push_back({q.image, q.id});
    }
  }
  r.pauses.assign(machine.pauses.begin() + static_cast<std::ptrdiff_t>(before.pauses), machine.pauses.end());
  return r;
}

namespace {

int Group(ChangeReport::RegistryChange::Kind k) {
  using K = ChangeReport::RegistryChange::Kind;
  return k == K::kKeyAdded || k == K::kValueAdded ? 0 : k == K::kValueChanged ? 1 : 2;
}

std::string RegistryText(const ChangeReport& r) {
  using RC = ChangeReport::RegistryChange;
  std::string out = "Windows Registry Editor Version 5.00\n";
  std::wstring lastHeading;
  std::wstring lastKey;
  // Added, then changed, then deleted; each by view and in key order.
  std::vector<const RC*> sorted;
  for (const auto& c : r.registry) sorted.push_back(&c);
  std::stable_sort(sorted.begin(), sorted.end(), [](const RC* a, const RC* b) {
    return std::make_pair(Group(a->kind), a->view) < std::make_pair(Group(b->kind), b->view);
  });
  for (const RC* change : sorted) {
    const RC& c = *change;
    std::wstring heading;
    switch (c.kind) {
      case RC::Kind::kKeyAdded:
      case RC::Kind::kValueAdded: heading = L"added"; break;
      case RC::Kind::kValueChanged: heading = L"changed"; break;
      case RC::Kind::kKeyDeleted:
      case RC::Kind::kValueDeleted: heading = L"deleted"; break;
    }
    if (!c.view.empty()) heading += L", " + c.view + (c.view == L"shared" ? L" by both views" : L" view");
    const std::wstring keyLine =
        c.kind == RC::Kind::kKeyDeleted ? L"[-" + KeyId(c.root, c.path) + L"]" : L"[" + KeyId(c.root, c.path) + L"]";
    if (heading != lastHeading) {
      out += "\n; ---- " + ToUtf8(heading) + " ----\n";
      lastHeading = heading;
      lastKey.clear();
    }
    if (keyLine != lastKey) {
      out += "\n" + ToUtf8(keyLine) + "\n";
      lastKey = keyLine;
    }
    switch (c.kind) {
      case RC::Kind::kKeyAdded:
      case RC::Kind::kKeyDeleted: break;
      case RC::Kind::kValueAdded: out += ToUtf8(RegLine(c.name, *c.after)) + "\n"; break;
      case RC::Kind::kValueChanged:
        out += "; was " + ToUtf8(RegLine(c.name, *c.before)) + "\n" + ToUtf8(RegLine(c.name, *c.after)) + "\n";
        break;
      case RC::Kind::kValueDeleted:
        out += "; was " + ToUtf8(RegLine(c.name, *c.before)) + "\n" +
               ToUtf8(c.name.empty() ? std::wstring(L"@") : L"\"" + Escaped(c.name) + L"\"") + "=-\n";
        break;
    }
  }
  return out;
}

const char* FileKindText(ChangeReport::FileChange::Kind k) {
  using K = ChangeReport::FileChange::Kind;
  switch (k) {
    case K::kCreated: return "created";
    case K::kOverwritten: return "overwritten";
    case K::kDeleted: return "deleted";
    case K::kFolderCreated: return "folder created";
    case K::kFolderDeleted: return "folder deleted";
  }
  return "?";
}

const char* DeviceKindText(ChangeReport::DeviceChange::Kind k) {
  using K = ChangeReport::DeviceChange::Kind;
  switch (k) {
    case K::kDisabled: return "disabled";
    case K::kEnabled: return "enabled";
    case K::kRestarted: return "restarted";
    case K::kRemoved: return "removed";
    case K::kDriverUpdated: return "driver updated";
    case K::kStaged: return "staged";
    case K::kInstalled: return "installed";
  }
  return "?";
}

const char* RegistryKindText(ChangeReport::RegistryChange::Kind k) {
  using K = ChangeReport::RegistryChange::Kind;
  switch (k) {
    case K::kKeyAdded: return "key added";
    case K::kKeyDeleted: return "key deleted";
    case K::kValueAdded: return "added";
    case K::kValueChanged: return "changed";
    case K::kValueDeleted: return "deleted";
  }
  return "?";
}

}  // namespace

std::string ReportText(const ChangeReport& r) {
  std::string out = r.exitCode == kToolNeverExits
                        ? std::string("== What the run changed (no exit code: the tool would still be waiting) ==\n")
                        : "== What the run changed (exit code " + std::to_string(r.exitCode) + ") ==\n";
  out += "\n-- Registry";
  out += r.wow64 ? " (64-bit Windows: the 32-bit view of HKLM\\SOFTWARE is SOFTWARE\\Wow6432Node) --\n"
                 : " (32-bit Windows: one view) --\n";
  out += r.registry.empty() ? "no change\n" : RegistryText(r);

  out += "\n-- Files and folders --\n";
  if (r.files.empty()) out += "no change\n";
  for (const auto& f : r.files) {
    out += std::string(FileKindText(f.kind)) + "  " + ToUtf8(f.path);
    if (f.kind == ChangeReport::FileChange::Kind::kCreated || f.kind == ChangeReport::FileChange::Kind::kOverwritten) {
      out += " (" + std::to_string(f.size) + " bytes)";
    }
    out += "\n";
  }

  out += "\n-- Devices --\n";
  if (r.devices.empty()) out += "no change\n";
  for (const auto& d : r.devices) {
    out += std::string(DeviceKindText(d.kind)) + "  " + ToUtf8(d.device);
    if (!d.hardwareId.empty()) out += " (" + ToUtf8(d.hardwareId) + ")";
    if (d.kind == ChangeReport::DeviceChange::Kind::kDriverUpdated) out += " from " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kInstalled) out += " from the staged " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kStaged) out += " as " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kRestarted) out += " (disabled and enabled again)";
    if (d.byCompanion) out += ", by the 64-bit companion";
    out += "\n";
  }

  out += "\n-- Programs --\n";
  if (r.started.empty() && r.ended.empty()) out += "none started or ended\n";
  for (const auto& p : r.started) {
    out += "started  " + ToUtf8(p.commandLine) + "\n";
    // Where the search or WOW64 redirection found another file than the command line names.
    if (!p.image.empty() && p.commandLine.find(p.image) == std::wstring::npos) {
      out += "         ran " + ToUtf8(p.image) + "\n";
    }
    out += "         in " + ToUtf8(p.currentDirectory) + (p.waitedFor ? ", waited for" : ", not waited for") + "\n";
  }
  for (const auto& p : r.ended)
    out += "ended    " + ToUtf8(p.image) + " (process " + std::to_string(p.processId) + ")\n";

  out += "\n-- Pauses --\n";
  if (r.pauses.empty()) {
    out += "none\n";
  } else {
    std::string list;
    for (auto ms : r.pauses) list += (list.empty() ? "" : ", ") + Ms(ms);
    const auto total = std::accumulate(r.pauses.begin(), r.pauses.end(), std::uint64_t{0});
    out += list + " (" + std::to_string(total) + " ms in all)\n";
  }
  return out;
}

json ReportJson(const ChangeReport& r) {
  json registry = json::array();
  for (const auto& c : r.registry) {
    json e{{"change", RegistryKindText(c.kind)}, {"key", ToUtf8(KeyId(c.root, c.path))}};
    if (!c.view.empty()) e["view"] = ToUtf8(c.view);
    if (c.kind != ChangeReport::RegistryChange::Kind::kKeyAdded &&
        c.kind != ChangeReport::RegistryChange::Kind::kKeyDeleted) {
      e["name"] = ToUtf8(c.name);
    }
    if (c.before) e["before"] = ValueJson(*c.before);
    if (c.after) {
      e["after"] = ValueJson(*c.after);
      e["reg"] = ToUtf8(RegLine(c.name, *c.after));
    }
    registry.push_back(std::move(e));
  }
  json files = json::array();
  for (const auto& f : r.files)
    files.push_back({{"change", FileKindText(f.kind)}, {"path", ToUtf8(f.path)}, {"size", f.size}});
  json devices = json::array();
  for (const auto& d : r.devices) {
    json e{{"change", DeviceKindText(d.kind)}, {"device", ToUtf8(d.device)}};
    if (!d.detail.empty()) e["inf"] = ToUtf8(d.detail);
    if (!d.hardwareId.empty()) e["hardwareId"] = ToUtf8(d.hardwareId);
    if (d.byCompanion) e["byCompanion"] = true;
    devices.push_back(std::move(e));
  }
  json started = json::array();
  for (const auto& p : r.started) {
    started.push_back({{"commandLine", ToUtf8(p.commandLine)},
                       {"image", ToUtf8(p.image)},
                       {"currentDirectory", ToUtf8(p.currentDirectory)},
                       {"waitedFor", p.waitedFor}});
  }
  json ended = json::array();
  for (const auto& p : r.ended) ended.push_back({{"image", ToUtf8(p.image)}, {"processId", p.processId}});
  return json{{"exitCode", r.exitCode == kToolNeverExits ? json(nullptr) : json(r.exitCode)},
              {"wow64", r.wow64},
              {"registry", registry},
              {"files", files},
              {"devices", devices},
              {"programs", {{"started", started}, {"ended", ended}}},
              {"pauses", r.pauses}};
}

}  // namespace tv::sim
