#include "sim/lint_rules.h"

#include <algorithm>
#include <array>

namespace tv::lint {

namespace {

using S = Severity;
using R = Rule;

constexpr std::array kRules{
    RuleInfo{R::kNoInit, "TV001", S::kError, "no [INIT] section", "add [INIT] with CMD1, CMD2, ..."},
    RuleInfo{R::kNoCommands, "TV002", S::kError, "no CMD1", "number the commands from CMD1"},
    RuleInfo{R::kCommandNeverRuns, "TV003", S::kError, "a command never runs",
             "close the gap in the numbering; at most 64 commands run"},
    RuleInfo{R::kBlankAfterDot, "TV004", S::kError, "a blank after the dot of a suffix",
             "write the suffix right after the dot: CMD_CP.X64"},
    RuleInfo{R::kUnknownKeyword, "TV005", S::kError, "unknown keyword", "check the spelling against the keywords"},
    RuleInfo{R::kUnknownSuffix, "TV006", S::kWarning, "not a platform suffix",
             "use .X32, .X64, .WOW64 or .WOW6432, or no suffix"},
    RuleInfo{R::kSectionNotUsed, "TV007", S::kWarning, "a section for a command that reads none",
             "remove the CMDn_SECTION"},
    RuleInfo{R::kNoCommandSection, "TV008", S::kError, "the command needs a section", "add CMDn_SECTION"},
    RuleInfo{R::kMissingSection, "TV009", S::kError, "the command section is missing",
             "add the section, or fix its name in CMDn_SECTION"},
    RuleInfo{R::kMissingPlainSection, "TV010", S::kWarning, "no plain section beside the variants",
             "add the plain section as the fall-back for other regions and languages"},
    RuleInfo{R::kMissingOsSections, "TV011", S::kError, "none of the Windows-version sections",
             "add [S_2000], [S_XP] and [S_VISTA] as the notebooks need"},
    RuleInfo{R::kMissingDeviceSection, "TV012", S::kWarning, "no driver-key section for a listed device",
             "add [S_<hardware ID>] or drop the DEVn"},
    RuleInfo{R::kKeyNotRead, "TV013", S::kWarning, "no command reads the key",
             "a misspelt key, or one for another command"},
    RuleInfo{R::kNumberedKeyNeverRead, "TV014", S::kWarning, "a numbered key is never read",
             "raise the count, number from 1, drop leading zeros"},
    RuleInfo{R::kSectionKeyWithoutCommand, "TV015", S::kWarning, "CMDn_SECTION without CMDn",
             "add the command or remove the key"},
    RuleInfo{R::kForcedRegion, "TV016", S::kWarning, "only the first character of FORCE_REGION counts",
             "write the one region character"},
    RuleInfo{R::kKeyBeforeSection, "TV017", S::kWarning, "a key before the first section", "move it into a section"},
    RuleInfo{R::kRepeatedSection, "TV018", S::kWarning, "a section appears again", "merge the sections"},
    RuleInfo{R::kRepeatedKey, "TV019", S::kWarning, "a key appears again", "keep one"},
    RuleInfo{R::kNotANumber, "TV020", S::kWarning, "not a number: reads as 0", "write the number"},
    RuleInfo{R::kNegativeCount, "TV021", S::kWarning, "a negative count means none", "write the count you mean"},
    RuleInfo{R::kCountTooLarge, "TV022", S::kError, "a count past the tool's bound of 100000",
             "write the count you mean"},
    RuleInfo{R::kPauseTooLong, "TV023", S::kError, "a pause past the tool's bound of ten minutes",
             "write the pause in milliseconds you mean"},
    RuleInfo{R::kValueCut, "TV024", S::kWarning, "a value longer than its room is cut", "shorten the value"},
    RuleInfo{R::kCheckHwidNoCount, "TV025", S::kError, "CHECK_HWID without a count always fails", "add HWID=n"},
    RuleInfo{R::kNumberedKeyMissing, "TV026", S::kWarning, "a numbered key within the count is missing",
             "add the key or lower the count"},
    RuleInfo{R::kNumberedKeyEmpty, "TV027", S::kWarning, "a numbered key within the count is empty",
             "fill it in or lower the count"},
    RuleInfo{R::kIdNamesNoDevice, "TV028", S::kError, "a hardware ID that names no device",
             "write a whole hardware ID; an empty one or a bus alone is refused"},
    RuleInfo{R::kDeleteWithoutKeyPath, "TV029", S::kError, "a delete entry without a key path",
             "name the key to delete; the tool leaves the entry out"},
    RuleInfo{R::kDeleteWithoutValueName, "TV030", S::kError, "a driver-key delete entry without a value name",
             "name the value to delete; the tool leaves the entry out"},
    RuleInfo{R::kInfValueSyntax, "TV031", S::kWarning, "an INF value that the installer reads otherwise",
             "quote the value: ';' starts a comment, a closing '\\' joins the next line"},
    RuleInfo{R::kFileNotInPackage, "TV032", S::kWarning, "a file that is not in the package",
             "add the file, or fix the path (relative to the tool's folder or the install folder)"},
    RuleInfo{R::kDestdirRefused, "TV033", S::kError, "DESTDIR is refused",
             "a folder of your own under Program Files, such as VELTARO\\NetworkDriver"},
    RuleInfo{R::kDestdirOneFolder, "TV034", S::kError, "DESTDIR of one folder",
             "name the product's own folder: VELTARO\\<product>"},
    RuleInfo{R::kRescanKeysWithoutRefresh, "TV035", S::kWarning, "DETECTCOUNT without REFRESH=1",
             "set REFRESH=1 or remove the DETECT keys"},
    RuleInfo{R::kCopyDestinationRefused, "TV036", S::kError, "a COPY_FOLDERS destination is refused",
             "a folder of your own under Program Files, outside the source"},
    RuleInfo{R::kVariantNeverSelected, "TV037", S::kWarning, "a variant section is never selected",
             "one region character, four UI-language digits, _2000/_XP/_VISTA, or an ID from DEVn"},
    RuleInfo{R::kSectionNotRead, "TV038", S::kWarning, "no command reads the section",
             "a left-over, or a command that lost its CMDn"},
    RuleInfo{R::kOnlyPlainOsSection, "TV039", S::kError, "INSTALL_DRIVER has only its plain section",
             "name the sections [S_2000], [S_XP], [S_VISTA]: on those systems the plain one is never read"},
    RuleInfo{R::kCommentInValue, "TV040", S::kWarning, "a ';' after a blank is part of the value",
             "remove the comment; only a line that begins with ';' is one"},
    RuleInfo{R::kRelativeSource, "TV041", S::kWarning, "a relative COPY_FOLDERS source",
             "write the full path; a relative one is read from the tool's current folder"},
    RuleInfo{R::kFlagsNotANumber, "TV042", S::kError, "ADDREGn_FLAGS that is not a number",
             "write the number: 0x00010001 for a DWORD, 0 for a string"},
    RuleInfo{R::kUnknownRoot, "TV043", S::kError, "a registry root that the INF syntax does not know",
             "HKLM, HKCU, HKCR or HKU"},
    RuleInfo{R::kNumberWithText, "TV044", S::kWarning, "a number followed by other text",
             "write the number alone; 2s reads as 2"},
    RuleInfo{R::kNoLanguageRegFile, "TV045", S::kWarning, "REG_FILE_UILANG without any <language>.reg",
             "add 0409.reg, 0411.reg and the others the notebooks need"},
    RuleInfo{R::kArgumentsInProgramPath, "TV046", S::kWarning, "arguments after a program path",
             "move the arguments into CMD_PLUSARG"},
    RuleInfo{R::kUnknownRuleInIgnore, "TV047", S::kWarning, "an unknown rule ID in a tvlint comment",
             "name rule IDs such as TV027"},
    RuleInfo{R::kControlCharacter, "TV048", S::kWarning, "a control character in the script",
             "remove it; the linter shows it escaped"},
    RuleInfo{R::kSourceOnNoMachine, "TV049", S::kWarning, "a COPY_FOLDERS source on none of the described machines",
             "fix the path, or describe a machine that has it"},
    RuleInfo{R::kIdSkipped, "TV050", S::kError, "a REMOVE_DRIVER hardware ID that names no device",
             "write the whole hardware ID of the device to remove, or drop the entry"},
    RuleInfo{R::kEncoding, "TV051", S::kWarning, "non-ASCII text that notebooks read otherwise",
             "save the script as UTF-16 (Unicode), or keep its text ASCII"},
    RuleInfo{R::kPathReadOtherwise, "TV052", S::kWarning, "a path to delete that Windows reads as another",
             "write the full path of the file as Windows names it: no .., no closing dots or blanks, no \\\\?\\"},
    RuleInfo{R::kUtf8Mark, "TV053", S::kError, "a UTF-8 byte-order mark in front of the first section",
             "save the script as ANSI or as UTF-16 (Unicode): Windows reads no UTF-8"},
    RuleInfo{R::kChangesEveryRun, "TV054", S::kWarning, "the command changes the machine again on every run",
             "a package run twice (a retry after a time-out) changes it twice; keep the command only if that is meant"},
    RuleInfo{R::kOsSectionMissing, "TV055", S::kError, "no INSTALL_DRIVER section for a Windows the command runs on",
             "add the section, or keep the command off that Windows (a suffix, CHECK_WOW6432 before it)"},
    RuleInfo{R::kNoCompanion, "TV056", S::kWarning, "device commands on 64-bit Windows without the companion",
             "put tarnvale64.exe from the release beside the tool as <name>64.exe, or keep the commands off 64-bit "
             "Windows (.X32, CHECK_WOW6432 before them)"},
    RuleInfo{R::kFolderAnyUserMakes, "TV057", S::kWarning,
             "a path to delete or write in a folder that any user may make at the root of a drive",
             "keep what the tool deletes and writes under Program Files (DEST_IS_PROGRAMFOLDER=1) or the Windows "
             "folder, where only administrators can make folders"},
    RuleInfo{R::kAddEntryDeletesKey, "TV058", S::kError, "an ADDREG entry that would delete a whole key",
             "name the value to delete in ADDREGn_ENTRYNAME, or delete the key with a DELREG entry of its own"},
    RuleInfo{R::kInfUnreadable, "TV059", S::kError, "a driver package's INF that SetupAPI cannot open",
             "give [Version] the line Signature=\"$Windows NT$\", close every section name with ], and put no line "
             "before the first section"},
    RuleInfo{R::kInfNoModelsForWindows, "TV060", S::kWarning,
             "an INF with no models section for a Windows the command runs on",
             "decorate the [Manufacturer] entry for that Windows (NTx86, NTamd64, with a version where it matters) "
             "and add the models section it names"},
    RuleInfo{R::kInfNoLineForId, "TV061", S::kWarning, "an INF none of whose models lines carries the hardware ID",
             "add a line with the ID to the models section of each Windows, or list the INF the device's driver is "
             "in"},
    RuleInfo{R::kInfPackageIncomplete, "TV062", S::kError,
             "a driver file or the catalog that the INF names is not in the package",
             "put the files the install section copies and the catalog that [Version] names into the package, "
             "where [SourceDisksNames] and [SourceDisksFiles] say they are"},
    RuleInfo{R::kInfReplacesBetterDriver, "TV063", S::kWarning,
             "the forced update puts a driver over one that ranks better (with --machine)",
             "ship the newer driver, or leave the device out of DEVn on machines that have a better one"},
};

}  // namespace

std::span<const RuleInfo> Rules() { return kRules; }

const RuleInfo& InfoOf(Rule rule) {
  return *std::find_if(kRules.begin(), kRules.end(), [&](const RuleInfo& r) { return r.rule == rule; });
}

const RuleInfo* FindRule(std::string_view id) {
  for (const auto& r : kRules) {
    if (r.id.size() == id.size() && std::equal(r.id.begin(), r.id.end(), id.begin(), [](char a, char b) {
          return (a >= 'a' && a <= 'z' ? a - 32 : a) == (b >= 'a' && b <= 'z' ? b - 32 : b);
        })) {
      return &r;
    }
  }
  return nullptr;
}

}  // namespace tv::lint
