#include <gtest/gtest.h>

#include "platform/format.h"

namespace tv {
namespace {

TEST(Format, ConvertsAsTheUserLibraryFormatter) {
  const std::wstring name = L"drv";
  EXPECT_EQ(Format(L"%s:Debug mode is enabled.\n", name), L"drv:Debug mode is enabled.\n");
  EXPECT_EQ(Format(L"%04x", 0x411), L"0411");
  EXPECT_EQ(Format(L"%d|%u|%x|%X", -1, -1, -1, 255), L"-1|4294967295|ffffffff|FF");
  EXPECT_EQ(Format(L"CMD%d_SECTION", 12), L"CMD12_SECTION");
  EXPECT_EQ(Format(L"[%5d][%-5d][%05d]", 42, 42, -42), L"[   42][42   ][-0042]");
  EXPECT_EQ(Format(L"[%8s][%-4s][%.2s]", L"ab", L"ab", L"abcdef"), L"[      ab][ab  ][ab]");
  EXPECT_EQ(Format(L"100%% %c", static_cast<int>(L'J')), L"100% J");
  EXPECT_EQ(Format(L"%#x %lu %I64d", 0x1f, 7U, std::int64_t{1} << 40), L"0x1f 7 1099511627776");
  // Integers are 32 bits wide unless the format says I64.
  EXPECT_EQ(Format(L"%d", std::int64_t{1} << 32), L"0");
}

TEST(Format, CutsToTheRoom) {
  EXPECT_EQ(FormatCut(5, L"%s-%s", L"abc", L"def"), L"abc-d");
  EXPECT_EQ(FormatCut(3, L"%d", 123456), L"123");
  EXPECT_EQ(Format(L"%s", std::wstring(2000, L'x')).size(), kRoomFormatter);
}

}  // namespace
}  // namespace tv

namespace tv {
namespace {

// Found by fuzzing: a width of many digits overflowed and asked for an
// enormous padding.
TEST(Format, HugeWidthsAndPrecisionsAreHeldAtTheFormattersLimit) {
  const fmt::Arg arg{fmt::ArgKind::kString, L"ab", 0};
  const auto out =
      fmt::FormatArgs(L"%66666666666666666666666666666663s|%.99999999999999999999d", std::span(&arg, 1), 511);
  EXPECT_EQ(out.size(), 511U);
  EXPECT_EQ(out.substr(out.size() - 2), L"  ");
}

}  // namespace
}  // namespace tv
