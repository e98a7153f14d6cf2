#include <gtest/gtest.h>

#include "platform/profile_text.h"
#include "platform/sim/ansi.h"
#include "platform/sim/sim_machine.h"

namespace tv::sim {
namespace {

constexpr std::wstring_view kFile = L"C:\\T\\tool.ini";

class ProfileReading : public ::testing::Test {
 protected:
  std::wstring Read(std::wstring_view section, std::wstring_view key, std::size_t buffer = 520,
                    std::wstring_view def = L"<default>") {
    return machine.platform().profile.ReadString(kFile, section, key, def, buffer);
  }
  void Write(std::string_view text) { machine.files.WriteFile(kFile, text); }
  SimMachine machine;
};

TEST_F(ProfileReading, NamesBlanksQuotesAndComments) {
  Write(
      "; a comment line\r\n"
      "  [Init]  \r\n"
      "  cmd1_section =  Reg  \r\n"
      "CMD2=\"quoted value\"\r\n"
      "CMD3='single'\r\n"
      "CMD4=\"unbalanced\r\n"
      "CMD5=\r\n"
      "CMD6\r\n"
      ";CMD7=commented\r\n"
      "CMD8=first\r\n"
      "CMD8=second\r\n"
      "[INIT]\r\n"
      "CMD9=in a second section of the same name\r\n");
  EXPECT_EQ(Read(L"INIT", L"CMD1_SECTION"), L"Reg");
  EXPECT_EQ(Read(L"init", L"Cmd1_Section"), L"Reg");
  EXPECT_EQ(Read(L"INIT", L"CMD2"), L"quoted value");
  EXPECT_EQ(Read(L"INIT", L"CMD3"), L"single");
  EXPECT_EQ(Read(L"INIT", L"CMD4"), L"\"unbalanced");
  EXPECT_EQ(Read(L"INIT", L"CMD5"), L"");
  EXPECT_EQ(Read(L"INIT", L"CMD6"), L"<default>");  // a line without "=" has no value
  EXPECT_EQ(Read(L"INIT", L"CMD7"), L"<default>");
  EXPECT_EQ(Read(L"INIT", L"CMD8"), L"first");
  EXPECT_EQ(Read(L"INIT", L"CMD9"), L"<default>");  // only the first section of a name is read
  EXPECT_EQ(Read(L"NOSUCH", L"CMD1"), L"<default>");
}

TEST_F(ProfileReading, ValuesAreCutToTheirRoom) {
  Write("[S]\nLONG=" + std::string(600, 'v') + "\nQ=\"abcdef\"\n");
  EXPECT_EQ(Read(L"S", L"LONG"), std::wstring(519, L'v'));
  // A quoted value that is cut keeps no closing quotation mark to remove; the
  // mark is counted against the buffer, so a value that just fits loses its last character.
  EXPECT_EQ(Read(L"S", L"Q", 4), L"abc");
  EXPECT_EQ(Read(L"S", L"Q", 7), L"abcde");
  EXPECT_EQ(Read(L"S", L"Q", 8), L"abcdef");
  EXPECT_EQ(Read(L"S", L"MISSING", 4, L"long default"), L"lon");
}

TEST_F(ProfileReading, MissingFileReadsAsEmpty) {
  EXPECT_EQ(Read(L"INIT", L"CMD1", 520, L""), L"");
  EXPECT_EQ(machine.platform().profile.ReadInt(kFile, L"S", L"N", 7), 7U);
  EXPECT_TRUE(machine.platform().profile.ReadSectionNames(kFile, 1024).empty());
}

TEST_F(ProfileReading, IntegersAreDecimalWithSign) {
  Write("[S]\nA=12\nB=-1\nC= 42abc\nD=0x10\nE=\nF=+5\n");
  IProfile& p = machine.platform().profile;
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"A", 0), 12U);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"B", 0), 0xFFFFFFFFU);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"C", 0), 42U);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"D", 0), 16U);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"E", 9), 9U);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"F", 0), 5U);
  EXPECT_EQ(p.ReadInt(kFile, L"S", L"G", 3), 3U);
}

TEST_F(ProfileReading, SectionNamesInFileOrderCutToTheBuffer) {
  Write("[INIT]\n[Reg]\n[Reg_0411]\n");
  IProfile& p = machine.platform().profile;
  EXPECT_EQ(p.ReadSectionNames(kFile, 1024), (std::vector<std::wstring>{L"INIT", L"Reg", L"Reg_0411"}));
  EXPECT_EQ(p.ReadSectionNames(kFile, 10), (std::vector<std::wstring>{L"INIT", L"Reg"}));
}

TEST_F(ProfileReading, ReadsUtf16AndTheAnsiCodePageButNoUtf8) {
  // UTF-16LE with its byte-order mark.
  machine.files.WriteFile(kFile, "\xFF\xFE" + EncodeUtf16Le(L"[S]\r\nK=\x30E2\x30C7\x30E0\r\n"));
  EXPECT_EQ(Read(L"S", L"K"), L"\x30E2\x30C7\x30E0");
  // UTF-8 with its byte-order mark: Windows reads no UTF-8. The mark is
  // three ANSI characters in front of the header, which is then none.
  Write("\xEF\xBB\xBF[S]\nK=caf\xC3\xA9\n");
  EXPECT_EQ(Read(L"S", L"K"), L"<default>");
  Write("\xEF\xBB\xBF\n[S]\nK=caf\xC3\xA9\n");
  EXPECT_EQ(Read(L"S", L"K"), L"caf\xC3\xA9");
  // No mark: Windows-1252 unless the machine's code page is another.
  Write("[S]\nK=caf\xE9\x81\x80\n");  // 0x81 is undefined in 1252 and kept as U+0081
  EXPECT_EQ(Read(L"S", L"K"), L"caf\xE9\x81\x20AC");
  machine.ansiCodePage = 932;
  Write("[S]\nK=\x83\x82\x83\x66\x83\x80\n");
  EXPECT_EQ(Read(L"S", L"K"), L"\x30E2\x30C7\x30E0");
  // A trail byte in the ASCII range belongs to its lead byte (0x5C is no
  // backslash there), and a half-width kana is one byte.
  Write(
      "[S]\nK=a\x83\x5C\xB1"
      "b\n");
  EXPECT_EQ(Read(L"S", L"K"),
            L"a\x30BD\xFF71"
            L"b");
}

