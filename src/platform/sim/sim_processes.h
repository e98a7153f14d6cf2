// The simulated machine's files and processes as the tool's seam sees them.
// Private to the simulated machine.
#pragma once

#include "platform/sim/sim_machine.h"

namespace tv::sim {

class SimMachine::Files final : public IFileSystem {
 public:
  explicit Files(SimMachine& m) : m_(m) {}
  Result<std::unique_ptr<IPrivateFolder>> CreatePrivateFolder(std::wstring_view parent) override;
  bool Exists(std::wstring_view path) override;
  Result<std::unique_ptr<IFileWriter>> CreateNewFile(std::wstring_view path) override;
  WinError DeleteFile(std::wstring_view path) override;
  Result<std::uint32_t> Attributes(std::wstring_view path) override;
  WinError SetAttributes(std::wstring_view path, std::uint32_t attributes) override;
  Result<std::vector<FoundEntry>> Find(std::wstring_view pattern) override;
  WinError CreateDirectory(std::wstring_view path) override;
  WinError RemoveDirectory(std::wstring_view path) override;
  WinError CopyFile(std::wstring_view source, std::wstring_view destination) override;
  Result<std::uint64_t> FileSize(std::wstring_view path) override;
  Result<std::wstring> LinkTarget(std::wstring_view path) override;
  Result<std::wstring> LongPath(std::wstring_view path) override;
  Result<bool> ChangeableByOthers(std::wstring_view path) override;
  Result<std::vector<std::uint8_t>> ReadAll(std::wstring_view path, std::uint64_t maxBytes) override;

 private:
  SimMachine& m_;
};

class SimMachine::Processes final : public IProcesses {
 public:
  explicit Processes(SimMachine& m) : m_(m) {}
  Result<std::unique_ptr<IProcess>> Create(std::wstring_view commandLine, std::uint32_t creationFlags,
                                           std::wstring_view currentDirectory) override;
  Result<std::unique_ptr<IPsapi>> LoadPsapi() override;
  Result<std::unique_ptr<IToolhelp>> LoadToolhelp() override;
  Result<std::unique_ptr<ITerminableProcess>> OpenForTermination(std::uint32_t processId) override;

  // The file that a command line starts, by the search rules of CreateProcessW
  // and WOW64 redirection, and the arguments after it.
  struct Resolved {
    std::wstring image;
    std::wstring arguments;
  };
  std::optional<Resolved> Resolve(std::wstring_view commandLine) const;

 private:
  void RunSystemProgram(const Resolved& program);
  SimMachine& m_;
};

}  // namespace tv::sim
