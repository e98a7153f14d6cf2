// Every run context of the process asks for the short (8.3) form of the
// tool's own folder. That folder cannot be renamed while the tool's image in
// it is running, so its short form does not change during a run: the first
// answer serves them all. Each asking costs a directory search per component
// of the path, which is most of what the run contexts cost at start-up.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace tv {

class CModuleFolderCache final : public ISystem {
 public:
  explicit CModuleFolderCache(ISystem& inner) : inner_(inner) {}

  // Kept when it succeeds; a failure is not, so the next asking tries again.
  Result<std::wstring> ShortPath(std::wstring_view path) override;

  bool CreateHiddenMainWindow() override { return inner_.CreateHiddenMainWindow(); }
  std::wstring ModulePath() override { return inner_.ModulePath(); }
  std::wstring CommandLine() override { return inner_.CommandLine(); }
  Result<OsVersionRecord> OsVersion() override { return inner_.OsVersion(); }
  std::uint16_t UiLanguage() override { return inner_.UiLanguage(); }
  std::uint32_t AnsiCodePage() override { return inner_.AnsiCodePage(); }
  Result<bool> IsWow64Process() override { return inner_.IsWow64Process(); }
  Result<std::unique_ptr<IKernel32>> LoadKernel32() override { return inner_.LoadKernel32(); }
  NamedMutex CreateNamedMutex(std::wstring_view name) override { return inner_.CreateNamedMutex(name); }
  std::optional<std::wstring> Environment(std::wstring_view name) override { return inner_.Environment(name); }
  void Pause(std::uint32_t milliseconds) override { inner_.Pause(milliseconds); }
  Result<std::wstring> ProgramFilesFolder() override { return inner_.ProgramFilesFolder(); }
  Result<std::wstring> SystemDirectory() override { return inner_.SystemDirectory(); }
  Result<std::wstring> WindowsDirectory() override { return inner_.WindowsDirectory(); }
  std::uint32_t TickCount() override { return inner_.TickCount(); }
  bool SystemDllLoads(std::wstring_view name) override { return inner_.SystemDllLoads(name); }
  WinError OpenNamedMutex(std::wstring_view name, bool* madeByAdministrators) override {
    return inner_.OpenNamedMutex(name, madeByAdministrators);
  }

 private:
  ISystem& inner_;
  std::optional<std::wstring> moduleFolder_;
  std::optional<std::wstring> shortModuleFolder_;
};

}  // namespace tv
