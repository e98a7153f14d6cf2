#include "platform/sim/sim_registry.h"

#include "platform/reg_root.h"

#include <algorithm>
#include <sstream>

namespace tv::sim {

namespace {

std::vector<std::wstring_view> SplitPath(std::wstring_view path) {
  std::vector<std::wstring_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == L'\\') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

std::wstring Join(std::wstring_view a, std::wstring_view b) {
  if (a.empty()) return std::wstring(b);
  if (b.empty()) return std::wstring(a);
  std::wstring out(a);
  if (out.back() != L'\\') out += L'\\';
  out += b;
  return out;
}

}  // namespace

// The slot that holds the name, or the empty slot where it would go.
std::size_t SimKeyNode::SlotOf(std::wstring_view valueName, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  const auto tag = static_cast<std::uint32_t>(hash);
  for (std::size_t i = tag & mask;; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.place == 0) return i;
    if (slot.hash == tag && EqualsNoCaseUnicode(values[slot.place - 1].first, valueName)) return i;
  }
}

// Lays every value into a table of `slotCount` slots, a power of two.
void SimKeyNode::Index(std::size_t slotCount) {
  slots_.assign(slotCount, Slot{});
  for (std::uint32_t place = 0; place < values.size(); ++place) {
    const std::uint64_t hash = HashNoCaseUnicode(values[place].first);
    slots_[SlotOf(values[place].first, hash)] = Slot{static_cast<std::uint32_t>(hash), place + 1};
  }
}

RegValue* SimKeyNode::FindValue(std::wstring_view valueName) {
  if (slots_.empty()) return nullptr;
  const Slot& slot = slots_[SlotOf(valueName, HashNoCaseUnicode(valueName))];
  return slot.place == 0 ? nullptr : &values[slot.place - 1].second;
}

void SimKeyNode::PutValue(std::wstring_view valueName, RegValue value) {
  // Grown before the search, so that one hash serves the search and the insert.
  if ((values.size() + 1) * 2 > slots_.size()) Index(std::max<std::size_t>(8, slots_.size() * 2));
  const std::uint64_t hash = HashNoCaseUnicode(valueName);
  Slot& slot = slots_[SlotOf(valueName, hash)];
  if (slot.place != 0) {
    values[slot.place - 1].second = std::move(value);
    return;
  }
  values.emplace_back(std::wstring(valueName), std::move(value));
  slot = Slot{static_cast<std::uint32_t>(hash), static_cast<std::uint32_t>(values.size())};
}

bool SimKeyNode::EraseValue(std::wstring_view valueName) {
  if (slots_.empty()) return false;
  std::size_t hole = SlotOf(valueName, HashNoCaseUnicode(valueName));
  const std::uint32_t place = slots_[hole].place;
  if (place == 0) return false;
  // Later slots of the same run move back into the hole unless their home
  // lies cyclically after it, so that every name stays reachable from its home.
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t next = (hole + 1) & mask; slots_[next].place != 0; next = (next + 1) & mask) {
    const std::size_t home = slots_[next].hash & mask;
    const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
    if (stays) continue;
    slots_[hole] = slots_[next];
    hole = next;
  }
  slots_[hole] = Slot{};
  // The values after it move up a place, as RegEnumValueW then gives them.
  values.erase(values.begin() + (place - 1));
  for (Slot& slot : slots_) {
    if (slot.place > place) --slot.place;
  }
  return true;
}

void SimKeyNode::ClearValues() {
  values.clear();
  slots_.clear();
}

// An open key: it refers to its node and to the access it was opened with.
class SimRegKey final : public IRegKey {
 public:
  SimRegKey(SimRegistry& registry, SimKeyNode& node, std::wstring path, std::uint32_t access)
      : registry_(registry), node_(node), path_(std::move(path)), access_(access) {
    ++registry_.openKeys_;
  }
  ~SimRegKey() override { --registry_.openKeys_; }
  SimRegKey(const SimRegKey&) = delete;
  SimRegKey& operator=(const SimRegKey&) = delete;

