// The keywords of the setup script. Adding a keyword is one row here and one
// handler beside the action that does its work.
#include <array>

#include "script/command.h"
#include "script/machine_checks.h"

namespace tv {

namespace {
constexpr std::array kKeywords{
    KeywordRow{L"CHECK_WOW6432", &HandleCheckWow6432},
    KeywordRow{L"CHECK_VENDOR", &HandleCheckVendor},
};
}  // namespace

std::span<const KeywordRow> KeywordTable() { return kKeywords; }

}  // namespace tv
