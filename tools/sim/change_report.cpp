#include "sim/change_report.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <set>

#include "platform/reg_root.h"
#include "platform/text.h"
#include "sim/sim_run.h"

namespace tv::sim {

using nlohmann::json;

namespace {

std::wstring KeyId(RegRoot root, std::wstring_view path) {
  return std::wstring(RegRootName(root)) + L"\\" + std::wstring(path);
}

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

json ValueJson(const RegValue& v) {
  json out{{"type", TypeName(v.type)}};
  if (v.type == reg::kTypeSz || v.type == reg::kTypeExpandSz) {
    out["data"] = ToUtf8(Utf16Text(v.data, 0));
  } else if (v.type == reg::kTypeDword && v.data.size() == 4) {
    out["data"] = DwordFromRegistryData(v.data);
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
    std::swprintf(buf, 16, L"dword:%08x", DwordFromRegistryData(value.data));
    line += buf;
  } else if (value.type == reg::kTypeBinary) {
    line += L"hex:" + HexBytes(value.data);
  } else {
    line += L"hex(" + std::to_wstring(value.type) + L"):" + HexBytes(value.data);
  }
  return line;
}

namespace {
std::map<std::wstring, MachineSnapshot::File, LessNoCase> FilesOf(const SimMachine& machine) {
  std::map<std::wstring, MachineSnapshot::File, LessNoCase> files;
  machine.files.ForEach([&](const SimFileSystem::EntryView& e) {
    files.emplace(e.path, MachineSnapshot::File{e.path, e.directory, e.attributes, e.size, e.stamp});
  });
  return files;
}
}  // namespace

MachineSnapshot TakeSnapshot(const SimMachine& machine) {
  MachineSnapshot s;
  machine.registry.ForEachKey([&](RegRoot root, const std::wstring& path, const auto& values) {
    MachineSnapshot::Key key{root, path, {}};
    for (const auto& [name, value] : values) key.values.emplace(name, std::make_pair(name, value));
    s.keys.emplace(KeyId(root, path), std::move(key));
  });
  s.files = FilesOf(machine);
  s.devices = machine.devices;
  s.processes = machine.processes;
  s.started = machine.started.size();
  s.pauses = machine.pauses.size();
  s.driverUpdates = machine.driverUpdates.size();
  s.stagedInfs = machine.stagedInfs.size();
  s.driverDecisions = machine.driverDecisions.size();
  return s;
}

namespace {

using Values = std::vector<std::pair<std::wstring, RegValue>>;

// A key of the machine as it is now, with its values in name order.
struct LiveKey {
  std::wstring id;  // root and path, the report's order
  RegRoot root;
  std::wstring path;
  std::wstring view;
  const Values* values;
  std::vector<std::uint32_t> byName;
  const MachineSnapshot::Key* old;  // the key before the run; null for a new one