  Result<RegValue> QueryValue(std::wstring_view name, std::uint32_t maxBytes) override {
    if (auto e = registry_.faults_.Take("RegQueryValueEx", Join(path_, name))) return Result<RegValue>::Fail(*e);
    if ((access_ & reg::kQueryValue) == 0) return Result<RegValue>::Fail(err::kAccessDenied);
    const RegValue* v = node_.FindValue(name);
    if (v == nullptr) return Result<RegValue>::Fail(err::kFileNotFound);
    if (v->data.size() > maxBytes) return Result<RegValue>::Fail(err::kMoreData);
    return Result<RegValue>::Ok(*v);
  }

  WinError SetValue(std::wstring_view name, std::uint32_t type, std::span<const std::uint8_t> data) override {
    if (auto e = registry_.faults_.Take("RegSetValueEx", Join(path_, name))) return *e;
    if ((access_ & reg::kSetValue) == 0) return err::kAccessDenied;
    node_.PutValue(name, RegValue{type, std::vector<std::uint8_t>(data.begin(), data.end())});
    return err::kSuccess;
  }

  Result<std::wstring> EnumSubKey(std::uint32_t index) override {
    if (auto e = registry_.faults_.Take("RegEnumKeyEx", path_)) return Result<std::wstring>::Fail(*e);
    if ((access_ & reg::kEnumerateSubKeys) == 0) return Result<std::wstring>::Fail(err::kAccessDenied);
    if (index >= node_.subkeys.size()) return Result<std::wstring>::Fail(err::kNoMoreItems);
    auto it = node_.subkeys.begin();
    std::advance(it, index);
    return Result<std::wstring>::Ok(it->second->name);
  }

  Result<std::pair<std::wstring, RegValue>> EnumValue(std::uint32_t index) override {
    using R = Result<std::pair<std::wstring, RegValue>>;
    if (auto e = registry_.faults_.Take("RegEnumValue", path_)) return R::Fail(*e);
    if ((access_ & reg::kQueryValue) == 0) return R::Fail(err::kAccessDenied);
    if (index >= node_.values.size()) return R::Fail(err::kNoMoreItems);
    return R::Ok(node_.values[index]);
  }

  Result<RegKeyPtr> OpenSubKey(std::wstring_view path, std::uint32_t access) override {
    const std::wstring full = Join(path_, path);
    if (auto e = registry_.faults_.Take("RegOpenKeyEx", full)) return Result<RegKeyPtr>::Fail(*e);
    if (!path.empty() && path.front() == L'\\') return Result<RegKeyPtr>::Fail(err::kBadPathname);
    SimKeyNode* node = registry_.Walk(&node_, path, false);
    if (node == nullptr) return Result<RegKeyPtr>::Fail(err::kFileNotFound);
    return Result<RegKeyPtr>::Ok(std::make_unique<SimRegKey>(registry_, *node, full, access));
  }

  WinError DeleteValue(std::wstring_view name) override {
    if (auto e = registry_.faults_.Take("RegDeleteValue", Join(path_, name))) return *e;
    if ((access_ & reg::kSetValue) == 0) return err::kAccessDenied;
    return node_.EraseValue(name) ? err::kSuccess : err::kFileNotFound;
  }

  WinError DeleteSubKey(std::wstring_view name) override {
    if (auto e = registry_.faults_.Take("RegDeleteKey", Join(path_, name))) return *e;
    auto it = node_.subkeys.find(name);
    if (name.empty() || name.find(L'\\') != std::wstring_view::npos || it == node_.subkeys.end()) {
      return err::kFileNotFound;
    }
    if (!it->second->subkeys.empty()) return err::kAccessDenied;
    node_.subkeys.erase(it);
    return err::kSuccess;
  }

 private:
  SimRegistry& registry_;
  SimKeyNode& node_;
  std::wstring path_;
  std::uint32_t access_;
};

SimRegistry::SimRegistry(FaultPlan& faults, const bool& wow64, const bool& process64)
    : faults_(faults), wow64_(wow64), process64_(process64) {
  for (RegRoot r : {RegRoot::kLocalMachine, RegRoot::kCurrentUser, RegRoot::kClassesRoot, RegRoot::kUsers,
                    RegRoot::kCurrentConfig}) {
    roots_[r].name = RegRootName(r);
  }
}

