#include "devices/hardware_id.h"

#include <algorithm>

namespace tv {

bool NamesDevices(std::wstring_view id) {
  while (!id.empty() && (id.front() == L' ' || id.front() == L'\t')) id.remove_prefix(1);
  while (!id.empty() && (id.back() == L' ' || id.back() == L'\t' || id.back() == L'\\')) id.remove_suffix(1);
  if (std::all_of(id.begin(), id.end(), [](wchar_t c) { return c == L'*'; })) return false;
  // Without a backslash an ID is an enumerator's name, unless it is the
  // "*<ID>" form of a compatible ID.
  return id.find(L'\\') != std::wstring_view::npos || id.front() == L'*';
}

}  // namespace tv
