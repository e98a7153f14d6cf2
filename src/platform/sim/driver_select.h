// Driver selection as Windows makes it from one INF for one device: the
// [Manufacturer] entry's models section for the machine's Windows, the models
// lines whose IDs fit the device's, their rank, and what the chosen driver's
// install needs from its package. The simulated driver update, the rescan
// and the linter share it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/inf_file.h"

namespace tv::sim {

// The Windows a driver is chosen for.
struct DriverTarget {
  std::uint32_t major = 5;
  std::uint32_t minor = 1;
  bool amd64 = false;             // 64-bit Windows (x64)
  std::uint32_t productType = 1;  // VER_NT_WORKSTATION: a notebook's Windows
};

// "2000", "XP", "Vista", "Windows 7" ... with "64-bit" where it is.
std::wstring TargetName(const DriverTarget& target);

// A driver's date and version as DriverVer gives them; the date as yyyymmdd.
struct DriverVer {
  std::uint32_t date = 0;
  std::array<std::uint32_t, 4> version{};
};
// "mm/dd/yyyy[,w.x.y.z]"; none when the date cannot be read.
std::optional<DriverVer> ParseDriverVer(std::wstring_view text);
std::wstring DateText(std::uint32_t date);                          // "2008-06-01"
std::wstring DriverDateValue(std::uint32_t date);                   // "6-1-2008", as Windows writes DriverDate
std::optional<std::uint32_t> ParseIsoDate(std::wstring_view text);  // "2008-06-01"
std::wstring VersionText(const std::array<std::uint32_t, 4>& version);
std::optional<std::array<std::uint32_t, 4>> ParseVersion(std::wstring_view text);

// Rank as Windows computes it: lower is better. The identifier part: a
// device hardware ID on the line's hardware ID from 0x0000, on one of the
// line's compatible IDs from 0x1000, a device compatible ID on the line's
// hardware ID from 0x2000, on a compatible ID from 0x3000, by the position
// of the IDs in their lists; an unsigned driver adds 0x8000.
inline constexpr std::uint32_t kRankUnsigned = 0x8000;
// The identifier rank of `matchingId` for a device with these IDs; none when
// it is none of them.
std::optional<std::uint32_t> IdRank(std::wstring_view matchingId, const std::vector<std::wstring>& hardwareIds,
                                    const std::vector<std::wstring>& compatibleIds);

struct DriverNode {
  std::wstring manufacturer;    // the [Manufacturer] line's name, substituted
  std::wstring modelsSection;   // the models section it came from, as Windows formed its name
  std::wstring description;     // the models line's device description, substituted
  std::wstring installSection;  // as the models line names it
  std::wstring actualInstall;   // with the platform extension Windows chose (.NTamd64, .NTx86, .NT)
  std::wstring matchingId;      // the device's ID that fitted
  bool byCompatibleId = false;  // the fit used a compatible ID on either side
  std::uint32_t rank = 0;       // identifier rank, plus kRankUnsigned when unsigned
  DriverVer driverVer;
  bool signedDriver = true;
};

// The driver a device has, as a node to rank a new one against: its
// matching ID among the device's IDs (last where the device no longer
// carries it), signed or not, its date and version.
DriverNode InstalledDriverNode(std::wstring_view matchingId, const DriverVer& driverVer, bool signedDriver,
                               const std::vector<std::wstring>& hardwareIds,
                               const std::vector<std::wstring>& compatibleIds);

// True when `a` ranks better than `b`: the lower rank, then the newer date,
// then the higher version.
bool RanksBetter(const DriverNode& a, const DriverNode& b);

enum class DriverMiss {
  kNone,
  kNoModelsForPlatform,  // no [Manufacturer] entry gives a models section for this Windows
  kNoLineForDevice,      // models sections there are, but no line carries one of the device's IDs
};

struct DriverSearch {
  std::optional<DriverNode> best;
  DriverMiss miss = DriverMiss::kNone;
  std::vector<std::wstring> modelsSections;  // the sections read for this Windows
  std::wstring why;                          // when there is no best: why, in words
};

// The best driver node of this INF for a device; `signedDriver` says whether
// Windows counts the package as signed (its catalog is there).
DriverSearch FindDriver(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                        const std::vector<std::wstring>& hardwareIds, const std::vector<std::wstring>& compatibleIds,
                        bool signedDriver);

// The catalog file that [Version] names for this Windows (CatalogFile.NTamd64,
// .NTx86 or .NT before the plain CatalogFile); empty when it names none.
std::wstring CatalogFileName(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target);

// The source files the install section copies, as paths relative to the
// INF's folder (through [SourceDisksNames] and [SourceDisksFiles] and their
// platform variants).
std::vector<std::wstring> SourceFiles(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                                      std::wstring_view actualInstall);

// Every models section that this INF's [Manufacturer] gives for the target,
// with the reason when none.
std::vector<std::wstring> ModelsSectionsFor(const InfText& inf, const InfDirectories& dirs, const DriverTarget& target,
                                            std::wstring* why = nullptr);

}  // namespace tv::sim
