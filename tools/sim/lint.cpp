#include "sim/lint.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <optional>
#include <set>

#include "actions/driver_install.h"
#include "actions/registry_inf.h"
#include "devices/hardware_id.h"
#include "platform/profile_text.h"
#include "platform/shell_path.h"
#include "platform/sim/ansi.h"
#include "platform/sim/driver_select.h"
#include "platform/sim/full_path.h"
#include "platform/sim/host_path.h"
#include "platform/sim/inf_file.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "runtime/section_variant.h"
#include "runtime/setup_script.h"
#include "sim/lint_rules.h"
#include "sim/machine_file.h"
#include "sim/near_miss.h"

namespace tv::lint {

namespace {

std::string ToLowerAsciiNarrow(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// ---- what each command reads ----

enum class Variant {
  kNoSection,   // reads no command section
  kPlain,       // reads its command section only
  kRegion,      // [S_<region code>] when the script has it, else [S]
  kUiLanguage,  // [S_<UI language, four hexadecimal digits>], else [S]
  kOsClass,     // [S_2000], [S_XP], [S_VISTA] by Windows version, [S] on any other
  kDeviceId,    // [S], and per listed device [S_<hardware ID>]
};

// What the tool does with a hardware ID that names no device (empty, a bus
// or a wildcard alone): it refuses it, and the rule says what follows.
enum class IdRule {
  kNone,
  kNotFound,      // the device is not found: a check fails, an update or a restart is not made
  kNoRescanStop,  // it does not stop the rescan step
  kSkipped,       // the removal of that entry is skipped
};

// What the tool does with a value it leaves out of the generated INF.
enum class InfRule {
  kNone,
  kKeyPathOfDelete,    // a delete entry without a key path would empty the whole root
  kValueNameOfDelete,  // under a driver key, without a value name it would delete the whole key
  kValue,              // a value written as INF syntax
  kFlags,              // AddReg flags: a number
  kRoot,               // a root: one the INF syntax knows
};

enum class FileRule { kNone, kBesideTool, kInPackage };

struct NumberedKey {
  std::wstring_view prefix;  // the key is prefix, number, suffix: "ADDREG" 1 "_ROOT"
  std::wstring_view suffix;
  std::size_t room;
  bool required;  // missing or empty within the count is worth a warning
  std::wstring_view whenMissing;
  IdRule id = IdRule::kNone;
  FileRule file = FileRule::kNone;
  InfRule inf = InfRule::kNone;
};

struct CountGroup {
  std::wstring_view countKey;
  std::vector<NumberedKey> keys;
};

struct PlainKey {
  std::wstring_view name;
  bool integer;
  std::size_t room;  // strings only
  bool pause = false;
};

struct KeySet {
  std::vector<PlainKey> plain;
  std::vector<CountGroup> groups;
};

struct KeywordRules {
  std::wstring_view keyword;
  Variant variant;
  const KeySet* keys;
  const KeySet* deviceSection = nullptr;  // DRIVER_REG: the keys of [S_<hardware ID>]
};

constexpr std::wstring_view kReadAsEmpty = L"read as empty";

const KeySet kHwidKeys{{}, {{L"HWID", {{L"HWID", L"", 521, true, kReadAsEmpty, IdRule::kNotFound}}}}};
const KeySet kProcessKeys{{}, {{L"TPROCESS", {{L"PROCESS", L"", 521, true, L"read as empty; nothing is ended"}}}}};
const KeySet kLaunchKeys{
    {{L"CMD_SLEEP", true, 0, true},
     {L"CMD_ASYNCFLAG", true, 0},
     {L"CMD_LONGFLAG", true, 0},
     {L"CMD_PLUSARGKEY", false, kRoomPath},
     {L"CMD_PLUSARG", false, kRoomPath}},
    {{L"CMD",
      {{L"CMD", L"", kRoomPath, true, L"read as empty: the launch path is the tool's folder, which cannot be started",
        IdRule::kNone, FileRule::kBesideTool}}}}};
const KeySet kDriverKeys{
    {{L"DESTDIR", false, kRoomPath}, {L"REFRESH", true, 0}},
    {{L"DEV",
      {{L"DEV", L"", kRoomLong, true, kReadAsEmpty, IdRule::kNotFound},
       {L"DEVINF", L"", 260, true, L"read as empty: the device's driver cannot be updated", IdRule::kNone,
        FileRule::kInPackage}}},
     {L"INFCOPY",
      {{L"INF", L"", kRoomLong, true, L"read as empty: nothing is staged", IdRule::kNone, FileRule::kInPackage}}},
     {L"DETECTCOUNT", {{L"DETECTDEV", L"", kRoomLong, true, kReadAsEmpty, IdRule::kNoRescanStop}}}}};
const KeySet kRegistryKeys{
    {},
    {{L"ADDREG",
      {{L"ADDREG", L"_ROOT", kRoomPath, true, L"read as empty: the INF line has no root", IdRule::kNone,
        FileRule::kNone, InfRule::kRoot},
       {L"ADDREG", L"_SUBKEY", kRoomPath, true, L"read as empty: the value goes into the root key"},
       {L"ADDREG", L"_ENTRYNAME", kRoomPath, false, {}},
       {L"ADDREG", L"_FLAGS", kRoomPath, false, {}, IdRule::kNone, FileRule::kNone, InfRule::kFlags},
       {L"ADDREG", L"_VALUE", kRoomPath, false, {}, IdRule::kNone, FileRule::kNone, InfRule::kValue}}},
     {L"DELREG",
      {{L"DELREG", L"_ROOT", kRoomPath, true, L"read as empty: the INF line has no root", IdRule::kNone,
        FileRule::kNone, InfRule::kRoot},
       {L"DELREG", L"_SUBKEY", kRoomPath, true, {}, IdRule::kNone, FileRule::kNone, InfRule::kKeyPathOfDelete},
       {L"DELREG", L"_ENTRYNAME", kRoomPath, false, {}}}}}};
const KeySet kDriverRegKeys{
    {{L"PRESLEEP", true, 0, true}, {L"AFTERSLEEP", true, 0, true}},
    {{L"DEV", {{L"DEV", L"", kRoomLong, true, L"read as the hardware ID DEFAULT_ID", IdRule::kNotFound}}}}};
const KeySet kDriverKeyEntries{
    {},
    {{L"ADDREG",
      {{L"ADDREG", L"_SUBKEY", kRoomPath, false, {}},
       {L"ADDREG", L"_ENTRYNAME", kRoomPath, false, {}},
       {L"ADDREG", L"_FLAGS", kRoomPath, false, {}, IdRule::kNone, FileRule::kNone, InfRule::kFlags},
       {L"ADDREG", L"_VALUE", kRoomPath, false, {}, IdRule::kNone, FileRule::kNone, InfRule::kValue}}},
     {L"DELREG",
      {{L"DELREG", L"_ENTRYNAME", kRoomPath, true, {}, IdRule::kNone, FileRule::kNone, InfRule::kValueNameOfDelete}}}}};
const KeySet kRemoveKeys{{{L"EXISTONLY", true, 0}},
                         {{L"DEV", {{L"DEV", L"", kRoomLong, true, kReadAsEmpty, IdRule::kSkipped}}}}};
const KeySet kScanKeys{
    {}, {{L"DETECTCOUNT", {{L"DETECTDEV", L"", kRoomLong, false, kReadAsEmpty, IdRule::kNoRescanStop}}}}};
const KeySet kFileKeys{{}, {{L"FILE", {{L"FILE", L"", kRoomLong, true, L"read as empty: nothing is deleted"}}}}};
const KeySet kFolderKeys{{{L"DEST_IS_PROGRAMFOLDER", true, 0}},
                         {{L"FOLDER",
                           {{L"FOLDER", L"_SRC", kRoomPath, true, L"read as empty: the pair fails"},
                            {L"FOLDER", L"_DEST", kRoomPath, true, L"read as empty: the pair fails"}}}}};

const KeywordRules kCommands[] = {
    {L"CHECK_WOW6432", Variant::kNoSection, nullptr},
    {L"CHECK_VENDOR", Variant::kNoSection, nullptr},
    {L"CHECK_MODEM", Variant::kNoSection, nullptr},
    {L"CHECK_WMODEM", Variant::kNoSection, nullptr},
    {L"CHECK_WIFI", Variant::kNoSection, nullptr},
    {L"CHECK_HWID", Variant::kPlain, &kHwidKeys},
    {L"TPROCESS", Variant::kPlain, &kProcessKeys},
    {L"CMD_CP", Variant::kPlain, &kLaunchKeys},
    {L"CMD_REGION", Variant::kRegion, &kLaunchKeys},
    {L"CMD_UILANG", Variant::kUiLanguage, &kLaunchKeys},
    {L"INSTALL_DRIVER", Variant::kOsClass, &kDriverKeys},
    {L"REG_FILE", Variant::kNoSection, nullptr},
    {L"REG_FILE_UILANG", Variant::kNoSection, nullptr},
    {L"REG_INI", Variant::kPlain, &kRegistryKeys},
    {L"REG_INI_UILANG", Variant::kUiLanguage, &kRegistryKeys},
    {L"MODEM_REGION", Variant::kRegion, &kRegistryKeys},
    {L"TELEPHONY_REGION", Variant::kRegion, &kRegistryKeys},
    {L"MODEM_HOMOL", Variant::kNoSection, nullptr},
    {L"ENABLE_WOR_WMODEM", Variant::kNoSection, nullptr},
    {L"DISABLE_IWLAN_ASPM", Variant::kNoSection, nullptr},
    {L"DRIVER_REG", Variant::kDeviceId, &kDriverRegKeys, &kDriverKeyEntries},
    {L"REMOVE_DRIVER", Variant::kPlain, &kRemoveKeys},
    {L"SCAN_DEVICE", Variant::kPlain, &kScanKeys},
    {L"REMOVE_FILES", Variant::kPlain, &kFileKeys},
    {L"COPY_FOLDERS", Variant::kPlain, &kFolderKeys},
};

constexpr std::size_t kInitBuffer = BufferFor(kRoomScriptValue);
// Counts beyond this are not walked key by key (the tool would read them all).
constexpr std::uint32_t kMostEntriesChecked = 4096;

const KeywordRules* FindCommand(std::wstring_view keyword) {
  for (const auto& c : kCommands) {
    if (EqualsNoCase(c.keyword, keyword)) return &c;
  }
  return nullptr;
}

std::string U8(std::wstring_view w) { return ToUtf8(w); }

bool IsDecimal(std::wstring_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// The number of a numbered key "<prefix><n><suffix>", or nothing; `leadingZero`
// tells a key such as DEV01, which the tool never forms.
std::optional<std::uint64_t> KeyNumber(std::wstring_view key, std::wstring_view prefix, std::wstring_view suffix,
                                       bool* leadingZero) {
  if (key.size() <= prefix.size() + suffix.size()) return std::nullopt;
  if (!StartsWithNoCase(key, prefix)) return std::nullopt;
  if (!EqualsNoCase(key.substr(key.size() - suffix.size()), suffix)) return std::nullopt;
  const std::wstring_view digits = key.substr(prefix.size(), key.size() - prefix.size() - suffix.size());
  if (!IsDecimal(digits) || digits.size() > 9) return std::nullopt;
  *leadingZero = digits.size() > 1 && digits.front() == L'0';
  return std::stoull(std::wstring(digits));
}

std::wstring KeyName(const NumberedKey& k, std::uint64_t n) {
  return std::wstring(k.prefix) + std::to_wstring(n) + std::wstring(k.suffix);
}

class Linter {
 public:
  Linter(std::wstring_view baseName, const PackageLookup& package, const PackageListing& listing,
         const PathLookup& machines, std::string_view bytes, const PackageReader& reader = {},
         std::span<const DescribedMachine> described = {})
      : bytes_(bytes),
        builder_(bytes.size()),
        baseName_(baseName),
        package_(package),
        topLevel_(listing),
        machines_(machines),
        reader_(reader),
        described_(described) {}

  // The script a line at a time, as the reader ends its lines: a large script
  // is never held whole, decoded.
  void AddLine(std::wstring_view line) {
    builder_.AddLine(line);
    ++rawLine_;
    if (!line.empty() && line.back() == L'\n') line.remove_suffix(1);
    CheckCharacters(line);
    ReadIgnores(line);
  }

  std::vector<Finding> Run() {
    profile_ = builder_.Finish();
    CheckEncoding();
    IndexSections();
    ReadCommands();
    for (const auto& [name, use] : reads_) CheckSection(name, use);
    CheckUnreadSections();
    ApplyIgnores();
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return std::move(findings_);
  }

 private:
  using Section = ParsedProfile::Section;
  using Entry = ParsedProfile::Entry;

  struct Use {
    std::set<const KeySet*> keySets;
    std::vector<std::wstring> readers;  // "CMD3 (REG_INI)"
  };
  // A command section and how variants of it are chosen.
  struct Owner {
    std::wstring section;
    const KeywordRules* rules;
    std::wstring reader;
    std::wstring suffix;  // the command's platform suffix
  };

  void Report(Rule rule, std::size_t line, std::string reason) {
    const RuleInfo& info = InfoOf(rule);
    findings_.push_back({line, info.severity, std::move(reason), std::string(info.id)});
  }

  const Section* FindSection(std::wstring_view name) const {
    auto it = sections_.find(std::wstring(name));
    return it == sections_.end() ? nullptr : it->second;
  }
  // The first entry of a key in a section, as the reader finds it.
  const Entry* FindEntry(const Section& s, std::wstring_view key) const { return profile_.Find(s, key); }
  std::wstring Name(const Section& s) const { return profile_.Name(s); }
  std::wstring Name(const Entry& e) const { return profile_.Name(e); }
  std::wstring Value(const Entry& e) const { return profile_.Value(e); }
  std::span<const Entry> Entries(const Section& s) const { return profile_.Entries(s); }
  // A key line, not a comment that the reader keeps as a key of its own.
  static bool IsKey(std::wstring_view name) { return !name.empty() && name.front() != L';'; }
  std::size_t LineOf(const Section& s, std::wstring_view key) const {
    const Entry* e = FindEntry(s, key);
    return e != nullptr ? e->line : s.line;
  }

  void IndexSections() {
    for (const auto& s : profile_.sections()) {
      if (s.nameSize == 0) {
        for (const auto& e : Entries(s)) {
          const std::wstring key = Name(e);
          if (IsKey(key)) {
            Report(Rule::kKeyBeforeSection, e.line,
                   "\"" + U8(key) + "\" stands before the first section header and is never read");
          }
        }
        continue;
      }
      auto [it, fresh] = sections_.emplace(Name(s), &s);
      if (!fresh) {
        Report(Rule::kRepeatedSection, s.line,
               "section [" + U8(Name(s)) + "] appears again; only the first, at line " +
                   std::to_string(it->second->line) + ", is read");
      }
      for (const auto& e : Entries(s)) {
        const std::wstring key = Name(e);
        if (!IsKey(key)) continue;
        CheckCommentInValue(s, e, key);
        const Entry* first = FindEntry(s, key);
        if (first != &e) {
          Report(Rule::kRepeatedKey, e.line,
                 "key " + U8(key) + " appears again in [" + U8(Name(s)) + "]; only the first, at line " +
                     std::to_string(first->line) + ", is read");
        }
      }
    }
    for (const auto& name : profile_.SectionNames(kSectionListChars)) visibleSections_.insert(name);
  }

  void ReadCommands() {
    const Section* init = FindSection(L"INIT");
    if (init == nullptr) {
      Report(Rule::kNoInit, 1, "no [INIT] section: the tool runs no command");
      return;
    }
    // The list ends at the first number whose CMD is missing or empty.
    std::size_t end = 1;
    while (end <= kMaxCommands && !profile_.String(L"INIT", L"CMD" + std::to_wstring(end), L"", kInitBuffer).empty()) {
      ++end;
    }
    if (end == 1) Report(Rule::kNoCommands, init->line, "no CMD1: the tool runs no command");
    for (const auto& e : Entries(*init)) CheckInitKey(*init, e, end);
    for (std::size_t n = 1; n < end; ++n) ReadCommand(*init, n);
  }

  void CheckInitKey(const Section& init, const Entry& e, std::size_t end) {
    const std::wstring key = Name(e);
    if (!IsKey(key)) return;
    if (EqualsNoCase(key, L"FORCE_REGION")) {
      const std::wstring v = profile_.String(L"INIT", L"FORCE_REGION", L"", kInitBuffer);
      if (v.size() > 1)
        Report(Rule::kForcedRegion, e.line,
               "FORCE_REGION=" + U8(v) + ": only its first character, " + U8(v.substr(0, 1)) + ", is used");
      return;
    }
    bool zero = false;
    auto n = KeyNumber(key, L"CMD", L"_SECTION", &zero);
    const bool isSection = n.has_value();
    if (!n) n = KeyNumber(key, L"CMD", L"", &zero);
    if (!n) {
      Report(Rule::kKeyNotRead, e.line, "no command reads key " + U8(key) + " in [INIT]");
      return;
    }
    if (zero || *n == 0) {
      Report(Rule::kNumberedKeyNeverRead, e.line,
             U8(key) + " is never read: command numbers start at 1 and have no leading zeros");
      return;
    }
    if (FindEntry(init, key) != &e) return;  // a repeated key, reported already
    const std::string cmd = "CMD" + std::to_string(*n);
    if (*n < end) return;
    if (isSection) {
      if (profile_.String(L"INIT", L"CMD" + std::to_wstring(*n), L"", kInitBuffer).empty()) {
        Report(Rule::kSectionKeyWithoutCommand, e.line, U8(key) + " has no " + cmd + " beside it and is never read");
      }
      return;
    }
    if (Value(e).empty()) return;  // an empty CMD is the end itself
    if (*n > kMaxCommands) {
      if (end > kMaxCommands) {
        Report(Rule::kCommandNeverRuns, e.line, cmd + " never runs: the tool runs at most 64 commands");
      } else {
        Report(Rule::kCommandNeverRuns, e.line,
               cmd + " never runs: the tool runs at most 64 commands, and the list already ends at CMD" +
                   std::to_string(end));
      }
      return;
    }
    const Entry* missing = FindEntry(init, L"CMD" + std::to_wstring(end));
    Report(Rule::kCommandNeverRuns, e.line,
           cmd + " never runs: CMD" + std::to_string(end) + (missing != nullptr ? " is empty" : " is missing") +
               " and ends the command list");
  }

  void ReadCommand(const Section& init, std::size_t n) {
    const std::wstring key = L"CMD" + std::to_wstring(n);
    const std::wstring sectionKey = key + L"_SECTION";
    const std::size_t line = LineOf(init, key);
    const std::wstring command = profile_.String(L"INIT", key, L"", kInitBuffer);
    const std::wstring section = profile_.String(L"INIT", sectionKey, L"", kInitBuffer);
    const std::size_t sectionLine = LineOf(init, FindEntry(init, sectionKey) != nullptr ? sectionKey : key);

    // The suffix is what follows the last dot that has no blank or backslash after it.
    const std::size_t dot = command.rfind(L'.');
    if (dot != std::wstring::npos && command.find_first_of(L" \\", dot) != std::wstring::npos &&
        shell::FindExtension(command) == command.size()) {
      Report(Rule::kBlankAfterDot, line,
             U8(key) + "=" + U8(command) +
                 ": a blank after the dot, so there is no platform suffix and the "
                 "keyword is the whole text, which names no command");
      return;
    }
    const std::wstring keyword = shell::RemoveExtension(command);
    const std::wstring suffix = command.substr(shell::FindExtension(command));
    const KeywordRules* rules = FindCommand(keyword);
    if (rules == nullptr) {
      Report(Rule::kUnknownKeyword, line,
             U8(key) + "=" + U8(command) + ": unknown keyword " + U8(keyword) + ", the command does nothing");
      return;
    }
    if (!suffix.empty() && !EqualsNoCase(suffix, L".X32") && !EqualsNoCase(suffix, L".X64") &&
        !EqualsNoCase(suffix, L".WOW64") && !EqualsNoCase(suffix, L".WOW6432")) {
      Report(Rule::kUnknownSuffix, line,
             U8(key) + "=" + U8(command) + ": " + U8(suffix) +
                 " is not a platform suffix (.X32, .X64, .WOW64, .WOW6432), so the command runs on every Windows");
    }
    // A check that stops the run on 64-bit Windows keeps every later command off it.
    if (EqualsNoCase(command, L"CHECK_WOW6432")) only32Bit_ = true;
    CheckCompanion(keyword, suffix, key, command, line);
    // The homologation stamp's first byte flips on each run: a second run puts it back.
    if (EqualsNoCase(keyword, L"MODEM_HOMOL")) {
      Report(Rule::kChangesEveryRun, line,
             U8(key) + "=" + U8(command) +
                 ": flips the first byte of HomolTimeStamp on every run, so a second run of the package sets it back");
    }
    const std::wstring reader = key + L" (" + std::wstring(rules->keyword) + L")";
    if (rules->variant == Variant::kNoSection) {
      if (!section.empty()) {
        Report(Rule::kSectionNotUsed, sectionLine,
               U8(rules->keyword) + " reads no section; " + U8(sectionKey) + "=" + U8(section) + " is not used");
      }
      CheckRegistryFile(*rules, line);
      return;
    }
    if (section.empty()) {
      Report(Rule::kNoCommandSection, sectionLine,
             U8(reader) + " needs a command section, and " + U8(sectionKey) + " is missing or empty");
      return;
    }
    Owner owner{section, rules, reader, suffix};
    UseSections(owner, sectionLine);
    owners_.push_back(std::move(owner));
  }

  // On 64-bit Windows the device calls of these commands are refused to the
  // 32-bit tool and made by its companion, which must be in the package.
  void CheckCompanion(std::wstring_view keyword, std::wstring_view suffix, const std::wstring& key,
                      const std::wstring& command, std::size_t line) {
    if (!package_ || companionChecked_ || only32Bit_ || EqualsNoCase(suffix, L".X32")) return;
    constexpr std::wstring_view kDeviceCalls[] = {L"INSTALL_DRIVER", L"REMOVE_DRIVER", L"DRIVER_REG",
                                                  L"DISABLE_IWLAN_ASPM", L"ENABLE_WOR_WMODEM"};
    if (std::none_of(std::begin(kDeviceCalls), std::end(kDeviceCalls),
                     [&](std::wstring_view k) { return EqualsNoCase(k, keyword); })) {
      return;
    }
    companionChecked_ = true;
    const std::wstring companion = baseName_ + L"64.exe";
    if (package_(companion)) return;
    Report(Rule::kNoCompanion, line,
           U8(key) + "=" + U8(command) + " can run on 64-bit Windows, where Windows refuses the 32-bit tool its " +
               "device calls and the companion " + U8(companion) + " makes them; the package has no " + U8(companion) +
               ", so the command fails there");
  }

  void CheckRegistryFile(const KeywordRules& rules, std::size_t line) {
    if (EqualsNoCase(rules.keyword, L"REG_FILE_UILANG") && topLevel_) {
      bool any = false;
      for (const auto& f : topLevel_()) {
        const std::wstring stem = shell::RemoveExtension(f);
        any = any || (EqualsNoCase(shell::Extension(f), L".reg") && VariantFits(*FindCommand(L"CMD_UILANG"), stem));
      }
      if (!any) {
        Report(Rule::kNoLanguageRegFile, line,
               "REG_FILE_UILANG imports <UI language>.reg beside the tool (0409.reg, 0411.reg, ...), and the package "
               "has none");
      }
    }
    if (!package_) return;
    if (EqualsNoCase(rules.keyword, L"REG_FILE")) {
      const std::wstring file = baseName_ + L".reg";
      if (!package_(file))
        Report(Rule::kFileNotInPackage, line, "REG_FILE imports " + U8(file) + ", which is not beside the script");
    }
  }

  void Read(const std::wstring& name, const KeySet* keys, const std::wstring& reader) {
    auto& use = reads_[name];
    use.keySets.insert(keys);
    if (std::find(use.readers.begin(), use.readers.end(), reader) == use.readers.end()) use.readers.push_back(reader);
  }

  bool Selectable(std::wstring_view name) const { return visibleSections_.contains(std::wstring(name)); }

  // The Windows versions an INSTALL_DRIVER can run on whose section is not
  // there. The bitness comes from the suffix and from a CHECK_WOW6432 before
  // it; 5.2 is taken for 64-bit Windows XP (its 32-bit form is Server 2003,
  // not a notebook's Windows).
  void ReportMissingOsSections(const Owner& owner, std::size_t line, const std::string& harm) {
    const bool on64 = !EqualsNoCase(owner.suffix, L".X32") && !only32Bit_;
    const bool on32 = !EqualsNoCase(owner.suffix, L".X64") && !EqualsNoCase(owner.suffix, L".WOW64");
    struct Version {
      const char* windows;
      std::wstring_view ending;
      bool is32;
      bool is64;
    };
    constexpr Version kVersions[] = {{"Windows 2000", L"_2000", true, false},
                                     {"Windows XP", L"_XP", true, false},
                                     {"64-bit Windows XP (5.2)", L"", false, true},
                                     {"Vista and later", L"_VISTA", true, true}};
    std::string missing;
    for (const auto& v : kVersions) {
      if (!((on32 && v.is32) || (on64 && v.is64))) continue;
      const std::wstring name = owner.section + std::wstring(v.ending);
      if (FindSection(name) != nullptr) continue;
      missing += std::string(missing.empty() ? "" : ", ") + v.windows + " [" + U8(name) + "]";
    }
    if (missing.empty()) return;
    Report(Rule::kOsSectionMissing, line,
           U8(owner.reader) + " can run on Windows whose section is not there: " + missing + "; there it installs " +
               "no driver and" + harm);
  }

  // ---- driver packages ----

  // The Windows an INSTALL_DRIVER section serves, by its ending: 2000, XP,
  // Vista and 6.x (taken at its first version), and for the plain section
  // 64-bit XP (5.2) and Windows 10; each in the bitness the command may run in.
  std::vector<sim::DriverTarget> TargetsOf(const Owner& owner, std::wstring_view ending) const {
    const bool on64 = !EqualsNoCase(owner.suffix, L".X32") && !only32Bit_;
    const bool on32 = !EqualsNoCase(owner.suffix, L".X64") && !EqualsNoCase(owner.suffix, L".WOW64");
    std::vector<sim::DriverTarget> all;
    if (ending == L"_2000") all = {{5, 0, false}};
    if (ending == L"_XP") all = {{5, 1, false}};
    if (ending == L"_VISTA") all = {{6, 0, false}, {6, 0, true}};
    if (ending.empty()) all = {{5, 2, true}, {10, 0, false}, {10, 0, true}};
    std::vector<sim::DriverTarget> out;
    for (const auto& t : all) {
      if (t.amd64 ? on64 : on32) out.push_back(t);
    }
    return out;
  }

  static std::wstring EndingOf(const sim::SimMachine& m) {
    if (m.os.major == 5 && m.os.minor == 0) return L"_2000";
    if (m.os.major == 5 && m.os.minor == 1) return L"_XP";
    if (m.os.major == 6) return L"_VISTA";
    return L"";
  }

  static std::string Names(const std::vector<sim::DriverTarget>& targets) {
    std::string out;
    for (const auto& t : targets) out += (out.empty() ? "" : ", ") + U8(sim::TargetName(t));
    return out;
  }

  // Each INF the section updates a device from or stages, read as Windows
  // reads it, for each Windows the section serves.
  void CheckDriverPackages(const Owner& owner, const std::wstring& name, std::wstring_view ending) {
    if (!reader_) return;
    const Section* section = FindSection(name);
    const auto targets = TargetsOf(owner, ending);
    const std::uint32_t devices = std::min<std::uint32_t>(profile_.Int(name, L"DEV", 0), 1000);
    for (std::uint32_t n = 1; n <= devices; ++n) {
      const std::wstring key = L"DEVINF" + std::to_wstring(n);
      if (FindEntry(*section, key) == nullptr) continue;
      const std::wstring inf = profile_.String(name, key, L"", 260);
      const std::wstring id = profile_.String(name, L"DEV" + std::to_wstring(n), L"", BufferFor(kRoomLong));
      CheckInf(LineOf(*section, key), inf, id, targets, ending);
    }
    const std::uint32_t staged = std::min<std::uint32_t>(profile_.Int(name, L"INFCOPY", 0), 1000);
    for (std::uint32_t n = 1; n <= staged; ++n) {
      const std::wstring key = L"INF" + std::to_wstring(n);
      if (FindEntry(*section, key) == nullptr) continue;
      CheckInf(LineOf(*section, key), profile_.String(name, key, L"", BufferFor(kRoomLong)), L"", targets, ending);
    }
  }

  void CheckInf(std::size_t line, const std::wstring& relative, const std::wstring& id,
                const std::vector<sim::DriverTarget>& targets, std::wstring_view ending) {
    if (relative.empty()) return;
    const auto bytes = reader_(relative);
    if (!bytes) return;  // a file the package lacks is reported with the key
    const std::string inf = U8(relative);
    const sim::InfParse parsed =
        sim::OpenInf({reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()}, 1252);
    if (!parsed.inf) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08X", parsed.error);
      Report(Rule::kInfUnreadable, line,
             inf + ": SetupAPI cannot open it (" + code +
                 (parsed.errorLine != 0 ? ", line " + std::to_string(parsed.errorLine) : std::string()) +
                 "): Windows finds no driver in it");
      return;
    }
    const std::wstring folder =
        relative.find(L'\\') == std::wstring::npos ? std::wstring() : relative.substr(0, relative.rfind(L'\\') + 1);
    sim::InfDirectories dirs;
    std::vector<sim::DriverTarget> noModels, noLine, unsigned_;
    std::set<std::wstring> missing;
    std::string offered;
    for (const auto& target : targets) {
      std::wstring why;
      const auto models = sim::ModelsSectionsFor(*parsed.inf, dirs, target, &why);
      if (models.empty()) {
        noModels.push_back(target);
        offered = U8(why);
        continue;
      }
      const std::wstring catalog = sim::CatalogFileName(*parsed.inf, dirs, target);
      if (catalog.empty() || !reader_(folder + catalog)) unsigned_.push_back(target);
      std::vector<std::wstring> installs;
      if (!id.empty()) {
        const auto found = sim::FindDriver(*parsed.inf, dirs, target, {id}, {}, true);
        if (!found.best) {
          noLine.push_back(target);
          continue;
        }
        installs.push_back(found.best->actualInstall);
      } else {
        // A staged INF: every line of its models sections may be installed.
        for (const auto& m : models) {
          for (const auto& l : sim::FindSection(*parsed.inf, m)->lines) {
            if (l.fields.size() < 2) continue;
            sim::DriverNode any;
            installs.push_back(
                sim::FindDriver(*parsed.inf, dirs, target, {sim::Substitute(l.fields[1], *parsed.inf, dirs)}, {}, true)
                    .best.value_or(any)
                    .actualInstall);
          }
        }
      }
      for (const auto& install : installs) {
        for (const auto& file : sim::SourceFiles(*parsed.inf, dirs, target, install)) {
          if (!reader_(folder + file)) missing.insert(file);
        }
      }
    }
    if (!noModels.empty()) {
      Report(Rule::kInfNoModelsForWindows, line,
             inf + " has no models section for " + Names(noModels) + ": the update there fails (" + offered + ")");
    }
    if (!noLine.empty()) {
      Report(Rule::kInfNoLineForId, line,
             inf + ": no models line carries " + U8(id) + " on " + Names(noLine) +
                 ": the update there fails with ERROR_NO_SUCH_DEVINST");
    }
    if (!missing.empty() || !unsigned_.empty()) {
      std::string what;
      for (const auto& f : missing) what += (what.empty() ? "" : ", ") + U8(f);
      if (!unsigned_.empty()) {
        what += std::string(what.empty() ? "" : "; ") + "the catalog [Version] names for " + Names(unsigned_);
      }
      Report(Rule::kInfPackageIncomplete, line,
             inf + ": the package lacks " + what +
                 ": Windows then asks in a dialog (for the files, or whether to install an unsigned driver), and an "
                 "unattended run waits there for good");
    }
    if (!id.empty()) CheckOnDescribedMachines(line, relative, *parsed.inf, folder, id, ending);
  }

  // The whole selection on each described machine that reads this section:
  // its devices' IDs and the drivers they have.
  void CheckOnDescribedMachines(std::size_t line, const std::wstring& relative, const sim::InfText& inf,
                                const std::wstring& folder, const std::wstring& id, std::wstring_view ending) {
    for (const auto& described : described_) {
      const sim::SimMachine& m = *described.machine;
      if (EndingOf(m) != ending) continue;
      const sim::DriverTarget target{m.os.major, m.os.minor, m.wow64};
      sim::InfDirectories dirs;
      dirs.language = m.uiLanguage;
      const std::wstring catalog = sim::CatalogFileName(inf, dirs, target);
      const bool signedInf = !catalog.empty() && reader_(folder + catalog).has_value();
      for (const auto& d : m.devices) {
        if (d.removed || !d.present || !d.hardwareIds) continue;
        const auto carries = [&](const std::vector<std::wstring>& ids) {
          return std::any_of(ids.begin(), ids.end(), [&](const std::wstring& i) { return EqualsNoCase(i, id); });
        };
        if (!carries(*d.hardwareIds) && !carries(d.compatibleIds)) continue;
        const auto found = sim::FindDriver(inf, dirs, target, *d.hardwareIds, d.compatibleIds, signedInf);
        if (!found.best) {
          Report(
              Rule::kInfNoLineForId, line,
              described.name + ": " + U8(relative) + " has no driver for " + U8(d.instanceId) + ": " + U8(found.why));
          continue;
        }
        if (!d.driver) continue;
        const sim::DriverNode installed =
            sim::InstalledDriverNode(d.driver->matchingId, {d.driver->date, d.driver->version}, d.driver->signedDriver,
                                     *d.hardwareIds, d.compatibleIds);
        if (sim::RanksBetter(*found.best, installed)) continue;
        char ranks[64];
        std::snprintf(ranks, sizeof ranks, "rank 0x%04X, %s against 0x%04X, %s", found.best->rank,
                      U8(sim::DateText(found.best->driverVer.date)).c_str(), installed.rank,
                      U8(sim::DateText(installed.driverVer.date)).c_str());
        Report(Rule::kInfReplacesBetterDriver, line,
               described.name + ": the forced update puts " + U8(relative) + " [" + U8(found.best->modelsSection) +
                   "] over the driver " + U8(d.driver->inf) + " of " + U8(d.instanceId) +
                   ", which ranks as well or better (" + ranks + ")");
      }
    }
  }

  void UseSections(const Owner& owner, std::size_t line) {
    const std::wstring& s = owner.section;
    const KeywordRules& rules = *owner.rules;
    const bool plain = FindSection(s) != nullptr;
    switch (rules.variant) {
      case Variant::kNoSection: return;
      case Variant::kPlain:
        if (!plain) {
          Report(Rule::kMissingSection, line,
                 "section [" + U8(s) + "] is missing, so " + U8(owner.reader) + " does nothing");
          return;
        }
        Read(s, rules.keys, owner.reader);
        return;
      case Variant::kRegion:
      case Variant::kUiLanguage: {
        bool variant = false;
        for (const auto& [name, section] : sections_) {
          if (IsVariantOf(name, s) && VariantFits(rules, Suffix(name, s)) && Selectable(name)) {
            Read(name, rules.keys, owner.reader);
            variant = true;
          }
        }
        const std::string what = rules.variant == Variant::kRegion ? "region" : "UI language";
        if (!plain && !variant) {
          Report(Rule::kMissingSection, line,
                 "section [" + U8(s) + "] is missing, and so is every " + what + " variant of it: " + U8(owner.reader) +
                     " does nothing");
        } else if (!plain) {
          Report(
              Rule::kMissingPlainSection, line,
              "no section [" + U8(s) + "]: on a machine of another " + what + " " + U8(owner.reader) + " does nothing");
        }
        if (plain) Read(s, rules.keys, owner.reader);
        return;
      }
      case Variant::kOsClass: {
        bool any = false;
        bool versioned = false;
        for (std::wstring_view ending : {L"_2000", L"_XP", L"_VISTA", L""}) {
          const std::wstring name = s + std::wstring(ending);
          if (FindSection(name) != nullptr) {
            Read(name, rules.keys, owner.reader);
            any = true;
            versioned = versioned || !ending.empty();
          }
        }
        // A section that is not there reads as all defaults: the package is
        // copied into the default folder, which is emptied first.
        const std::string harm =
            " copies the package into the default folder VELTARO\\NetworkDriver, emptying it first";
        // On 2000, XP, Vista and everything after (6.x) the tool appends an
        // ending; the plain section serves only other Windows.
        if (any && !versioned) {
          Report(Rule::kOnlyPlainOsSection, line,
                 "only [" + U8(s) + "] is there: on Windows 2000, XP, Vista and later " + U8(owner.reader) +
                     " reads [" + U8(s) + "_2000], [" + U8(s) + "_XP] or [" + U8(s) +
                     "_VISTA], installs no driver and" + harm);
        }
        if (!any) {
          Report(Rule::kMissingOsSections, line,
                 "none of the sections [" + U8(s) + "_2000], [" + U8(s) + "_XP], [" + U8(s) + "_VISTA], [" + U8(s) +
                     "] is there, so " + U8(owner.reader) + " installs no driver and" + harm);
        }
        if (any && versioned) ReportMissingOsSections(owner, line, harm);
        for (std::wstring_view ending : {L"_2000", L"_XP", L"_VISTA", L""}) {
          if (FindSection(s + std::wstring(ending)) != nullptr)
            CheckDriverPackages(owner, s + std::wstring(ending), ending);
        }
        return;
      }
      case Variant::kDeviceId: {
        if (!plain) {
          Report(Rule::kMissingSection, line,
                 "section [" + U8(s) + "] is missing, so " + U8(owner.reader) + " does nothing");
          return;
        }
        Read(s, rules.keys, owner.reader);
        const Section& section = *FindSection(s);
        const std::uint32_t count = profile_.Int(s, L"DEV", 0);
        if (static_cast<std::int32_t>(count) <= 0) return;
        for (std::uint32_t n = 1; n <= std::min(count, kMostEntriesChecked); ++n) {
          // A missing DEV key reads as DEFAULT_ID; the count check reports it.
          if (FindEntry(section, L"DEV" + std::to_wstring(n)) == nullptr) continue;
          const std::wstring id = profile_.String(s, L"DEV" + std::to_wstring(n), L"DEFAULT_ID", BufferFor(kRoomLong));
          if (id.empty()) continue;
          const std::wstring name = s + L"_" + id;
          if (FindSection(name) == nullptr) {
            Report(
                Rule::kMissingDeviceSection, LineOf(section, L"DEV" + std::to_wstring(n)),
                "no section [" + U8(name) + "]: " + U8(owner.reader) + " writes nothing to that device's driver key");
          } else {
            Read(name, rules.deviceSection, owner.reader);
          }
        }
        return;
      }
    }
  }

  static bool IsVariantOf(std::wstring_view name, std::wstring_view section) {
    return name.size() > section.size() + 1 && StartsWithNoCase(name, section) && name[section.size()] == L'_';
  }
  static std::wstring Suffix(std::wstring_view name, std::wstring_view section) {
    return std::wstring(name.substr(section.size() + 1));
  }
  static bool VariantFits(const KeywordRules& rules, std::wstring_view suffix) {
    if (rules.variant == Variant::kRegion) return suffix.size() == 1;
    if (rules.variant == Variant::kUiLanguage) {
      return suffix.size() == 4 && std::all_of(suffix.begin(), suffix.end(), [](wchar_t c) {
               return (c >= L'0' && c <= L'9') || (AsciiLower(c) >= L'a' && AsciiLower(c) <= L'f');
             });
    }
    return false;
  }

  // ---- one section against the keys its commands read ----

  void CheckSection(const std::wstring& name, const Use& use) {
    const Section* section = FindSection(name);
    if (section == nullptr) return;
    std::string readers;
    for (const auto& r : use.readers) readers += (readers.empty() ? "" : ", ") + U8(r);
    for (const auto& e : Entries(*section)) {
      const std::wstring key = Name(e);
      if (!IsKey(key) || FindEntry(*section, key) != &e) continue;
      if (!IsRead(use, key)) {
        const std::optional<std::wstring> meant = MeantKey(use, key);
        Report(Rule::kKeyNotRead, e.line,
               "no command reads key " + U8(key) + " in [" + U8(name) + "] (read by " + readers + ")" +
                   (meant ? "; did you mean " + U8(*meant) + "?" : ""));
      }
    }
    for (const KeySet* keys : use.keySets) {
      for (const auto& k : keys->plain) CheckPlainKey(name, *section, k);
      for (const auto& g : keys->groups) CheckGroup(name, *section, g);
    }
    if (use.keySets.contains(&kDriverKeys)) CheckInstallSection(name, *section);
    if (use.keySets.contains(&kFolderKeys)) CheckFolderSection(name, *section);
    if (use.keySets.contains(&kFileKeys)) CheckFileSection(name, *section);
  }

  // A DESTDIR that names a maker's folder rather than one product's: one
  // folder, or one folder in Common Files, where a maker's products share it.
  static bool IsMakersFolder(std::wstring_view destination) {
    std::vector<std::wstring_view> parts;
    for (std::size_t start = 0; start <= destination.size();) {
      std::size_t end = destination.find_first_of(L"\\/", start);
      if (end == std::wstring_view::npos) end = destination.size();
      const std::wstring_view part = destination.substr(start, end - start);
      if (!part.empty() && part != L".") parts.push_back(part);
      start = end + 1;
    }
    return parts.size() == 1 || (parts.size() == 2 && EqualsNoCase(parts[0], L"Common Files"));
  }

  // A folder at the root of a drive that Windows does not make there may be
  // made by any user (and turned into a junction) before the run: the tool
  // then skips the path, and what it wrote there any user can change.
  static std::optional<std::wstring> FolderAnyUserMakes(const std::wstring& path) {
    if (path.size() < 4 || path[1] != L':' || (path[2] != L'\\' && path[2] != L'/')) return std::nullopt;
    const std::size_t end = path.find_first_of(L"\\/", 3);
    if (end == std::wstring::npos) return std::nullopt;  // a file at the root itself
    const std::wstring first = path.substr(3, end - 3);
    for (const wchar_t* windows : {L"Windows", L"WINNT", L"Program Files", L"Program Files (x86)", L"ProgramData",
                                   L"Documents and Settings", L"Users"}) {
      if (EqualsNoCase(first, windows)) return std::nullopt;
    }
    return path.substr(0, end);
  }

  // REMOVE_FILES deletes the file Windows makes of the path, which may not
  // be the one the line seems to name.
  void CheckFileSection(const std::wstring& name, const Section& section) {
    const std::uint32_t count = std::min(profile_.Int(name, L"FILE", 0), kMostEntriesChecked);
    if (static_cast<std::int32_t>(count) <= 0) return;
    for (std::uint32_t n = 1; n <= count; ++n) {
      const std::wstring key = L"FILE" + std::to_wstring(n);
      const Entry* e = FindEntry(section, key);
      if (e == nullptr) continue;
      const std::wstring path = profile_.String(name, key, L"", BufferFor(kRoomLong));
      if (path.empty()) continue;
      const bool absolute =
          path.size() >= 3 && ((path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
                               ((path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')));
      if (!absolute) {
        Report(Rule::kPathReadOtherwise, e->line,
               U8(key) + "=" + U8(path) +
                   " is relative: the tool deletes it from its current folder, which the installer that starts it "
                   "chooses");
        continue;
      }
      if (auto folder = FolderAnyUserMakes(path)) {
        Report(Rule::kFolderAnyUserMakes, e->line,
               U8(key) + "=" + U8(path) + " lies in " + U8(*folder) +
                   ", which any user may make (or turn into a link to another folder) before the run; the tool "
                   "then skips it");
      }
      const std::wstring full = sim::PathToOpen(path, L"C:\\");
      std::wstring plain(path);
      for (auto& c : plain) c = c == L'/' ? L'\\' : c;
      if (!EqualsNoCase(full, plain)) {
        Report(Rule::kPathReadOtherwise, e->line, U8(key) + "=" + U8(path) + " deletes " + U8(full));
      }
    }
  }

  // The key a misspelt one was probably meant to be: one edit away from a
  // key the section's commands read, numbered keys with the typo's number.
  static std::optional<std::wstring> MeantKey(const Use& use, const std::wstring& key) {
    std::vector<std::wstring> known;
    const std::size_t digit = key.find_first_of(L"0123456789");
    const std::wstring number =
        digit == std::wstring::npos ? L"" : key.substr(digit, key.find_first_not_of(L"0123456789", digit) - digit);
    for (const KeySet* keys : use.keySets) {
      for (const auto& k : keys->plain) known.emplace_back(k.name);
      for (const auto& g : keys->groups) {
        known.emplace_back(g.countKey);
        if (number.empty()) continue;
        for (const auto& k : g.keys) known.push_back(std::wstring(k.prefix) + number + std::wstring(k.suffix));
      }
    }
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
    const auto meant = sim::NearMiss(std::wstring_view(key), known);
    return meant ? std::optional<std::wstring>(std::wstring(*meant)) : std::nullopt;
  }

  // Whether some command reading this section reads the key; a numbered key
  // beyond its count is reported by the count check, not here.
  static bool IsRead(const Use& use, const std::wstring& name) {
    for (const KeySet* keys : use.keySets) {
      for (const auto& k : keys->plain) {
        if (EqualsNoCase(k.name, name)) return true;
      }
      for (const auto& g : keys->groups) {
        if (EqualsNoCase(g.countKey, name)) return true;
        for (const auto& k : g.keys) {
          bool zero = false;
          if (auto n = KeyNumber(name, k.prefix, k.suffix, &zero)) return !zero && *n > 0;
        }
      }
    }
    return false;
  }

  void CheckPlainKey(const std::wstring& name, const Section& section, const PlainKey& k) {
    const Entry* e = FindEntry(section, k.name);
    if (e == nullptr || !e->hasValue) return;
    if (k.integer) {
      CheckInteger(name, *e);
      if (k.pause) CheckBound(name, *e, true);
    } else {
      CheckRoom(name, *e, k.room);
    }
  }

  // A value the integer reader does not take as a number reads as 0.
  void CheckInteger(const std::wstring& name, const Entry& e) {
    const std::wstring v = profile_.String(name, Name(e), L"", 30);
    if (v.empty()) return;
    std::size_t i = 0;
    if (v[i] == L'+' || v[i] == L'-') ++i;
    if (i >= v.size() || v[i] < L'0' || v[i] > L'9') {
      Report(Rule::kNotANumber, e.line, U8(Name(e)) + "=" + U8(v) + " is not a number and reads as 0");
      return;
    }
    // The digits end at the first other character: 2s is 2 (milliseconds, for a pause).
    std::size_t end = i;
    // Only a lower-case prefix makes a hexadecimal number: 0X1 is 0.
    const bool hex = v.size() > i + 1 && v[i] == L'0' && v[i + 1] == L'x';
    if (hex) end += 2;
    while (end < v.size() &&
           (iswdigit(static_cast<wint_t>(v[end])) || (hex && iswxdigit(static_cast<wint_t>(v[end]))))) {
      ++end;
    }
    if (end < v.size()) {
      Report(Rule::kNumberWithText, e.line,
             U8(Name(e)) + "=" + U8(v) + " reads as " + std::to_string(profile_.Int(name, Name(e), 0)) +
                 ": the number ends at \"" + U8(v.substr(end)) + "\", which the tool does not read");
    }
  }

  // What the reader makes of a number too large for 32 bits: it keeps the
  // low 32 bits. Empty when the text does not wrap.
  std::string Wrapped(const std::wstring& name, const Entry& e) const {
    const std::wstring v = profile_.String(name, Name(e), L"", 64);
    std::size_t i = 0;
    while (i < v.size() && v[i] >= L'0' && v[i] <= L'9') ++i;
    if (i == 0 || i < v.size() || v.size() > 20) return {};
    const auto whole = std::stold(ToUtf8(v));
    if (whole <= 4294967295.0L) return {};
    return " (" + U8(v) + " wraps to " + std::to_string(profile_.Int(name, Name(e), 0)) + ")";
  }

  // A count or a pause above the bound the tool holds it to.
  void CheckBound(const std::wstring& name, const Entry& e, bool pause) {
    const std::uint32_t n = profile_.Int(name, Name(e), 0);
    if (static_cast<std::int32_t>(n) < 0) return;
    if (pause && n > kLongestPause) {
      Report(Rule::kPauseTooLong, e.line,
             U8(Name(e)) + "=" + std::to_string(n) + Wrapped(name, e) + " is a pause of more than " +
                 std::to_string(kLongestPause) + " ms: the tool pauses " + std::to_string(kLongestPause) + " ms");
    } else if (!pause && n > kMostListEntries) {
      Report(Rule::kCountTooLarge, e.line,
             U8(Name(e)) + "=" + std::to_string(n) + Wrapped(name, e) + " is more than the " +
                 std::to_string(kMostListEntries) + " entries the tool reads; it reads " +
                 std::to_string(kMostListEntries));
    }
  }

  void CheckRoom(const std::wstring& name, const Entry& e, std::size_t room) {
    const std::wstring whole = profile_.String(name, Name(e), L"", Value(e).size() + 2);
    if (whole.size() > room) {
      Report(Rule::kValueCut, e.line,
             U8(Name(e)) + " is " + std::to_string(whole.size()) + " characters long and is cut to " +
                 std::to_string(room));
    }
  }

  void CheckGroup(const std::wstring& name, const Section& section, const CountGroup& g) {
    const Entry* countEntry = FindEntry(section, g.countKey);
    const std::uint32_t raw = profile_.Int(name, g.countKey, 0);
    const bool negative = static_cast<std::int32_t>(raw) < 0;
    const std::uint32_t count = negative ? 0 : raw;
    const std::size_t countLine = countEntry != nullptr ? countEntry->line : section.line;
    if (countEntry != nullptr) {
      CheckInteger(name, *countEntry);
      CheckBound(name, *countEntry, false);
    }
    if (negative) {
      Report(Rule::kNegativeCount, countLine,
             U8(g.countKey) + "=" + std::to_string(static_cast<std::int32_t>(raw)) + " is negative and means none");
    }
    if (EqualsNoCase(g.countKey, L"HWID") && count == 0) {
      Report(Rule::kCheckHwidNoCount, countLine,
             "CHECK_HWID in [" + U8(name) + "] has no HWID count, so the check always fails and stops the run");
    }
    // Numbered keys beyond the count are never read.
    for (const auto& e : Entries(section)) {
      const std::wstring key = Name(e);
      if (key.empty() || FindEntry(section, key) != &e) continue;
      for (const auto& k : g.keys) {
        bool zero = false;
        const auto n = KeyNumber(key, k.prefix, k.suffix, &zero);
        if (!n) continue;
        if (zero || *n == 0) {
          Report(Rule::kNumberedKeyNeverRead, e.line,
                 U8(key) + " is never read: numbers start at 1 and have no leading zeros");
        } else if (*n > count) {
          Report(Rule::kNumberedKeyNeverRead, e.line,
                 U8(key) + " is never read: " +
                     (countEntry != nullptr ? U8(g.countKey) + "=" + std::to_string(count) + " stops before it"
                                            : "there is no " + U8(g.countKey) + " count"));
        }
        break;
      }
    }
    // Numbered keys within the count.
    const std::uint32_t checked = std::min(count, kMostEntriesChecked);
    for (std::uint32_t n = 1; n <= checked; ++n) {
      for (const auto& k : g.keys) {
        const std::wstring key = KeyName(k, n);
        const Entry* e = FindEntry(section, key);
        const std::wstring value = profile_.String(name, key, L"", k.room + 1);
        if (e == nullptr || !e->hasValue) {
          // A missing hardware ID reads as the empty one, except DRIVER_REG's (DEFAULT_ID).
          if (k.id != IdRule::kNone && k.whenMissing == kReadAsEmpty) {
            CheckId(countLine, name, key, L"", "is missing and reads as empty", k);
          } else if (k.inf == InfRule::kKeyPathOfDelete || k.inf == InfRule::kValueNameOfDelete) {
            CheckInfEntry(countLine, name, key, L"", "is missing", k);
          } else if (k.required) {
            Report(
                Rule::kNumberedKeyMissing, countLine,
                U8(g.countKey) + "=" + std::to_string(count) + " but " + U8(key) + " is missing: " + U8(k.whenMissing));
          }
          continue;
        }
        CheckRoom(name, *e, k.room);
        CheckInfEntry(e->line, name, key, value, "is empty", k);
        if (value.empty()) {
          CheckId(e->line, name, key, value, "is empty", k);
          const bool deleteRule = k.inf == InfRule::kKeyPathOfDelete || k.inf == InfRule::kValueNameOfDelete;
          if (k.id == IdRule::kNone && !deleteRule && k.required) {
            Report(Rule::kNumberedKeyEmpty, e->line, U8(key) + " is empty: " + U8(k.whenMissing));
          }
          continue;
        }
        CheckId(e->line, name, key, value, "is " + U8(value), k);
        CheckFile(*e, k, value);
      }
    }
  }

  // A hardware ID the tool refuses, by the tool's own rule.
  void CheckId(std::size_t line, const std::wstring& name, const std::wstring& key, const std::wstring& value,
               const std::string& state, const NumberedKey& k) {
    if (k.id == IdRule::kNone || NamesDevices(value)) return;
    const std::string where = U8(key) + " in [" + U8(name) + "] " + state + ", which names no device";
    switch (k.id) {
      case IdRule::kNone: return;
      case IdRule::kNotFound:
        Report(Rule::kIdNamesNoDevice, line, where + ": the tool refuses it and finds no device for it");
        return;
      case IdRule::kNoRescanStop:
        Report(Rule::kIdNamesNoDevice, line,
               where + ": the tool refuses it, so it never keeps the rescan step from running");
        return;
      case IdRule::kSkipped:
        Report(Rule::kIdSkipped, line, where + ": the tool skips it and removes nothing for it");
        return;
    }
  }

  // An INF entry the tool leaves out, or a value the installer reads otherwise than it looks.
  void CheckInfEntry(std::size_t line, const std::wstring& name, const std::wstring& key, const std::wstring& value,
                     const std::string& state, const NumberedKey& k) {
    const std::string where = U8(key) + " in [" + U8(name) + "] " + state;
    switch (k.inf) {
      case InfRule::kNone: return;
      case InfRule::kKeyPathOfDelete:
        if (!StaticDeleteEntryIsWritten(value)) {
          Report(Rule::kDeleteWithoutKeyPath, line,
                 where +
                     ": without a key path the entry names the root, which the installer would empty; the "
                     "tool leaves the entry out");
        }
        return;
      case InfRule::kValueNameOfDelete:
        if (!DriverDeleteEntryIsWritten(value)) {
          Report(Rule::kDeleteWithoutValueName, line,
                 where +
                     ": without a value name the installer would delete the whole driver key with everything "
                     "below it; the tool leaves the entry out");
        }
        return;
      case InfRule::kValue: {
        // Outside quotation marks a ';' starts a comment, and a closing '\' joins the next line.
        bool quoted = false;
        for (std::size_t i = 0; i < value.size(); ++i) {
          const wchar_t c = value[i];
          if (c == L'"') quoted = !quoted;
          const bool afterBlank = i > 0 && (value[i - 1] == L' ' || value[i - 1] == L'\t');
          if (c == L';' && !quoted && !afterBlank) {
            Report(Rule::kInfValueSyntax, line,
                   U8(key) + " in [" + U8(name) +
                       "] holds ';': the INF installer reads the rest of the line as a "
                       "comment");
            break;
          }
        }
        if (!value.empty() && value.back() == L'\\') {
          Report(Rule::kInfValueSyntax, line,
                 U8(key) + " in [" + U8(name) +
                     "] ends with a backslash: the INF installer joins the next line "
                     "to this one");
        }
        return;
      }
      case InfRule::kFlags: {
        if (!value.empty() && !IsInfNumber(value)) {
          Report(Rule::kFlagsNotANumber, line,
                 U8(key) + "=" + U8(value) +
                     " is not a number: the installer reads 0 and writes the value as a string (REG_DWORD is "
                     "0x00010001)");
        }
        const std::wstring entryKey = key.substr(0, key.size() - std::wstring_view(L"FLAGS").size()) + L"ENTRYNAME";
        if (AddEntryDeletesKey(value, profile_.String(name, entryKey, L"", BufferFor(kRoomPath)))) {
          Report(Rule::kAddEntryDeletesKey, line,
                 U8(key) + "=" + U8(value) + " in [" + U8(name) +
                     "] is FLG_ADDREG_DELVAL without a value name: the installer would delete the whole key with "
                     "everything below it; the tool leaves the entry out");
        }
        return;
      }
      case InfRule::kRoot:
        if (!value.empty() && !IsInfRoot(value)) {
          Report(Rule::kUnknownRoot, line,
                 U8(key) + "=" + U8(value) +
                     " is not a root the INF syntax knows (HKLM, HKCU, HKCR, HKU): the "
                     "installer skips the entry");
        }
        return;
    }
  }

  static bool IsInfNumber(std::wstring_view v) {
    if (v.size() > 2 && v[0] == L'0' && (v[1] == L'x' || v[1] == L'X')) {
      return std::all_of(v.begin() + 2, v.end(), [](wchar_t c) { return iswxdigit(static_cast<wint_t>(c)) != 0; });
    }
    return std::all_of(v.begin(), v.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
  }

  static bool IsInfRoot(std::wstring_view v) {
    for (std::wstring_view root : {L"HKLM", L"HKCU", L"HKCR", L"HKU", L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER",
                                   L"HKEY_CLASSES_ROOT", L"HKEY_USERS"}) {
      if (EqualsNoCase(v, root)) return true;
    }
    return false;
  }

  void CheckFile(const Entry& e, const NumberedKey& k, const std::wstring& value) {
    if (!package_ || k.file == FileRule::kNone) return;
    // Paths that leave the package cannot be checked here.
    if (value.find(L':') != std::wstring::npos || value.front() == L'\\' || value.find(L"..") != std::wstring::npos) {
      return;
    }
    if (package_(value)) return;
    const std::size_t blank = value.find(L' ');
    if (k.file == FileRule::kBesideTool && blank != std::wstring::npos && package_(value.substr(0, blank))) {
      Report(Rule::kArgumentsInProgramPath, e.line,
             U8(value) +
                 ": the tool starts the whole text as one program path; its arguments belong in "
                 "CMD_PLUSARG (" +
                 U8(value.substr(blank + 1)) + ")");
      return;
    }
    if (k.file == FileRule::kBesideTool) {
      Report(Rule::kFileNotInPackage, e.line,
             U8(value) + " is not in the package beside the script: the command is skipped");
    } else {
      Report(Rule::kFileNotInPackage, e.line,
             U8(value) + " is not in the package beside the script, so it will not be in the install folder");
    }
  }

  static std::optional<std::wstring> AliasOrClosingDot(std::wstring_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find_first_of(L"\\/", start);
      if (end == std::wstring_view::npos) end = path.size();
      const std::wstring_view part = path.substr(start, end - start);
      start = end + 1;
      if (part.empty() || part == L"." || part == L"..") continue;
      if (part.back() == L'.' || part.back() == L' ') return std::wstring(part);
      const std::size_t tilde = part.find(L'~');
      if (tilde != std::wstring_view::npos && tilde + 1 < part.size() && part[tilde + 1] >= L'1' &&
          part[tilde + 1] <= L'9') {
        return std::wstring(part);
      }
    }
    return std::nullopt;
  }

  void CheckInstallSection(const std::wstring& name, const Section& section) {
    const Entry* dest = FindEntry(section, L"DESTDIR");
    const std::wstring destination = profile_.String(name, L"DESTDIR", L"VELTARO\\NetworkDriver", 260);
    const std::size_t destLine = dest != nullptr ? dest->line : section.line;
    // Windows reads an 8.3 alias as the folder it stands for, and drops a
    // closing dot or blank: the folder named is not the one written.
    if (auto part = AliasOrClosingDot(destination)) {
      Report(Rule::kDestdirRefused, destLine,
             "DESTDIR=" + U8(destination) + " has the component \"" + U8(*part) +
                 "\", which Windows reads as another folder (an 8.3 alias, or a closing dot or blank it drops); the "
                 "tool judges the folder Windows reaches");
    }
    switch (CheckInstallSubfolder(destination)) {
      case Subfolder::kOutsideTheRoot:
        Report(Rule::kDestdirRefused, destLine,
               "DESTDIR=" + U8(destination) +
                   " is refused: the install folder must be a folder under Program Files "
                   "(not empty, no drive, no leading backslash, no ..)");
        break;
      case Subfolder::kSharedByWindows:
        Report(Rule::kDestdirRefused, destLine,
               "DESTDIR=" + U8(destination) +
                   " is refused: it is a folder that Windows keeps under Program Files, and the install "
                   "folder is emptied before the copy");
        break;
      case Subfolder::kSafe:
        if (IsMakersFolder(destination)) {
          Report(Rule::kDestdirOneFolder, destLine,
                 "DESTDIR=" + U8(destination) +
                     " is one folder: a maker's folder of several products would sit there, and the tool "
                     "empties the install folder before the copy; name the product's own folder (" +
                     U8(destination) + "\\<product>)");
        }
        break;
    }
    const Entry* detect = FindEntry(section, L"DETECTCOUNT");
    if (detect != nullptr && profile_.Int(name, L"REFRESH", 0) != 1) {
      Report(Rule::kRescanKeysWithoutRefresh, detect->line,
             "DETECTCOUNT in [" + U8(name) + "] is read only with REFRESH=1");
    }
  }

  // COPY_FOLDERS: a destination under the install root stays under it, and
  // no folder is copied into itself.
  void CheckFolderSection(const std::wstring& name, const Section& section) {
    const bool underRoot = profile_.Int(name, L"DEST_IS_PROGRAMFOLDER", 0) != 0;
    const std::uint32_t count = std::min(profile_.Int(name, L"FOLDER", 0), kMostEntriesChecked);
    if (static_cast<std::int32_t>(count) <= 0) return;
    for (std::uint32_t n = 1; n <= count; ++n) {
      const std::wstring destKey = L"FOLDER" + std::to_wstring(n) + L"_DEST";
      const Entry* e = FindEntry(section, destKey);
      if (e == nullptr) continue;
      const std::wstring dest = profile_.String(name, destKey, L"", BufferFor(kRoomPath));
      const std::wstring source =
          profile_.String(name, L"FOLDER" + std::to_wstring(n) + L"_SRC", L"", BufferFor(kRoomPath));
      const bool absolute = source.size() >= 2 && (source[1] == L':' || (source[0] == L'\\' && source[1] == L'\\'));
      if (!source.empty() && !absolute) {
        Report(Rule::kRelativeSource, LineOf(section, L"FOLDER" + std::to_wstring(n) + L"_SRC"),
               "FOLDER" + std::to_string(n) + "_SRC=" + U8(source) +
                   " is relative: the tool reads it from its current folder, which the installer that starts it "
                   "chooses, not from the package");
      } else if (absolute && machines_ && !machines_(source)) {
        Report(Rule::kSourceOnNoMachine, LineOf(section, L"FOLDER" + std::to_wstring(n) + L"_SRC"),
               "FOLDER" + std::to_string(n) + "_SRC=" + U8(source) +
                   " is on none of the described machines: the copy of that pair fails");
      }
      if (underRoot && !dest.empty()) {
        if (CheckAppendedSubfolder(L"C:\\Program Files", dest) == Subfolder::kOutsideTheRoot) {
          Report(Rule::kCopyDestinationRefused, e->line,
                 U8(destKey) + "=" + U8(dest) +
                     " is refused: with DEST_IS_PROGRAMFOLDER the destination must be a folder under Program "
                     "Files (no drive or share, no .. that climbs out of it)");
        }
      } else if (auto folder = !dest.empty() ? FolderAnyUserMakes(dest) : std::nullopt) {
        Report(Rule::kFolderAnyUserMakes, e->line,
               U8(destKey) + "=" + U8(dest) + " lies in " + U8(*folder) +
                   ", which any user may make (or turn into a link to another folder) before the run; what is "
                   "copied there any user can change");
      }
      if (!underRoot && !dest.empty() && !source.empty() && PathIsInside(dest, source)) {
        Report(Rule::kCopyDestinationRefused, e->line,
               U8(destKey) + "=" + U8(dest) + " lies in its source " + U8(source) + ": the tool refuses the pair");
      }
    }
  }

  // ---- the text itself ----

  void CheckCharacters(std::wstring_view line) {
    for (wchar_t c : line) {
      if ((c < 0x20 && c != L'\t' && c != L'\r') || c == 0x7F) {
        Report(Rule::kControlCharacter, rawLine_,
               "line " + std::to_string(rawLine_) + " holds the control character " + EscapedControl(c));
        break;
      }
    }
  }

  // Without a byte-order mark Windows reads a script in the notebook's ANSI
  // code page. Text that is valid UTF-8 was saved so by its editor, and reads
  // otherwise on every notebook; and ANSI text reads differently on a
  // Japanese notebook (932) than on a Western one (1252).
  void CheckEncoding() {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data());
    const std::size_t n = bytes_.size();
    if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) return;
    std::size_t start = 0;
    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
      // Windows' profile functions read the mark as three characters of the
      // first line: a section header there is not one.
      start = 3;
      std::size_t i = start;
      while (i < n && (b[i] == ' ' || b[i] == '\t')) ++i;
      if (i < n && b[i] == '[') {
        Report(Rule::kUtf8Mark, 1,
               "the script begins with a UTF-8 byte-order mark: Windows reads it as three characters in front of "
               "the first section's header, so that section is not found");
      }
    }
    std::size_t line = 1;
    std::size_t firstLine = 0;
    bool validUtf8 = true;
    for (std::size_t i = start; i < n; ++i) {
      if (b[i] == '\n') ++line;
      if (b[i] < 0x80) continue;
      if (firstLine == 0) firstLine = line;
      const std::size_t length = b[i] >= 0xF0 && b[i] < 0xF5   ? 4
                                 : b[i] >= 0xE0 && b[i] < 0xF0 ? 3
                                 : b[i] >= 0xC2 && b[i] < 0xE0 ? 2
                                                               : 0;
      bool sequence = length != 0 && i + length <= n;
      for (std::size_t k = 1; sequence && k < length; ++k) sequence = (b[i + k] & 0xC0) == 0x80;
      if (!sequence) {
        validUtf8 = false;
        continue;
      }
      i += length - 1;
    }
    if (firstLine == 0) return;
    Report(Rule::kEncoding, firstLine,
           validUtf8 ? "line " + std::to_string(firstLine) +
                           (start == 0 ? " holds UTF-8 text without a byte-order mark" : " holds UTF-8 text") +
                           ": Windows reads the script in the notebook's ANSI code page (932 Japanese, 1252 "
                           "Western), where it reads as other characters"
                     : "line " + std::to_string(firstLine) +
                           " holds text of an ANSI code page: a notebook of another code page (932 Japanese, 1252 "
                           "Western) reads it as other characters");
  }

  static std::string EscapedControl(wchar_t c) {
    static const char* hex = "0123456789abcdef";
    return std::string("\\x") + hex[(c >> 4) & 15] + hex[c & 15];
  }

  // A value in which a ';' follows a blank looks like a value and a comment,
  // but the reader keeps both.
  void CheckCommentInValue(const Section& s, const Entry& e, const std::wstring& key) {
    if (!e.hasValue) return;
    const std::wstring value = Value(e);
    const std::size_t at = value.find(L';');
    if (at == std::wstring::npos || at == 0 || (value[at - 1] != L' ' && value[at - 1] != L'\t')) return;
    Report(Rule::kCommentInValue, e.line,
           U8(key) + " in [" + U8(Name(s)) + "] reads as \"" + U8(value) +
               "\": a ';' after a value is part of it, so the value is not " + U8(value.substr(0, at)));
  }

  // "; tvlint: ignore TV027 TV026" silences those rules on the next line that
  // is not a comment; on a section header, after the "]", on that line.
  // "; tvlint: ignore TV027" on a comment line holds for the next key line, on
  // a section header for that line.
  void ReadIgnores(std::wstring_view line) {
    const std::size_t n = rawLine_;
    constexpr std::wstring_view kMarker = L"tvlint: ignore";
    while (!line.empty() && (line.front() == L' ' || line.front() == L'\t')) line.remove_prefix(1);
    const bool comment = !line.empty() && line.front() == L';';
    const bool header = !line.empty() && line.front() == L'[';
    const std::size_t at = line.find(kMarker);
    std::set<std::string> ids;
    if (at != std::wstring_view::npos && (comment || (header && line.find(L']') < at))) {
      std::wstring_view rest = line.substr(at + kMarker.size());
      std::size_t pos = 0;
      while (pos < rest.size()) {
        while (pos < rest.size() && (rest[pos] == L' ' || rest[pos] == L',' || rest[pos] == L'\t')) ++pos;
        std::size_t end = pos;
        while (end < rest.size() && rest[end] != L' ' && rest[end] != L',' && rest[end] != L'\t' &&
               rest[end] != L'\r') {
          ++end;
        }
        if (end > pos) {
          const std::string id = U8(rest.substr(pos, end - pos));
          if (const RuleInfo* rule = FindRule(id)) {
            ids.insert(std::string(rule->id));
          } else {
            Report(Rule::kUnknownRuleInIgnore, n, "tvlint: ignore names " + id + ", which is no rule ID");
          }
        }
        pos = end;
      }
    }
    if (header) ignored_[n].insert(ids.begin(), ids.end());
    if (comment) {
      pendingIgnores_.insert(ids.begin(), ids.end());
      return;
    }
    if (line.empty() || line == L"\r") return;
    if (!pendingIgnores_.empty()) ignored_[n].insert(pendingIgnores_.begin(), pendingIgnores_.end());
    pendingIgnores_.clear();
  }

  void ApplyIgnores() {
    std::erase_if(findings_, [&](const Finding& f) {
      auto it = ignored_.find(f.line);
      return f.rule != InfoOf(Rule::kUnknownRuleInIgnore).id && it != ignored_.end() && it->second.contains(f.rule);
    });
  }

  // ---- sections no command reads ----

  void CheckUnreadSections() {
    for (const auto& [name, section] : sections_) {
      if (EqualsNoCase(name, L"INIT") || reads_.contains(name)) continue;
      CheckListsOfUnreadSection(name, *section);
      std::string reason;
      for (const auto& owner : owners_) {
        if (!IsVariantOf(name, owner.section)) continue;
        reason = NeverSelected(name, owner);
        if (!reason.empty()) break;
      }
      if (reason.empty()) {
        Report(Rule::kSectionNotRead, section->line, "section [" + U8(name) + "] is not read by any command");
      } else {
        Report(Rule::kVariantNeverSelected, section->line, reason);
      }
    }
  }

  // What can be known of a section no command reads (its name misspelt in
  // CMDn_SECTION, say): the lists in it are held to their counts all the same.
  void CheckListsOfUnreadSection(const std::wstring& name, const Section& section) {
    std::set<std::wstring_view> checked;
    for (const auto& command : kCommands) {
      for (const KeySet* keys : {command.keys, command.deviceSection}) {
        if (keys == nullptr) continue;
        for (const auto& g : keys->groups) {
          if (FindEntry(section, g.countKey) == nullptr || !checked.insert(g.countKey).second) continue;
          CheckGroup(name, section, g);
        }
      }
    }
  }

  std::string NeverSelected(const std::wstring& name, const Owner& owner) const {
    const std::wstring suffix = Suffix(name, owner.section);
    const std::string head = "section [" + U8(name) + "] is never selected: " + U8(owner.reader) + " ";
    switch (owner.rules->variant) {
      case Variant::kRegion:
        if (suffix.size() != 1) return head + "picks [" + U8(owner.section) + "_<region code>], one character";
        return head + "stops looking after the first 2600 characters of section names";
      case Variant::kUiLanguage:
        if (!VariantFits(*owner.rules, suffix)) {
          return head + "picks [" + U8(owner.section) + "_<UI language>], four hexadecimal digits such as 0411";
        }
        return head + "stops looking after the first 2600 characters of section names";
      case Variant::kOsClass: return head + "reads only the endings _2000, _XP and _VISTA";
      case Variant::kDeviceId:
        return head + "reads [" + U8(owner.section) + "_<hardware ID>] only for the IDs its DEV keys list";
      case Variant::kPlain: return head + "reads [" + U8(owner.section) + "] and no variant of it";
      case Variant::kNoSection: break;
    }
    return {};
  }

  std::string_view bytes_;
  ParsedProfile::Builder builder_;
  ParsedProfile profile_;
  std::size_t rawLine_ = 0;
  std::map<std::size_t, std::set<std::string>> ignored_;  // rule IDs by the line they hold for
  std::set<std::string> pendingIgnores_;                  // for the next key line
  std::wstring baseName_;
  const PackageLookup& package_;
  const PackageListing& topLevel_;
  const PathLookup& machines_;
  const PackageReader& reader_;
  std::span<const DescribedMachine> described_;
  std::map<std::wstring, const Section*, LessNoCase> sections_;  // the first of each name
  std::set<std::wstring, LessNoCase> visibleSections_;
  std::map<std::wstring, Use, LessNoCase> reads_;
  std::vector<Owner> owners_;
  std::vector<Finding> findings_;
  bool only32Bit_ = false;
  bool companionChecked_ = false;  // the companion is looked for once, at the first command that needs it  // a
                                   // CHECK_WOW6432 has run: what follows runs on 32-bit Windows only
};

}  // namespace

std::vector<Finding> LintScript(std::wstring_view text, std::wstring_view baseName, const PackageLookup& package,
                                const PackageListing& listing, const PathLookup& machines, std::string_view bytes,
                                const PackageReader& reader, std::span<const DescribedMachine> described) {
  Linter linter(baseName, package, listing, machines, bytes, reader, described);
  ForEachProfileLine(text, [&linter](std::wstring_view line) { linter.AddLine(line); });
  return linter.Run();
}

std::optional<std::vector<Finding>> LintHostScript(const std::filesystem::path& script, const PathLookup& machines,
                                                   std::span<const DescribedMachine> described) {
  std::error_code kind;
  if (std::filesystem::is_directory(script, kind)) return std::nullopt;
  std::string bytes;
  if (!sim::ReadHostFile(script, bytes)) return std::nullopt;
  const std::filesystem::path folder = std::filesystem::absolute(script).parent_path();
  const PackageLookup inPackage = [&folder](std::wstring_view relative) {
    std::string p = ToUtf8(relative);
    for (auto& c : p) c = c == '\\' ? '/' : c;
    std::error_code error;
    return std::filesystem::exists(folder / sim::PathFromUtf8(p), error);
  };
  const PackageListing listing = [&folder]() {
    std::vector<std::wstring> names;
    std::error_code e;
    for (auto it = std::filesystem::directory_iterator(folder, e); !e && it != std::filesystem::directory_iterator();
         it.increment(e)) {
      names.push_back(FromUtf8(sim::Utf8FromPath(it->path().filename())));
    }
    return names;
  };
  const PackageReader read = [&folder](std::wstring_view relative) -> std::optional<std::string> {
    std::string p = ToUtf8(relative);
    for (auto& c : p) c = c == '\\' ? '/' : c;
    std::string content;
    if (!sim::ReadHostFile(folder / sim::PathFromUtf8(p), content)) return std::nullopt;
    return content;
  };
  Linter linter(FromUtf8(sim::Utf8FromPath(script.stem())), inPackage, listing, machines, bytes, read, described);
  // Scripts are ANSI text of the notebook's code page or UTF-16; names and
  // keys are ASCII, so the Western code page reads them the same.
  sim::DecodeProfileLines({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 1252,
                          [&linter](std::wstring_view line) { linter.AddLine(line); });
  return linter.Run();
}

std::vector<std::wstring_view> KnownKeywords() {
  std::vector<std::wstring_view> out;
  for (const auto& c : kCommands) out.push_back(c.keyword);
  return out;
}

int ExitCode(std::span<const Finding> findings) {
  int code = 0;
  for (const auto& f : findings) code = std::max(code, f.severity == Severity::kError ? 2 : 1);
  return code;
}

std::string EscapeControlCharacters(std::string_view text, bool keepLineEnds) {
  std::string out;
  static const char* hex = "0123456789abcdef";
  for (unsigned char c : text) {
    const bool lineEnd = c == '\n' || c == '\r' || c == '\t';
    if ((c < 0x20 || c == 0x7F) && !(keepLineEnds && lineEnd)) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string FormatFindings(std::string_view file, std::span<const Finding> findings) {
  std::string out;
  for (const auto& f : findings) {
    out += EscapeControlCharacters(std::string(file)) + ":" + std::to_string(f.line) + ": " +
           (f.severity == Severity::kError ? "error " : "warning ") + (f.rule.empty() ? "" : f.rule + ": ") +
           EscapeControlCharacters(f.reason) + "\n";
  }
  return out;
}

nlohmann::json FindingsJson(std::span<const FileFindings> files) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& file : files) {
    for (const auto& f : file.findings) {
      out.push_back({{"file", file.file},
                     {"line", f.line},
                     {"severity", f.severity == Severity::kError ? "error" : "warning"},
                     {"rule", f.rule},
                     {"message", f.reason}});
    }
  }
  return out;
}

nlohmann::json FindingsSarif(std::span<const FileFindings> files, std::string_view version) {
  nlohmann::json rules = nlohmann::json::array();
  for (const auto& r : Rules()) {
    rules.push_back({{"id", std::string(r.id)},
                     {"shortDescription", {{"text", std::string(r.title)}}},
                     {"help", {{"text", std::string(r.advice)}}},
                     {"helpUri", "docs/setup-script.md#" + ToLowerAsciiNarrow(r.id)},
                     {"defaultConfiguration", {{"level", r.severity == Severity::kError ? "error" : "warning"}}}});
  }
  nlohmann::json results = nlohmann::json::array();
  for (const auto& file : files) {
    for (const auto& f : file.findings) {
      std::size_t index = 0;
      for (std::size_t i = 0; i < Rules().size(); ++i) {
        if (Rules()[i].id == f.rule) index = i;
      }
      results.push_back({{"ruleId", f.rule},
                         {"ruleIndex", index},
                         {"level", f.severity == Severity::kError ? "error" : "warning"},
                         {"message", {{"text", f.reason}}},
                         {"locations",
                          {{{"physicalLocation",
                             {{"artifactLocation", {{"uri", file.file}}}, {"region", {{"startLine", f.line}}}}}}}}});
    }
  }
  return {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
          {"version", "2.1.0"},
          {"runs",
           {{{"tool",
              {{"driver",
                {{"name", "tarnvale-sim lint"},
                 {"version", std::string(version)},
                 {"informationUri", "docs/setup-script.md"},
                 {"rules", rules}}}}},
             {"results", results}}}}};
}

}  // namespace tv::lint
