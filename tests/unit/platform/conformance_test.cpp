// The host implementations against the answers of the shared conformance
// table, which the Wine tests hold Windows' own functions to as well.
#include <gtest/gtest.h>

#include "../../conformance/tables.h"
#include "platform/format.h"
#include "platform/shell_path.h"
#include "platform/sim/ansi.h"
#include "platform/sim/full_path.h"
#include "platform/sim/inf_file.h"
#include "platform/sim/sim_machine.h"

namespace tv::conformance {
namespace {

std::wstring PathOf(int file) {
  return std::wstring(L"C:\\conf\\") + ProfileFiles()[static_cast<std::size_t>(file)].name;
}

void WriteFiles(sim::SimMachine& m) {
  m.ansiCodePage = 1252;
  for (std::size_t i = 0; i < ProfileFiles().size(); ++i) {
    const auto& f = ProfileFiles()[i];
    std::string bytes;
    switch (f.encoding) {
      case Encoding::kAnsi:
        for (wchar_t c : f.text) bytes += static_cast<char>(c);
        break;
      case Encoding::kUtf16Le: bytes = "\xFF\xFE" + sim::EncodeUtf16Le(f.text); break;
      case Encoding::kUtf8Bom: bytes = "\xEF\xBB\xBF" + ToUtf8(f.text); break;
      case Encoding::kMissing: continue;
    }
    m.files.WriteFile(PathOf(static_cast<int>(i)), bytes);
  }
}

TEST(Conformance, HostProfileReaderGivesWindowsAnswers) {
  sim::SimMachine m;
  WriteFiles(m);
  IProfile& p = m.platform().profile;
  for (const auto& c : StringCases()) {
    EXPECT_EQ(p.ReadString(PathOf(c.file), c.section, c.key, c.defaultValue, c.bufferChars), c.expected)
        << c.file << " " << ToUtf8(c.section) << "/" << ToUtf8(c.key) << " buffer " << c.bufferChars;
  }
  for (const auto& c : IntCases()) {
    EXPECT_EQ(p.ReadInt(PathOf(c.file), c.section, c.key, c.defaultValue), c.expected) << ToUtf8(c.key);
  }
  for (const auto& c : NamesCases()) {
    EXPECT_EQ(p.ReadSectionNames(PathOf(c.file), c.bufferChars), c.expected) << c.file << " buffer " << c.bufferChars;
  }
}

TEST(Conformance, HostPathHelpersGiveShellAnswers) {
  for (const auto& c : PathCases()) {
    std::wstring got;
    switch (c.function) {
      case PathFunction::kStripPath: got = shell::StripPath(c.input); break;
      case PathFunction::kRemoveFileSpec: got = shell::RemoveFileSpec(c.input); break;
      case PathFunction::kFindExtension: got = shell::Extension(c.input); break;
      case PathFunction::kRemoveExtension: got = shell::RemoveExtension(c.input); break;
      case PathFunction::kGetArgs: got = shell::GetArgs(c.input); break;
      case PathFunction::kRenameExtensionIni:
        got = shell::RenameExtension(c.input, L".ini").value_or(L"<failed>");
        break;
    }
    EXPECT_EQ(got, c.expected) << static_cast<int>(c.function) << " " << ToUtf8(c.input);
  }
}

TEST(Conformance, SimulatedFilesAreFoundUnderTheNamesWindowsAccepts) {
  sim::SimMachine m;
  m.files.WriteFile(L"C:\\conf\\net\\wlan.inf", std::string_view("x"));
  for (const auto& c : FileNameCases()) {
    const std::wstring path = std::wstring(L"C:\\conf\\") + c.lookup;
    // As the tool reaches it: through the machine's file functions.
    EXPECT_EQ(static_cast<bool>(m.platform().files.Attributes(path)), c.found) << ToUtf8(c.lookup);
  }
}

TEST(Conformance, SimulatedFullPathsAreWindowsOwn) {
  for (const auto& c : FullPathCases()) {
    EXPECT_EQ(ToUtf8(sim::FullPathName(c.path, L"C:\\windows")), ToUtf8(c.full)) << ToUtf8(c.path);
  }
}

TEST(Conformance, HostFormatterGivesUserLibraryAnswers) {
  for (const auto& c : FormatCases()) {
    const fmt::Arg arg =
        c.stringArgument ? fmt::Arg{fmt::ArgKind::kString, c.text, 0} : fmt::Arg{fmt::ArgKind::kInteger, {}, c.number};
    EXPECT_EQ(fmt::FormatArgs(c.format, std::span(&arg, 1), kRoomFormatter), c.expected) << ToUtf8(c.format);
  }
}

TEST(Conformance, SimulatedRegistryReadsIntoRoomsAsTheSeamDoes) {
  sim::SimMachine m;
  IRegistry& registry = m.platform().registry;
  int n = 0;
  for (const auto& c : RegistryRoomCases()) {
    auto key = registry.CreateKey(RegRoot::kCurrentUser, L"Software\\Room" + std::to_wstring(n++), reg::kKeyAllAccess);
    ASSERT_TRUE(key);
    ASSERT_EQ((*key)->SetValue(L"V", reg::kTypeBinary, c.data), err::kSuccess);
    const auto got = (*key)->QueryValue(L"V", c.room);
    EXPECT_EQ(got ? L"ok " + std::to_wstring(got->data.size()) : std::to_wstring(got.error()), c.answer)
        << "room " << c.room;
  }
}

// The simulator's INF reader against the answers SetupAPI gives.
TEST(Conformance, HostInfReaderGivesSetupApiAnswers) {
  std::vector<sim::InfParse> opened;
  for (const auto& f : InfFiles()) {
    std::string bytes;
    if (f.encoding == Encoding::kUtf16Le) {
      bytes = "\xFF\xFE" + sim::EncodeUtf16Le(f.text);
    } else {
      for (wchar_t c : f.text) bytes += static_cast<char>(c);
    }
    opened.push_back(sim::OpenInf({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, 1252));
  }
  for (const auto& c : InfOpenCases()) {
    const auto& o = opened[static_cast<std::size_t>(c.file)];
    EXPECT_EQ(o.inf ? 0U : o.error, c.error) << ToUtf8(InfFiles()[c.file].name);
    if (c.error != 0) {
      EXPECT_EQ(o.errorLine, c.line) << ToUtf8(InfFiles()[c.file].name);
    }
  }
  sim::InfDirectories dirs;
  dirs.windows = L"C:\\WINDOWS";
  dirs.language = 0x0409;
  for (const auto& c : InfFieldCases()) {
    const auto& inf = opened[static_cast<std::size_t>(c.file)].inf;
    ASSERT_TRUE(inf);
    std::wstring got = L"<none>";
    if (const auto* section = sim::FindSection(*inf, c.section)) {
      if (const auto* line = sim::FindLine(*section, c.key))
        got = sim::Field(*line, c.field, *inf, dirs).value_or(L"<none>");
    }
    std::wstring expected = c.expected;
    if (const auto at = expected.find(L"%WINDOWS%"); at != std::wstring::npos) expected.replace(at, 9, dirs.windows);
    EXPECT_EQ(got, expected) << ToUtf8(c.key) << " field " << c.field;
  }
}

}  // namespace
}  // namespace tv::conformance
