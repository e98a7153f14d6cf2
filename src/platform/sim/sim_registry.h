// The simulated registry: a tree of keys with case-insensitive names under
// the predefined roots. On 64-bit Windows a 32-bit process sees
// HKLM\SOFTWARE through its 32-bit view, SOFTWARE\Wow6432Node, unless it
// asks for the 64-bit view; a test reads the native tree and so sees which
// view a command wrote.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/faults.h"
#include "platform/text.h"

namespace tv::sim {

struct SimKeyNode {
  std::wstring name;
  std::map<std::wstring, std::unique_ptr<SimKeyNode>, LessNoCaseUnicode> subkeys;
  // In the order they were made, as RegEnumValueW gives them. Changed only
  // through the functions below, which keep the index by name.
  std::vector<std::pair<std::wstring, RegValue>> values;

  RegValue* FindValue(std::wstring_view valueName);
  void PutValue(std::wstring_view valueName, RegValue value);
  bool EraseValue(std::wstring_view valueName);
  void ClearValues();

 private:
  // A key of many values is searched by a hash of the name without case,
  // not walked. Open addressing with linear probing, at most half full:
  // each slot holds the lower half of a name's hash (its home slot is taken
  // from it) and its value's place + 1 (0: empty), 8 bytes, where a
  // hash-map node per value took about 40.
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t place = 0;
  };
  std::vector<Slot> slots_;

  std::size_t SlotOf(std::wstring_view valueName, std::uint64_t hash) const;
  void Index(std::size_t slotCount);
};

class SimRegistry final : public IRegistry {
 public:
  SimRegistry(FaultPlan& faults, const bool& wow64, const bool& process64);

  Result<RegKeyPtr> OpenKey(RegRoot root, std::wstring_view path, std::uint32_t access) override;
  Result<RegKeyPtr> CreateKey(RegRoot root, std::wstring_view path, std::uint32_t access) override;

  // ---- seeding and inspection, for tests and machine descriptions ----
  // Paths are native: the 32-bit view of HKLM\SOFTWARE is SOFTWARE\Wow6432Node.
  void SetValue(RegRoot root, std::wstring_view path, std::wstring_view name, RegValue value);
  void SetDword(RegRoot root, std::wstring_view path, std::wstring_view name, std::uint32_t value);
  void SetString(RegRoot root, std::wstring_view path, std::wstring_view name, std::wstring_view value);
  void CreateKey(RegRoot root, std::wstring_view path);
  std::optional<RegValue> GetValue(RegRoot root, std::wstring_view path, std::wstring_view name) const;
  bool KeyExists(RegRoot root, std::wstring_view path) const;
  // The key is there and has no subkeys.
  bool KeyIsEmptyOfSubkeys(RegRoot root, std::wstring_view path) const;
  // Deletes a key with all below it (with an empty path: everything in the
  // root), or one value; false when there was nothing to delete.
  bool DeleteKeyTree(RegRoot root, std::wstring_view path);
  bool DeleteValue(RegRoot root, std::wstring_view path, std::wstring_view name);
  // The native path that a 32-bit process reaches with this access mask.
  std::wstring ViewPath(RegRoot root, std::wstring_view path, std::uint32_t access) const;
  // Keys opened and not yet closed.
  int OpenKeyCount() const { return openKeys_; }
  std::string ToString() const;
  // Every key under the roots, parents before children, with its path and values.
  void ForEachKey(const std::function<void(RegRoot, const std::wstring& path,
                                           const std::vector<std::pair<std::wstring, RegValue>>&)>& visit) const;

 private:
  friend class SimRegKey;
  // RegOpenKeyExW, or RegCreateKeyExW with `create`.
  Result<RegKeyPtr> Reach(RegRoot root, std::wstring_view path, std::uint32_t access, bool create);
  SimKeyNode* Walk(SimKeyNode* from, std::wstring_view path, bool create);
  // HKEY_CLASSES_ROOT is a view of HKLM\Software\Classes: the root and path
  // where a key of it is kept. (Windows merges the user's own classes into
  // the view; a simulated machine has none.)
  static std::pair<RegRoot, std::wstring> Real(RegRoot root, std::wstring_view path);
  const SimKeyNode* Walk(RegRoot root, std::wstring_view path) const;
  SimKeyNode& Root(RegRoot root) { return roots_[root]; }

  FaultPlan& faults_;
  const bool& wow64_;
  const bool& process64_;
  std::map<RegRoot, SimKeyNode> roots_;
  int openKeys_ = 0;
};

}  // namespace tv::sim