std::wstring SimRegistry::ViewPath(RegRoot root, std::wstring_view path, std::uint32_t access) const {
  // The tool is a 32-bit program: on 64-bit Windows it reaches the 32-bit
  // view of HKLM\SOFTWARE unless the access mask asks for the 64-bit one.
  // A 64-bit process reaches the native view unless it asks for the 32-bit one.
  const bool asks64 = (access & reg::kWow64_64Key) != 0;
  const bool asks32 = (access & reg::kWow64_32Key) != 0;
  const bool view32 = wow64_ && (asks32 || (!asks64 && !process64_));
  if (!view32 || root != RegRoot::kLocalMachine) return std::wstring(path);
  auto parts = SplitPath(path);
  if (parts.empty() || !EqualsNoCase(parts[0], L"SOFTWARE")) return std::wstring(path);
  if (parts.size() > 1 && EqualsNoCase(parts[1], L"Wow6432Node")) return std::wstring(path);
  std::wstring out(parts[0]);
  out += L"\\Wow6432Node";
  for (std::size_t i = 1; i < parts.size(); ++i) {
    out += L'\\';
    out += parts[i];
  }
  return out;
}

SimKeyNode* SimRegistry::Walk(SimKeyNode* from, std::wstring_view path, bool create) {
  SimKeyNode* node = from;
  for (auto part : SplitPath(path)) {
    auto it = node->subkeys.find(part);
    if (it == node->subkeys.end()) {
      if (!create) return nullptr;
      auto child = std::make_unique<SimKeyNode>();
      child->name = std::wstring(part);
      it = node->subkeys.emplace(std::wstring(part), std::move(child)).first;
    }
    node = it->second.get();
  }
  return node;
}

const SimKeyNode* SimRegistry::Walk(RegRoot root, std::wstring_view path) const {
  auto& self = const_cast<SimRegistry&>(*this);
  const auto [realRoot, real] = Real(root, path);
  return self.Walk(&self.Root(realRoot), real, false);
}

Result<RegKeyPtr> SimRegistry::OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) {
  return Reach(root, path, access, false);
}

Result<RegKeyPtr> SimRegistry::CreateKey(RegRoot root, std::wstring_view path, std::uint32_t access) {
  return Reach(root, path, access, true);
}

Result<RegKeyPtr> SimRegistry::Reach(RegRoot root, std::wstring_view path, std::uint32_t access, bool create) {
  const std::wstring full = Join(RegRootName(root), path);
  if (auto e = faults_.Take(create ? "RegCreateKeyEx" : "RegOpenKeyEx", full)) return Result<RegKeyPtr>::Fail(*e);
  // Windows refuses a path that begins with a backslash and accepts one that ends with it.
  if (!path.empty() && path.front() == L'\\') return Result<RegKeyPtr>::Fail(err::kBadPathname);
  const std::wstring view = ViewPath(root, path, access);
  const auto [realRoot, native] = Real(root, view);
  SimKeyNode* node = Walk(&Root(realRoot), native, create);
  if (node == nullptr) return Result<RegKeyPtr>::Fail(err::kFileNotFound);
  return Result<RegKeyPtr>::Ok(std::make_unique<SimRegKey>(*this, *node, Join(RegRootName(root), view), access));
}

std::pair<RegRoot, std::wstring> SimRegistry::Real(RegRoot root, std::wstring_view path) {
  if (root != RegRoot::kClassesRoot) return {root, std::wstring(path)};
  return {RegRoot::kLocalMachine, Join(L"Software\\Classes", path)};
}

void SimRegistry::SetValue(RegRoot root, std::wstring_view path, std::wstring_view name, RegValue value) {
  const auto [realRoot, real] = Real(root, path);
  Walk(&Root(realRoot), real, true)->PutValue(name, std::move(value));
}

void SimRegistry::SetDword(RegRoot root, std::wstring_view path, std::wstring_view name, std::uint32_t value) {
  RegValue v{reg::kTypeDword, {}};
  for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  SetValue(root, path, name, std::move(v));
}

void SimRegistry::SetString(RegRoot root, std::wstring_view path, std::wstring_view name, std::wstring_view value) {
  RegValue v{reg::kTypeSz, {}};
  for (wchar_t c : value) {
    v.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    v.data.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
  }
  v.data.push_back(0);
  v.data.push_back(0);
  SetValue(root, path, name, std::move(v));
}

