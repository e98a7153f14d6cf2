#include "devices/companion_protocol.h"

#include "platform/shell_path.h"

namespace tv {

std::wstring CompanionPath(std::wstring_view toolModulePath) {
  const std::wstring base = shell::RemoveExtension(shell::StripPath(toolModulePath));
  return shell::RemoveFileSpec(toolModulePath) + L"\\" + base + L"64.exe";
}

std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quotation mark are doubled, and the mark escaped.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  // Before the closing mark they are doubled too; elsewhere they stand as they are.
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::vector<std::wstring> SplitArguments(std::wstring_view arguments) {
  std::vector<std::wstring> out;
  std::wstring current;
  bool inArgument = false;
  bool quoted = false;
  std::size_t i = 0;
  while (i < arguments.size()) {
    const wchar_t c = arguments[i];
    if ((c == L' ' || c == L'\t') && !quoted) {
      if (inArgument) out.push_back(std::move(current));
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == L'\\') {
      std::size_t n = 0;
      while (i < arguments.size() && arguments[i] == L'\\') ++n, ++i;
      if (i < arguments.size() && arguments[i] == L'"') {
        current.append(n / 2, L'\\');
        if (n % 2 == 1) {
          current += L'"';
          ++i;
        }
      } else {
        current.append(n, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      // Inside quotation marks, "" is one mark (the rule since Windows 7's shell).
      if (quoted && i + 1 < arguments.size() && arguments[i + 1] == L'"') {
        current += L'"';
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) out.push_back(std::move(current));
  return out;
}

std::wstring CompanionCommandLine(std::wstring_view path, std::wstring_view operation,
                                  const std::vector<std::wstring>& arguments) {
  // The program's own path is read without backslash escapes: it is always quoted whole.
  std::wstring line = L"\"" + std::wstring(path) + L"\" " + std::wstring(operation);
  for (const auto& a : arguments) line += L" " + QuoteArgument(a);
  return line;
}

}  // namespace tv
