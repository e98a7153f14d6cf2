#include "runtime/run_context.h"

#include "platform/shell_path.h"
#include "platform/text.h"

namespace tv {

std::uint32_t OsClassOf(const OsVersionRecord& v) {
  switch (v.platformId) {
    case 0: return os_class::kWin32s;
    case 1:
      if (v.minor == 0) return os_class::kWin95;
      if (v.minor == 10) return os_class::kWin98;
      if (v.minor == 90) return os_class::kWinMe;
      return os_class::kOther;
    case 2:
      if (v.major <= 4) return os_class::kNt4;
      if (v.major == 5) {
        if (v.minor == 0) return os_class::kWin2000;
        if (v.minor == 1) return os_class::kXp;
        if (v.minor == 2) return os_class::kServer2003;
        return os_class::kOther;
      }
      if (v.major == 6) return os_class::kVista;
      return os_class::kOther;
    default: return os_class::kOther;
  }
}

CRunContext::CRunContext(const Platform& platform) : platform_(platform) {
  ISystem& sys = platform.system;
  const std::wstring fullModulePath = sys.ModulePath();
  modulePathCut = fullModulePath.size() > kRoomPath;
  modulePath = CutTo(fullModulePath, kRoomPath);
  exeFileName = shell::StripPath(modulePath);
  baseName = shell::RemoveExtension(exeFileName);
  moduleDirectory = shell::RemoveFileSpec(modulePath);
  if (auto s = sys.ShortPath(moduleDirectory)) shortModuleDirectory = CutTo(*s, kRoomPath);
  registryFilePath = shell::RenameExtension(modulePath, L".reg").value_or(modulePath);
  setupScriptPath = shell::RenameExtension(modulePath, L".ini").value_or(modulePath);
  arguments = CutTo(shell::GetArgs(sys.CommandLine()), kRoomPath);
  QueryProductValue(L"Version", &version);
  QueryProductValue(L"Vendor", &vendor);
  ClassifyOs();
  uiLanguage = 0;
  uiLanguage = sys.UiLanguage();
}

int CRunContext::QueryProductValue(std::wstring_view property, std::wstring* output) {
  if (output == nullptr) return 0;
  const std::wstring name(property);
  auto answers = platform_.product.QueryComputerSystemProduct(std::span(&name, 1));
  if (answers.empty() || !answers.front()) return 0;
  *output = CutTo(*answers.front(), kRoomPath);
  return 1;
}

int CRunContext::ClassifyOs() {
  auto v = platform_.system.OsVersion();
  if (!v) return 0;
  osClass = OsClassOf(*v);
  return 1;
}

std::wstring CRunContext::RegionCode() const {
  if (version.size() <= kRegionCodeIndex) return {};
  return version.substr(kRegionCodeIndex, 1);
}

}  // namespace tv