  const RegValue* Find(std::wstring_view name) const {
    const auto it = std::lower_bound(byName.begin(), byName.end(), name, [&](std::uint32_t i, std::wstring_view n) {
      return CompareNoCase((*values)[i].first, n) < 0;
    });
    return it != byName.end() && EqualsNoCase((*values)[*it].first, name) ? &(*values)[*it].second : nullptr;
  }
};

bool SameValue(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }

// The text report's groups, in its order.
enum { kAdded, kChanged, kDeleted };
int GroupOf(ChangeReport::RegistryChange::Kind k) {
  using K = ChangeReport::RegistryChange::Kind;
  return k == K::kKeyAdded || k == K::kValueAdded ? kAdded : k == K::kValueChanged ? kChanged : kDeleted;
}

}  // namespace

void ForEachRegistryChange(const ChangeReport& r, ChangeOrder order,
                           const std::function<void(const ChangeReport::RegistryChange&)>& visit) {
  using RC = ChangeReport::RegistryChange;
  const MachineSnapshot& before = *r.before;
  std::vector<LiveKey> live;
  r.machine->registry.ForEachKey([&](RegRoot root, const std::wstring& path, const Values& values) {
    LiveKey key{KeyId(root, path), root, path, ViewOf(r.wow64, root, path), &values, {}, nullptr};
    if (const auto old = before.keys.find(key.id); old != before.keys.end()) key.old = &old->second;
    key.byName.resize(values.size());
    std::iota(key.byName.begin(), key.byName.end(), 0U);
    std::sort(key.byName.begin(), key.byName.end(),
              [&](std::uint32_t a, std::uint32_t b) { return CompareNoCase(values[a].first, values[b].first) < 0; });
    live.push_back(std::move(key));
  });
  const LessNoCase less;
  std::sort(live.begin(), live.end(), [&](const LiveKey& a, const LiveKey& b) { return less(a.id, b.id); });
  const auto liveKey = [&](std::wstring_view id) -> const LiveKey* {
    const auto it = std::lower_bound(live.begin(), live.end(), id,
                                     [&](const LiveKey& k, std::wstring_view i) { return less(k.id, i); });
    return it != live.end() && EqualsNoCase(it->id, id) ? &*it : nullptr;
  };

  // One key's changes whose kind `wanted` takes: the key, then its values by name, then its deleted values.
  const auto keyChanges = [&](const LiveKey& key, const auto& wanted) {
    const MachineSnapshot::Key* old = key.old;
    if (old == nullptr) {
      // An empty new key is worth a line only when nothing was added below it.
      // Keys sort by name, so "A\\B-x" may stand between "A\\B" and "A\\B\\C": look from the first child.
      const std::wstring firstChild = key.id + L"\\";
      const auto next = std::lower_bound(live.begin(), live.end(), firstChild,
                                         [&](const LiveKey& k, const std::wstring& i) { return less(k.id, i); });
      const bool hasChild = next != live.end() && IsAtOrUnder(next->id, key.id);
      if (key.values->empty() && !hasChild && wanted(RC::Kind::kKeyAdded)) {
        visit(RC{RC::Kind::kKeyAdded, key.root, key.path, key.view, L""});
      }
    }
    for (const std::uint32_t i : key.byName) {
      const auto& [name, value] = (*key.values)[i];
      const RegValue* was = nullptr;
      if (old != nullptr) {
        const auto it = old->values.find(name);
        if (it != old->values.end()) was = &it->second.second;
      }
      if (was == nullptr) {
        if (wanted(RC::Kind::kValueAdded)) {
          visit(RC{RC::Kind::kValueAdded, key.root, key.path, key.view, name, nullptr, &value});
        }
      } else if (!SameValue(*was, value) && wanted(RC::Kind::kValueChanged)) {
        visit(RC{RC::Kind::kValueChanged, key.root, key.path, key.view, name, was, &value});
      }
    }
    if (old == nullptr || !wanted(RC::Kind::kValueDeleted)) return;
    for (const auto& [_, nv] : old->values) {
      if (key.Find(nv.first) == nullptr) {
        visit(RC{RC::Kind::kValueDeleted, key.root, key.path, key.view, nv.first, &nv.second, nullptr});
      }
    }
  };
  // Deleted trees, each once at its top key: the key whose parent is still there.
  const auto deletedTrees = [&](const auto& inView) {
    for (const auto& [id, key] : before.keys) {
      const std::wstring view = ViewOf(r.wow64, key.root, key.path);
      if (!inView(view) || liveKey(id) != nullptr) continue;
      const std::wstring parent = id.substr(0, id.rfind(L'\\'));
      if (before.keys.contains(parent) && liveKey(parent) == nullptr) continue;
      visit(RC{RC::Kind::kKeyDeleted, key.root, key.path, view, L""});
    }
  };

  if (order == ChangeOrder::kByKey) {
    for (const auto& key : live) keyChanges(key, [](RC::Kind) { return true; });
    deletedTrees([](const std::wstring&) { return true; });
    return;
  }
  std::set<std::wstring> views;
  for (const auto& key : live) views.insert(key.view);
  for (const auto& [_, key] : before.keys) views.insert(ViewOf(r.wow64, key.root, key.path));
  for (const int group : {kAdded, kChanged, kDeleted}) {
    for (const auto& view : views) {
      for (const auto& key : live) {
        if (key.view == view) keyChanges(key, [&](RC::Kind k) { return GroupOf(k) == group; });
      }
      if (group == kDeleted) deletedTrees([&](const std::wstring& v) { return v == view; });
    }
  }
}

ChangeReport CompareWithMachine(const MachineSnapshot& before, const SimMachine& machine, int exitCode) {
  using FC = ChangeReport::FileChange;
  using DC = ChangeReport::DeviceChange;
  ChangeReport r;
  r.exitCode = exitCode;
  r.wow64 = machine.wow64;
  r.before = &before;
  r.machine = &machine;
  // Files and folders.
  const auto files = FilesOf(machine);
  for (const auto& [path, file] : files) {
    const auto old = before.files.find(path);
    if (old == before.files.end()) {
      r.files.push_back(FC{file.directory ? FC::Kind::kFolderCreated : FC::Kind::kCreated, file.path, file.size});
    } else if (!file.directory && (old->second.stamp != file.stamp || old->second.directory)) {
      r.files.push_back(FC{FC::Kind::kOverwritten, file.path, file.size});
    }
  }
  for (const auto& [path, file] : before.files) {
    if (files.contains(path)) continue;
    r.files.push_back(FC{file.directory ? FC::Kind::kFolderDeleted : FC::Kind::kDeleted, file.path, file.size});
  }

  // Devices: what changed of each one the machine had, then what the driver store did.
  for (std::size_t i = 0; i < machine.devices.size(); ++i) {
    const auto& now = machine.devices[i];
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
    // The INF a driver update installed from goes into the store with it: the update says so.
    if (i < machine.stagedByUpdate.size() && machine.stagedByUpdate[i]) continue;
    const std::wstring source = i < machine.stagedInfSources.size() ? machine.stagedInfSources[i] : L"";
    r.devices.push_back(DC{DC::Kind::kStaged, source, machine.stagedInfs[i]});
  }
  if (before.driverDecisions < machine.driverDecisions.size()) {
    r.driverChoices.assign(machine.driverDecisions.begin() + static_cast<std::ptrdiff_t>(before.driverDecisions),
                           machine.driverDecisions.end());
  }

  // Programs and pauses.
  r.started.assign(machine.started.begin() + static_cast<std::ptrdiff_t>(before.started), machine.started.end());
  for (const auto& p : before.processes) {
    for (const auto& q : machine.processes) {
      if (q.id == p.id && p.running && !q.running) r.ended.push_back({q.image, q.id});
    }
  }
  r.pauses.assign(machine.pauses.begin() + static_cast<std::ptrdiff_t>(before.pauses), machine.pauses.end());
  return r;
}

namespace {

// The registry part in the registry editor's syntax, a change at a time.
void WriteRegistryText(const ChangeReport& r, const ReportSink& out) {
  using RC = ChangeReport::RegistryChange;
  bool any = false;
  std::wstring lastHeading;
  std::wstring lastKey;
  ForEachRegistryChange(r, ChangeOrder::kByKind, [&](const RC& c) {
    if (!any) out("Windows Registry Editor Version 5.00\n");
    any = true;
    std::wstring heading;
    switch (c.kind) {
      case RC::Kind::kKeyAdded:
      case RC::Kind::kValueAdded: heading = L"added"; break;
      case RC::Kind::kValueChanged: heading = L"changed"; break;
      case RC::Kind::kKeyDeleted:
      case RC::Kind::kValueDeleted: heading = L"deleted"; break;
    }
    if (!c.view.empty()) {
      heading += L", " + std::wstring(c.view) + (c.view == L"shared" ? L" by both views" : L" view");
    }
    const std::wstring id = KeyId(c.root, c.path);
    const std::wstring keyLine = c.kind == RC::Kind::kKeyDeleted ? L"[-" + id + L"]" : L"[" + id + L"]";
    std::string text;
    if (heading != lastHeading) {
      text += "\n; ---- " + ToUtf8(heading) + " ----\n";
      lastHeading = heading;
      lastKey.clear();
    }
    if (keyLine != lastKey) {
      text += "\n" + ToUtf8(keyLine) + "\n";
      lastKey = keyLine;
    }
    switch (c.kind) {
      case RC::Kind::kKeyAdded:
      case RC::Kind::kKeyDeleted: break;
      case RC::Kind::kValueAdded: text += ToUtf8(RegLine(c.name, *c.after)) + "\n"; break;
      case RC::Kind::kValueChanged:
        text += "; was " + ToUtf8(RegLine(c.name, *c.before)) + "\n" + ToUtf8(RegLine(c.name, *c.after)) + "\n";
        break;
      case RC::Kind::kValueDeleted:
        text += "; was " + ToUtf8(RegLine(c.name, *c.before)) + "\n" +
                ToUtf8(c.name.empty() ? std::wstring(L"@") : L"\"" + Escaped(c.name) + L"\"") + "=-\n";
        break;
    }
    out(text);
  });
  if (!any) out("no change\n");
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

json RegistryChangeJson(const ChangeReport::RegistryChange& c) {
  json e{{"change", RegistryKindText(c.kind)}, {"key", ToUtf8(KeyId(c.root, c.path))}};
  if (!c.view.empty()) e["view"] = ToUtf8(c.view);
  if (c.kind != ChangeReport::RegistryChange::Kind::kKeyAdded &&
      c.kind != ChangeReport::RegistryChange::Kind::kKeyDeleted) {
    e["name"] = ToUtf8(c.name);
  }
  if (c.before != nullptr) e["before"] = ValueJson(*c.before);
  if (c.after != nullptr) {
    e["after"] = ValueJson(*c.after);
    e["reg"] = ToUtf8(RegLine(c.name, *c.after));
  }
  return e;
}

// A value as json's dump(2) writes it at `depth` levels in: its inner lines
// indented by as much more. (Line ends inside strings are escaped.)
std::string Dumped(const json& value, int depth) {
  const std::string text = value.dump(2);
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out;
}

}  // namespace

std::vector<StateChange> StateChanges(const ChangeReport& r) {
  using RC = ChangeReport::RegistryChange;
  std::vector<StateChange> changes;
  ForEachRegistryChange(r, ChangeOrder::kByKind, [&](const RC& c) {
    const std::string key = ToUtf8(KeyId(c.root, c.path));
    const bool ofKey = c.kind == RC::Kind::kKeyAdded || c.kind == RC::Kind::kKeyDeleted;
    std::string text = std::string("registry ") + RegistryKindText(c.kind) + "  " + key;
    if (!c.view.empty()) text += " (" + ToUtf8(c.view) + " view)";
    if (c.kind == RC::Kind::kValueChanged) {
      text += "  " + ToUtf8(RegLine(c.name, *c.after)) + ", was " + ToUtf8(RegLine(c.name, *c.before));
    } else if (c.kind == RC::Kind::kValueAdded) {
      text += "  " + ToUtf8(RegLine(c.name, *c.after));
    } else if (c.kind == RC::Kind::kValueDeleted) {
      text += "  " + ToUtf8(RegLine(c.name, *c.before));
    }
    changes.push_back({ofKey ? "key " + key : "value " + key + "\n" + ToUtf8(c.name), std::move(text)});
  });
  for (const auto& f : r.files) {
    changes.push_back({"file " + ToUtf8(f.path), std::string("file ") + FileKindText(f.kind) + "  " + ToUtf8(f.path)});
  }
  using DC = ChangeReport::DeviceChange;
  for (const auto& d : r.devices) {
    // A forced update with the driver the device has already is no change of
    // its state; a driver that changed is found below, device by device.
    if (d.kind == DC::Kind::kDriverUpdated || d.kind == DC::Kind::kInstalled) continue;
    std::string text = std::string("device ") + DeviceKindText(d.kind) + "  " + ToUtf8(d.device);
    if (!d.detail.empty()) text += " (" + ToUtf8(d.detail) + ")";
    changes.push_back({"device " + ToUtf8(d.device), std::move(text)});
  }
  const auto& now = r.machine->devices;
  const auto& was = r.before->devices;
  for (std::size_t i = 0; i < now.size() && i < was.size(); ++i) {
    if (now[i].installedInf == was[i].installedInf) continue;
    changes.push_back({"driver " + ToUtf8(now[i].instanceId),
                       "device driver  " + ToUtf8(now[i].instanceId) + " now from " + ToUtf8(now[i].installedInf) +
                           (was[i].installedInf.empty() ? std::string() : ", was " + ToUtf8(was[i].installedInf))});
  }
  return changes;
}

void WriteReportText(const ChangeReport& r, const ReportSink& out) {
  out(r.exitCode == kToolNeverExits
          ? std::string("== What the run changed (no exit code: the tool would still be waiting) ==\n")
      : r.exitCode == kToolProcessEnded
          ? std::string("== What the run changed (no exit code: the process was ended) ==\n")
          : "== What the run changed (exit code " + std::to_string(r.exitCode) + ") ==\n");
  out(r.wow64 ? "\n-- Registry (64-bit Windows: the 32-bit view of HKLM\\SOFTWARE is SOFTWARE\\Wow6432Node) --\n"
              : "\n-- Registry (32-bit Windows: one view) --\n");
  WriteRegistryText(r, out);

  std::string text = "\n-- Files and folders --\n";
  if (r.files.empty()) text += "no change\n";
  for (const auto& f : r.files) {
    text += std::string(FileKindText(f.kind)) + "  " + ToUtf8(f.path);
    if (f.kind == ChangeReport::FileChange::Kind::kCreated || f.kind == ChangeReport::FileChange::Kind::kOverwritten) {
      text += " (" + std::to_string(f.size) + " bytes)";
    }
    text += "\n";
  }

  text += "\n-- Devices --\n";
  if (r.devices.empty()) text += "no change\n";
  for (const auto& d : r.devices) {
    text += std::string(DeviceKindText(d.kind)) + "  " + ToUtf8(d.device);
    if (!d.hardwareId.empty()) text += " (" + ToUtf8(d.hardwareId) + ")";
    if (d.kind == ChangeReport::DeviceChange::Kind::kDriverUpdated) text += " from " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kInstalled) text += " from the staged " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kStaged) text += " as " + ToUtf8(d.detail);
    if (d.kind == ChangeReport::DeviceChange::Kind::kRestarted) text += " (disabled and enabled again)";
    if (d.byCompanion) text += ", by the 64-bit companion";
    text += "\n";
  }