void SimRegistry::CreateKey(RegRoot root, std::wstring_view path) {
  const auto [realRoot, real] = Real(root, path);
  Walk(&Root(realRoot), real, true);
}

std::optional<RegValue> SimRegistry::GetValue(RegRoot root, std::wstring_view path, std::wstring_view name) const {
  const SimKeyNode* node = Walk(root, path);
  if (node == nullptr) return std::nullopt;
  if (RegValue* v = const_cast<SimKeyNode*>(node)->FindValue(name)) return *v;
  return std::nullopt;
}

bool SimRegistry::DeleteKeyTree(RegRoot root, std::wstring_view path) {
  if (root == RegRoot::kClassesRoot) {
    // Emptying the classes root empties HKLM\Software\Classes, which stays.
    SimKeyNode* classes = Walk(&Root(RegRoot::kLocalMachine), L"Software\\Classes", false);
    if (SplitPath(path).empty()) {
      if (classes == nullptr) return false;
      const bool any = !classes->subkeys.empty() || !classes->values.empty();
      classes->subkeys.clear();
      classes->ClearValues();
      return any;
    }
    return DeleteKeyTree(RegRoot::kLocalMachine, Join(L"Software\\Classes", path));
  }
  auto parts = SplitPath(path);
  if (parts.empty()) {
    // The root key itself stays, but nothing in it does.
    SimKeyNode& top = Root(root);
    const bool any = !top.subkeys.empty() || !top.values.empty();
    top.subkeys.clear();
    top.ClearValues();
    return any;
  }
  std::wstring parent;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent = Join(parent, parts[i]);
  SimKeyNode* node = Walk(&Root(root), parent, false);
  return node != nullptr && node->subkeys.erase(std::wstring(parts.back())) > 0;
}

bool SimRegistry::DeleteValue(RegRoot root, std::wstring_view path, std::wstring_view name) {
  const auto [realRoot, real] = Real(root, path);
  SimKeyNode* node = Walk(&Root(realRoot), real, false);
  if (node == nullptr) return false;
  return node->EraseValue(name);
}

bool SimRegistry::KeyExists(RegRoot root, std::wstring_view path) const { return Walk(root, path) != nullptr; }

bool SimRegistry::KeyIsEmptyOfSubkeys(RegRoot root, std::wstring_view path) const {
  const SimKeyNode* node = Walk(root, path);
  return node != nullptr && node->subkeys.empty();
}

namespace {
void Dump(std::ostringstream& out, const SimKeyNode& node, const std::wstring& path) {
  if (!node.values.empty() || node.subkeys.empty()) {
    out << '[' << ToUtf8(path) << "]\n";
    for (const auto& [name, value] : node.values) {
      out << (name.empty() ? std::string("@") : '"' + ToUtf8(name) + '"') << "=type" << value.type << ':';
      for (auto b : value.data) {
        static const char* hex = "0123456789abcdef";
        out << hex[b >> 4] << hex[b & 15];
      }
      out << '\n';
    }
  }
  for (const auto& [_, child] : node.subkeys) Dump(out, *child, path + L'\\' + child->name);
}
}  // namespace

namespace {
void Visit(RegRoot root, const SimKeyNode& node, const std::wstring& path,
           const std::function<void(RegRoot, const std::wstring&,
                                    const std::vector<std::pair<std::wstring, RegValue>>&)>& visit) {
  if (!path.empty()) visit(root, path, node.values);
  for (const auto& [_, child] : node.subkeys)
    Visit(root, *child, path.empty() ? child->name : path + L'\\' + child->name, visit);
}
}  // namespace

void SimRegistry::ForEachKey(
    const std::function<void(RegRoot, const std::wstring&, const std::vector<std::pair<std::wstring, RegValue>>&)>&
        visit) const {
  for (const auto& [root, node] : roots_) Visit(root, node, L"", visit);
}

std::string SimRegistry::ToString() const {
  std::ostringstream out;
  for (const auto& [root, node] : roots_) {
    if (!node.subkeys.empty()) Dump(out, node, node.name);
  }
  return out.str();
}

}  // namespace tv::sim
