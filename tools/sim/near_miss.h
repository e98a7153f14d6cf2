// What a misspelt name was probably meant to be: the one known name that is
// one edit away (a letter added, dropped, changed or two swapped), ASCII
// case ignored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace tv::sim {

template <class Char>
bool OneEditApart(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  const auto fold = [](Char c) { return c >= 'a' && c <= 'z' ? static_cast<Char>(c - 'a' + 'A') : c; };
  if (a.size() > b.size()) std::swap(a, b);
  if (b.size() - a.size() > 1) return false;
  std::size_t i = 0;
  while (i < a.size() && fold(a[i]) == fold(b[i])) ++i;
  if (i == a.size()) return a.size() != b.size();  // one added at the end; equal names are no miss
  const auto sameFrom = [&](std::size_t ia, std::size_t ib) {
    for (; ia < a.size(); ++ia, ++ib) {
      if (fold(a[ia]) != fold(b[ib])) return false;
    }
    return true;
  };
  if (a.size() == b.size()) {
    if (sameFrom(i + 1, i + 1)) return true;  // one changed
    return i + 1 < a.size() && fold(a[i]) == fold(b[i + 1]) && fold(a[i + 1]) == fold(b[i]) &&
           sameFrom(i + 2, i + 2);  // two swapped
  }
  return sameFrom(i, i + 1);  // one added
}

// The single known name one edit away from `name`; none when there is none,
// or more than one.
template <class Char, class Names>
std::optional<std::basic_string_view<Char>> NearMiss(std::basic_string_view<Char> name, const Names& known) {
  std::optional<std::basic_string_view<Char>> found;
  for (const auto& k : known) {
    const std::basic_string_view<Char> candidate(k);
    if (!OneEditApart(name, candidate)) continue;
    if (found) return std::nullopt;
    found = candidate;
  }
  return found;
}

}  // namespace tv::sim