TEST_F(ProfileReading, ParsesOncePerChangeOfTheFile) {
  Write("[INIT]\nCMD1=A\n");
  EXPECT_EQ(Read(L"INIT", L"CMD1"), L"A");
  EXPECT_EQ(Read(L"INIT", L"CMD1"), L"A");
  EXPECT_EQ(Read(L"INIT", L"CMD2"), L"<default>");
  EXPECT_EQ(machine.profileParses, 1);
  Write("[INIT]\nCMD1=B\n");  // changed during the run: seen by the next read
  EXPECT_EQ(Read(L"INIT", L"CMD1"), L"B");
  EXPECT_EQ(machine.profileParses, 2);
}

// Names and values are packed to hold large scripts: whatever characters the
// decoded text has come back as they were, names of any script compare
// without ASCII case only, and reading a line at a time gives what reading
// the whole text gives, whatever ends the lines.
// What a debugger gets of the tool's text: the ANSI code page's bytes, a
// letter it lacks as its best fit, anything else as "?".
TEST(AnsiCodePage, LettersTheCodePageLacksAsTheirBestFit) {
  EXPECT_EQ(sim::EncodeAnsi(L"\u0141\u00F3d\u017A \u30E2\u30C7\u30E0", 1252),
            "L\xF3"
            "dz ???");
  EXPECT_EQ(sim::EncodeAnsi(L"\u0141\u00F3d\u017A", 1250),
            "\xA3\xF3"
            "d\x9F");  // Central Europe has them
  EXPECT_EQ(sim::EncodeAnsi(L"\u0141", 932), "?");
}

TEST(ParsedProfile, PackedTextComesBackAsItWas) {
  const std::wstring text =
      L"[\x30BB\x30AF\x30B7\x30E7\x30F3]\r\n"
      L"\x30AD\x30FC=\x5024\r\n"
      L"odd=\xD800 lone \xDFFF\r\n"
      L"wide=\x1F600 \xE9\x7F\r\n"
      L"K=first\r\nk=second\r\n"
      L"[caf\xE9]\nX=1\n[CAF\xC9]\nX=2\rY=3\r";
  const auto p = ParsedProfile::Parse(text);
  const std::wstring section = L"\x30BB\x30AF\x30B7\x30E7\x30F3";
  EXPECT_EQ(p.String(section, L"\x30AD\x30FC", L"", 520), L"\x5024");
  EXPECT_EQ(p.String(section, L"ODD", L"", 520), L"\xD800 lone \xDFFF");
  EXPECT_EQ(p.String(section, L"wide", L"", 520), std::wstring(L"\x1F600 \xE9\x7F"));
  EXPECT_EQ(p.String(section, L"k", L"", 520), L"first");
  // ASCII case only: E-acute and its capital are two names, as for Windows' reader.
  EXPECT_EQ(p.String(L"CAF\xE9", L"X", L"", 520), L"1");
  EXPECT_EQ(p.String(L"caf\xC9", L"X", L"", 520), L"2");
  // With no line feed left, a carriage return ends a line.
  EXPECT_EQ(p.String(L"caf\xC9", L"Y", L"", 520), L"3");
  ASSERT_EQ(p.sections().size(), 4U);
  EXPECT_EQ(p.Name(p.sections()[1]), section);
  EXPECT_EQ(p.Entries(p.sections()[1]).size(), 5U);

  // The same file read a line at a time from its bytes, in each encoding.
  for (const unsigned codePage : {1252U, 932U}) {
    const std::string bytes = "[S]\r\nA=caf\xE9\r\n\x83\x5C=\x83\x82\r\nB=2";
    const auto span = std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ParsedProfile::Builder builder;
    DecodeProfileLines(span, codePage, [&builder](std::wstring_view line) { builder.AddLine(line); });
    const auto byLine = builder.Finish();
    const auto whole = ParsedProfile::Parse(DecodeProfileFile(span, codePage));
    for (const auto* key : {L"A", L"B"})
      EXPECT_EQ(byLine.String(L"S", key, L"-", 520), whole.String(L"S", key, L"-", 520));
    EXPECT_EQ(byLine.SectionNames(100), whole.SectionNames(100));
  }
  const std::string wide = "\xFF\xFE" + EncodeUtf16Le(L"[S]\r\nA=\x30E2\r\n");
  ParsedProfile::Builder builder;
  DecodeProfileLines(std::span(reinterpret_cast<const std::uint8_t*>(wide.data()), wide.size()), 1252,
                     [&builder](std::wstring_view line) { builder.AddLine(line); });
  EXPECT_EQ(builder.Finish().String(L"S", L"A", L"", 520), L"\x30E2");
}

}  // namespace
}  // namespace tv::sim
