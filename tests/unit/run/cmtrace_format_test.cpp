// tarnvale-run's log entries as CMTrace reads them.
#include <gtest/gtest.h>

#include "run/cmtrace_format.h"

namespace tv::run {
namespace {

TEST(CmtraceFormat, AnEntryIsOneLineCmtraceReads) {
  const LogTime pacific{2026, 12, 9, 7, 5, 3, 42, 480};
  EXPECT_EQ(CmtraceEntry(L"Version=PV715J01 Region=J", L"netsetup", 1, 1234, pacific),
            "<![LOG[Version=PV715J01 Region=J]LOG]!><time=\"07:05:03.042+480\" date=\"12-09-2026\" "
            "component=\"netsetup\" context=\"\" type=\"1\" thread=\"1234\" file=\"\">\r\n");
  // East of Greenwich the bias is negative; line ends in a message become
  // blanks; the entry's own end marker in a text cannot end it early; text
  // outside ASCII is UTF-8.
  const LogTime tokyo{2026, 1, 2, 23, 59, 59, 999, -540};
  const std::string entry = CmtraceEntry(L"HKLM, \"a\"\n]LOG]!><x \u30c6", L"net\"setup", 3, 7, tokyo);
  EXPECT_EQ(entry,
            "<![LOG[HKLM, \"a\" ]LOG] !><x \xE3\x83\x86]LOG]!><time=\"23:59:59.999-540\" date=\"01-02-2026\" "
            "component=\"netsetup\" context=\"\" type=\"3\" thread=\"7\" file=\"\">\r\n");
}

}  // namespace
}  // namespace tv::run
