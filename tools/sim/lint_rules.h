// The linter's rules: a stable ID for each kind of finding, its severity, what
// it says in short and what to do. The reference in docs/setup-script.md lists
// the same table; a test holds the two together.
#pragma once

#include <span>
#include <string_view>

namespace tv::lint {

enum class Severity { kWarning, kError };

enum class Rule {
  kNoInit,
  kNoCommands,
  kCommandNeverRuns,
  kBlankAfterDot,
  kUnknownKeyword,
  kUnknownSuffix,
  kSectionNotUsed,
  kNoCommandSection,
  kMissingSection,
  kMissingPlainSection,
  kMissingOsSections,
  kMissingDeviceSection,
  kKeyNotRead,
  kNumberedKeyNeverRead,
  kSectionKeyWithoutCommand,
  kForcedRegion,
  kKeyBeforeSection,
  kRepeatedSection,
  kRepeatedKey,
  kNotANumber,
  kNegativeCount,
  kCountTooLarge,
  kPauseTooLong,
  kValueCut,
  kCheckHwidNoCount,
  kNumberedKeyMissing,
  kNumberedKeyEmpty,
  kIdNamesNoDevice,
  kDeleteWithoutKeyPath,
  kDeleteWithoutValueName,
  kInfValueSyntax,
  kFileNotInPackage,
  kDestdirRefused,
  kDestdirOneFolder,
  kRescanKeysWithoutRefresh,
  kCopyDestinationRefused,
  kVariantNeverSelected,
  kSectionNotRead,
  kOnlyPlainOsSection,
  kCommentInValue,
  kRelativeSource,
  kFlagsNotANumber,
  kUnknownRoot,
  kNumberWithText,
  kNoLanguageRegFile,
  kArgumentsInProgramPath,
  kUnknownRuleInIgnore,
  kControlCharacter,
  kSourceOnNoMachine,
  kIdSkipped,
  kEncoding,
  kPathReadOtherwise,
  kUtf8Mark,
  kChangesEveryRun,
  kOsSectionMissing,
  kNoCompanion,
  kFolderAnyUserMakes,
  kAddEntryDeletesKey,
  kInfUnreadable,
  kInfNoModelsForWindows,
  kInfNoLineForId,
  kInfPackageIncomplete,
  kInfReplacesBetterDriver,
};

struct RuleInfo {
  Rule rule;
  std::string_view id;  // "TV012"
  Severity severity;
  std::string_view title;
  std::string_view advice;
};

std::span<const RuleInfo> Rules();
const RuleInfo& InfoOf(Rule rule);
// The rule of an ID such as "TV012" (case ignored), or none.
const RuleInfo* FindRule(std::string_view id);

}  // namespace tv::lint