  if (!r.driverChoices.empty()) {
    text += "\n-- Driver selection (by the simulated Windows; signatures are not checked) --\n";
    for (const auto& c : r.driverChoices) {
      text += std::string(c.warning ? "WARNING " : "") + ToUtf8(c.device) + "  " + ToUtf8(c.inf) + ": " +
              ToUtf8(c.text) + "\n";
    }
  }

  text += "\n-- Programs --\n";
  if (r.started.empty() && r.ended.empty()) text += "none started or ended\n";
  for (const auto& p : r.started) {
    text += "started  " + ToUtf8(p.commandLine) + "\n";
    // Where the search or WOW64 redirection found another file than the command line names.
    if (!p.image.empty() && p.commandLine.find(p.image) == std::wstring::npos) {
      text += "         ran " + ToUtf8(p.image) + "\n";
    }
    text += "         in " + ToUtf8(p.currentDirectory) + (p.waitedFor ? ", waited for" : ", not waited for") + "\n";
  }
  for (const auto& p : r.ended)
    text += "ended    " + ToUtf8(p.image) + " (process " + std::to_string(p.processId) + ")\n";

  text += "\n-- Pauses --\n";
  if (r.pauses.empty()) {
    text += "none\n";
  } else {
    std::string list;
    for (auto ms : r.pauses) list += (list.empty() ? "" : ", ") + Ms(ms);
    const auto total = std::accumulate(r.pauses.begin(), r.pauses.end(), std::uint64_t{0});
    text += list + " (" + std::to_string(total) + " ms in all)\n";
  }
  out(text);
}

void WriteReportJson(const ChangeReport& r, const json* run, const ReportSink& out) {
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
  const bool noExitCode = r.exitCode == kToolNeverExits || r.exitCode == kToolProcessEnded;
  json rest{{"exitCode", noExitCode ? json(nullptr) : json(r.exitCode)},
            {"wow64", r.wow64},
            {"files", files},
            {"devices", devices},
            {"programs", {{"started", started}, {"ended", ended}}},
            {"pauses", r.pauses}};
  if (run != nullptr) rest["run"] = *run;
  if (!r.driverChoices.empty()) {
    json choices = json::array();
    for (const auto& c : r.driverChoices) {
      choices.push_back(
          {{"device", ToUtf8(c.device)}, {"inf", ToUtf8(c.inf)}, {"text", ToUtf8(c.text)}, {"warning", c.warning}});
    }
    rest["driverSelection"] = std::move(choices);
  }

  // The members in json's own order, by name, as dump(2) writes an object;
  // the registry's changes are written as they are found.
  std::vector<std::string> names{"registry"};
  for (const auto& [name, _] : rest.items()) names.push_back(name);
  std::sort(names.begin(), names.end());
  out("{\n");
  for (std::size_t i = 0; i < names.size(); ++i) {
    out("  \"" + names[i] + "\": ");
    if (names[i] == "registry") {
      bool any = false;
      ForEachRegistryChange(r, ChangeOrder::kByKey, [&](const ChangeReport::RegistryChange& c) {
        out((any ? ",\n    " : "[\n    ") + Dumped(RegistryChangeJson(c), 2));
        any = true;
      });
      out(any ? "\n  ]" : "[]");
    } else {
      out(Dumped(rest[names[i]], 1));
    }
    out(i + 1 < names.size() ? ",\n" : "\n");
  }
  out("}\n");
}

std::string ReportText(const ChangeReport& report) {
  std::string text;
  WriteReportText(report, [&](std::string_view part) { text += part; });
  return text;
}

json ReportJson(const ChangeReport& report) {
  std::string text;
  WriteReportJson(report, nullptr, [&](std::string_view part) { text += part; });
  return json::parse(text);
}

}  // namespace tv::sim
