#include "runtime/run_events.h"

#include <vector>

namespace tv {

namespace {

// U+001E, the record separator: no message of the tool holds it, and a
// script's text cannot put it at the start of a string the tool sends.
constexpr std::wstring_view kMark = L"\x1Etarnvale-run\x1E";

std::wstring Event(std::wstring_view name, std::initializer_list<std::wstring_view> fields) {
  std::wstring out(kMark);
  out += name;
  for (auto f : fields) {
    out += L'\t';
    // A field holds no tab or line end of its own: they would split it.
    for (wchar_t c : f) out += (c == L'\t' || c == L'\n' || c == L'\r') ? L' ' : c;
  }
  return out;
}

std::optional<std::size_t> Number(std::wstring_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::size_t n = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    n = n * 10 + static_cast<std::size_t>(c - L'0');
  }
  return n;
}

std::vector<std::wstring_view> Fields(std::wstring_view text) {
  std::vector<std::wstring_view> out;
  std::size_t start = 0;
  while (true) {
    const std::size_t tab = text.find(L'\t', start);
    out.push_back(text.substr(start, tab == std::wstring_view::npos ? std::wstring_view::npos : tab - start));
    if (tab == std::wstring_view::npos) return out;
    start = tab + 1;
  }
}

}  // namespace

std::wstring CommandStartsEvent(std::size_t n, std::wstring_view command, std::wstring_view section) {
  return Event(L"command-starts", {std::to_wstring(n), command, section});
}

std::wstring CommandEndsEvent(std::size_t n, CommandOutcome outcome, bool stopsTheRun) {
  return Event(L"command-ends",
               {std::to_wstring(n), std::to_wstring(static_cast<int>(outcome)), stopsTheRun ? L"1" : L"0"});
}

std::wstring RunEndsEvent(RunEnd end, std::size_t n) {
  return Event(L"run-ends", {std::to_wstring(static_cast<int>(end)), std::to_wstring(n)});
}

std::wstring NoteEvent(std::wstring_view text) { return Event(L"note", {text}); }

bool IsRunEvent(std::wstring_view text) { return text.starts_with(kMark); }

bool DeliverRunEvent(std::wstring_view text, IRunObserver& observer) {
  if (!IsRunEvent(text)) return false;
  const auto f = Fields(text.substr(kMark.size()));
  const std::wstring_view name = f[0];
  if (name == L"command-starts" && f.size() == 4) {
    const auto n = Number(f[1]);
    if (!n) return false;
    observer.CommandStarts(*n, f[2], f[3]);
    return true;
  }
  if (name == L"command-ends" && f.size() == 4) {
    const auto n = Number(f[1]);
    const auto outcome = Number(f[2]);
    if (!n || !outcome || *outcome > static_cast<std::size_t>(CommandOutcome::kRedirectionRefused)) return false;
    observer.CommandEnds(*n, static_cast<CommandOutcome>(*outcome), f[3] == L"1");
    return true;
  }
  if (name == L"run-ends" && f.size() == 3) {
    const auto end = Number(f[1]);
    const auto n = Number(f[2]);
    if (!end || !n || *end > static_cast<std::size_t>(RunEnd::kPathTooLong)) return false;
    observer.RunEnds(static_cast<RunEnd>(*end), *n);
    return true;
  }
  if (name == L"note" && f.size() == 2) {
    observer.Note(f[1]);
    return true;
  }
  return false;
}

}  // namespace tv
