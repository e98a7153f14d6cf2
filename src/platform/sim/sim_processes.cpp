#include "platform/sim/sim_processes.h"

#include "platform/format.h"
#include "platform/shell_path.h"
#include "platform/sim/ansi.h"
#include "platform/sim/full_path.h"
#include "platform/sim/sim_programs.h"

namespace tv::sim {

namespace {

class SimFileWriter final : public IFileWriter {
 public:
  SimFileWriter(SimMachine& m, std::wstring path) : m_(m), path_(std::move(path)) {}
  WinError Write(std::span<const std::uint8_t> bytes) override {
    if (auto e = m_.faults.Take("WriteFile", path_)) return *e;
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    m_.files.WriteFile(path_, bytes_);
    return err::kSuccess;
  }
  WinError Close() override {
    if (auto e = m_.faults.Take("CloseFile", path_)) return *e;
    return err::kSuccess;
  }

 private:
  SimMachine& m_;
  std::wstring path_;
  std::vector<std::uint8_t> bytes_;
};

class SimProcessHandle final : public IProcess {
 public:
  SimProcessHandle(SimMachine& m, std::size_t started, std::optional<std::uint32_t> runningId)
      : m_(m), started_(started), runningId_(runningId) {}
  Result<std::uint32_t> ExitCode() override {
    if (auto e = m_.faults.Take("GetExitCodeProcess", m_.started[started_].image))
      return Result<std::uint32_t>::Fail(*e);
    return Result<std::uint32_t>::Ok(m_.started[started_].exitCode);
  }
  void WaitForExit() override {
    m_.started[started_].waitedFor = true;
    for (const auto& p : m_.processes) {
      // The real tool would wait here for good; the machine counts it, or
      // ends the run here.
      if (!runningId_ || p.id != *runningId_ || !p.running) continue;
      ++m_.hungWaits;
      if (m_.endRunAtHang) throw ProgramNeverEnds{p.image, L""};
    }
  }

 private:
  SimMachine& m_;
  std::size_t started_;
  std::optional<std::uint32_t> runningId_;
};

class SimPsapi final : public IPsapi {
 public:
  explicit SimPsapi(SimMachine& m) : m_(m) {}
  bool HasFunctions() const override { return m_.psapiHasFunctions; }
  Result<std::vector<std::uint32_t>> EnumProcesses(std::size_t capacity) override {
    if (auto e = m_.faults.Take("EnumProcesses")) return Result<std::vector<std::uint32_t>>::Fail(*e);
    std::vector<std::uint32_t> ids;
    for (const auto& p : m_.processes) {
      if (p.running && ids.size() < capacity) ids.push_back(p.id);
    }
    return Result<std::vector<std::uint32_t>>::Ok(ids);
  }
  Result<std::unique_ptr<IOpenedProcess>> Open(std::uint32_t processId) override;

 private:
  SimMachine& m_;
};

// The handle names the process record, not its ID: a record that ended stays
// the one this handle ends, whatever runs under its ID later.
class SimOpenedProcess final : public IOpenedProcess {
 public:
  SimOpenedProcess(SimMachine& m, std::size_t index, bool mayTerminate)
      : m_(m), index_(index), mayTerminate_(mayTerminate) {}
  std::optional<std::wstring> FirstModuleBaseName() override {
    const auto& p = m_.processes[index_];
    if (!p.running || (p.is64 && m_.Wow64Process())) return std::nullopt;
    std::wstring name = p.image;
    if (m_.afterProcessNameRead) m_.afterProcessNameRead(p.id);
    return name;
  }
  bool MayTerminate() const override { return mayTerminate_; }
  bool Terminate(std::uint32_t) override {
    auto& p = m_.processes[index_];
    if (!mayTerminate_ || !p.running) return false;  // an ended process denies it
    if (m_.faults.Take("TerminateProcess", p.image)) return false;
    p.running = false;
    return true;
  }

 private:
  SimMachine& m_;
  std::size_t index_;
  bool mayTerminate_;
};

Result<std::unique_ptr<IOpenedProcess>> SimPsapi::Open(std::uint32_t processId) {
  using R = Result<std::unique_ptr<IOpenedProcess>>;
  for (std::size_t i = 0; i < m_.processes.size(); ++i) {
    const auto& p = m_.processes[i];
    if (p.id != processId || !p.running) continue;
    if (p.queryDenied) return R::Fail(err::kAccessDenied);
    const bool mayTerminate = !m_.faults.Take("OpenProcess", p.image);
    return R::Ok(std::make_unique<SimOpenedProcess>(m_, i, mayTerminate));
  }
  return R::Fail(err::kInvalidParameter);
}

class SimToolhelp final : public IToolhelp {
 public:
  explicit SimToolhelp(SimMachine& m) : m_(m) {}
  bool HasFunctions() const override { return m_.toolhelpHasFunctions; }
  Result<std::vector<std::uint32_t>> SnapshotProcesses() override {
    if (auto e = m_.faults.Take("CreateToolhelp32Snapshot", L"processes")) {
      return Result<std::vector<std::uint32_t>>::Fail(*e);
    }
    std::vector<std::uint32_t> ids;
    for (const auto& p : m_.processes) {
      if (p.running) ids.push_back(p.id);
    }
    return Result<std::vector<std::uint32_t>>::Ok(ids);
  }
  Result<std::vector<std::wstring>> SnapshotModules(std::uint32_t processId) override {
    if (auto e = m_.faults.Take("CreateToolhelp32Snapshot", L"modules")) {
      return Result<std::vector<std::wstring>>::Fail(*e);
    }
    for (const auto& p : m_.processes) {
      if (p.id == processId) return Result<std::vector<std::wstring>>::Ok({p.image, L"KERNEL32.DLL"});
    }
    return Result<std::vector<std::wstring>>::Fail(err::kInvalidParameter);
  }

 private:
  SimMachine& m_;
};

class SimTerminable final : public ITerminableProcess {
 public:
  SimTerminable(SimMachine& m, std::uint32_t id) : m_(m), id_(id) {}
  bool Terminate(std::uint32_t) override {
    for (auto& p : m_.processes) {
      if (p.id != id_) continue;
      if (m_.faults.Take("TerminateProcess", p.image)) return false;
      p.running = false;
      return true;
    }
    return false;
  }

 private:
  SimMachine& m_;
  std::uint32_t id_;
};

}  // namespace

// ---- files ----

namespace {
// Paths of MAX_PATH characters or more are refused, as Windows refuses them
// without the \\?\ prefix; the full path counts, not what the caller wrote.
bool TooLong(std::wstring_view written, std::wstring_view full) {
  return !written.starts_with(L"\\\\?\\") && full.size() > kRoomPath;
}
// A closing separator asks for a folder: Windows will not open a file so.
bool NamesAFileAsAFolder(const SimFileSystem& files, std::wstring_view path) {
  return path.size() > 3 && path.back() == L'\\' && files.Exists(path) && !files.IsDirectory(path);
}
}  // namespace

std::wstring SimMachine::ToolPath(std::wstring_view path) const {
  const std::wstring cwd = currentDirectory.empty() ? shell::RemoveFileSpec(modulePath) : currentDirectory;
  return RedirectedPath(PathToOpen(path, cwd.empty() ? L"C:\\" : cwd));
}

bool SimMachine::InUse(std::wstring_view path) const {
  if (!modulePath.empty() && EqualsNoCase(SimFileSystem::Normalized(path), SimFileSystem::Normalized(modulePath))) {
    return true;
  }
  for (const auto& open : filesInUse) {
    if (EqualsNoCase(SimFileSystem::Normalized(path), SimFileSystem::Normalized(open))) return true;
  }
  return false;
}

bool SimMachine::Files::Exists(std::wstring_view pathIn) {
  // An empty path names no file (GetFileAttributesW fails), not the current folder.
  if (pathIn.empty()) return false;
  const std::wstring path = m_.ToolPath(pathIn);
  // GetFileAttributesW finds nothing past MAX_PATH either.
  return !TooLong(pathIn, path) && m_.files.Exists(path) && !NamesAFileAsAFolder(m_.files, path);
}

Result<std::unique_ptr<IFileWriter>> SimMachine::Files::CreateNewFile(std::wstring_view pathIn) {
  const std::wstring path = m_.ToolPath(pathIn);
  using R = Result<std::unique_ptr<IFileWriter>>;
  if (auto e = m_.faults.Take("CreateFile", pathIn)) return R::Fail(*e);
  if (NamesAFileAsAFolder(m_.files, path)) return R::Fail(err::kInvalidName);
  if (!m_.files.IsDirectory(shell::RemoveFileSpec(path))) return R::Fail(err::kPathNotFound);
  if (m_.files.IsDirectory(path)) return R::Fail(err::kAccessDenied);
  if (m_.files.Exists(path) && m_.InUse(path)) return R::Fail(err::kSharingViolation);
  m_.files.RemoveFile(path);
  m_.files.WriteFile(path, std::string_view{});
  return R::Ok(std::make_unique<SimFileWriter>(m_, std::wstring(path)));
}

WinError SimMachine::Files::DeleteFile(std::wstring_view pathIn) {
  const std::wstring path = m_.ToolPath(pathIn);
  if (auto e = m_.faults.Take("DeleteFile", pathIn)) return *e;
  if (TooLong(pathIn, path)) return err::kFilenameExcedRange;
  if (NamesAFileAsAFolder(m_.files, path)) return err::kInvalidName;
  // The running tool's own image is mapped: Windows denies deleting it; a
  // file another process holds open without delete sharing is in use.
  if (m_.files.Exists(path) && !m_.files.IsDirectory(path)) {
    if (EqualsNoCase(SimFileSystem::Normalized(path), SimFileSystem::Normalized(m_.modulePath))) {
      return err::kAccessDenied;
    }
    if (m_.InUse(path)) return err::kSharingViolation;
  }
  return m_.files.Delete(path);
}

Result<std::uint32_t> SimMachine::Files::Attributes(std::wstring_view pathIn) {
  const std::wstring path = m_.ToolPath(pathIn);
  if (auto e = m_.faults.Take("GetFileAttributes", pathIn)) return Result<std::uint32_t>::Fail(*e);
  if (TooLong(pathIn, path)) return Result<std::uint32_t>::Fail(err::kFilenameExcedRange);
  if (NamesAFileAsAFolder(m_.files, path)) return Result<std::uint32_t>::Fail(err::kInvalidName);
  return m_.files.Attributes(path);
}

WinError SimMachine::Files::SetAttributes(std::wstring_view pathIn, std::uint32_t attributes) {
  const std::wstring path = m_.ToolPath(pathIn);
  if (auto e = m_.faults.Take("SetFileAttributes", pathIn)) return *e;
  if (NamesAFileAsAFolder(m_.files, path)) return err::kInvalidName;
  return m_.files.SetAttributes(path, attributes);
}

Result<std::vector<IFileSystem::FoundEntry>> SimMachine::Files::Find(std::wstring_view patternIn) {
  const std::wstring pattern = m_.ToolPath(patternIn);
  using R = Result<std::vector<FoundEntry>>;
  if (auto e = m_.faults.Take("FindFirstFile", patternIn)) return R::Fail(*e);
  if (TooLong(patternIn, pattern)) return R::Fail(err::kFilenameExcedRange);
  // Only the "every entry" patterns the tool uses.
  const std::wstring folder = shell::RemoveFileSpec(pattern);
  auto entries = m_.files.List(folder);
  if (!entries) return entries;
  std::vector<FoundEntry> out;
  if (folder.size() > 3) {  // a drive's root has neither
    out.push_back(FoundEntry{L".", file::kDirectory});
    out.push_back(FoundEntry{L"..", file::kDirectory});
  }
  out.insert(out.end(), std::make_move_iterator(entries->begin()), std::make_move_iterator(entries->end()));
  return R::Ok(std::move(out));
}

WinError SimMachine::Files::CreateDirectory(std::wstring_view pathIn) {
  const std::wstring path = m_.ToolPath(pathIn);
  if (auto e = m_.faults.Take("CreateDirectory", pathIn)) return *e;
  if (TooLong(pathIn, path)) return err::kFilenameExcedRange;
  return m_.files.MakeDirectory(path);
}

namespace {
class SimPrivateFolder final : public IPrivateFolder {
 public:
  SimPrivateFolder(SimMachine& m, std::wstring path) : m_(m), path_(std::move(path)) {}
  // An ended process removes nothing: its folder stays where Windows keeps it.
  ~SimPrivateFolder() override {
    if (!m_.faults.processEnded) Remove();
  }
  SimPrivateFolder(const SimPrivateFolder&) = delete;
  SimPrivateFolder& operator=(const SimPrivateFolder&) = delete;
  const std::wstring& Path() const override { return path_; }
  WinError Remove() override {
    if (removed_) return err::kSuccess;
    removed_ = true;
    if (auto e = m_.faults.Take("RemoveDirectory", path_)) return *e;
    return m_.files.RemoveEmptyDirectory(m_.ToolPath(path_));
  }

 private:
  SimMachine& m_;
  std::wstring path_;
  bool removed_ = false;
};
}  // namespace

// The name stands for Windows' random GUID; a folder that is there already
// is never taken over.
Result<std::unique_ptr<IPrivateFolder>> SimMachine::Files::CreatePrivateFolder(std::wstring_view parent) {
  using R = Result<std::unique_ptr<IPrivateFolder>>;
  const std::wstring path =
      std::wstring(parent) + L"\\" + Format(L"Tarnvale.00000000-0000-0000-0000-%012u", ++m_.privateFolders);
  if (auto e = m_.faults.Take("CreateDirectory", path)) return R::Fail(*e);
  const std::wstring reached = m_.ToolPath(path);
  if (TooLong(path, reached)) return R::Fail(err::kFilenameExcedRange);
  if (const WinError made = m_.files.MakeDirectory(reached); made != err::kSuccess) return R::Fail(made);
  return R::Ok(std::make_unique<SimPrivateFolder>(m_, path));
}

Result<bool> SimMachine::Files::ChangeableByOthers(std::wstring_view pathIn) {
  if (auto e = m_.faults.Take("GetNamedSecurityInfo", pathIn)) return Result<bool>::Fail(*e);
  return Result<bool>::Ok(m_.changeableByUsers.contains(m_.ToolPath(pathIn)));
}

Result<std::wstring> SimMachine::Files::LongPath(std::wstring_view pathIn) {
  if (auto e = m_.faults.Take("GetLongPathName", pathIn)) return Result<std::wstring>::Fail(*e);
  return m_.files.LongPath(m_.ToolPath(pathIn));
}

Result<std::wstring> SimMachine::Files::LinkTarget(std::wstring_view pathIn) {
  return m_.files.LinkTarget(m_.ToolPath(pathIn));
}

WinError SimMachine::Files::RemoveDirectory(std::wstring_view pathIn) {
  const std::wstring path = m_.ToolPath(pathIn);
  if (auto e = m_.faults.Take("RemoveDirectory", pathIn)) return *e;
  return m_.files.RemoveEmptyDirectory(path);
}

WinError SimMachine::Files::CopyFile(std::wstring_view sourceIn, std::wstring_view destinationIn) {
  const std::wstring destination = m_.ToolPath(destinationIn);
  const std::wstring source = m_.ToolPath(sourceIn);
  if (auto e = m_.faults.Take("CopyFile", sourceIn)) return *e;
  if (TooLong(sourceIn, source) || TooLong(destinationIn, destination)) return err::kFilenameExcedRange;
  if (NamesAFileAsAFolder(m_.files, source) || NamesAFileAsAFolder(m_.files, destination)) return err::kInvalidName;
  // Overwriting a file in use fails; reading one that others share for
  // reading does not.
  if (m_.files.Exists(destination) && !m_.files.IsDirectory(destination) && m_.InUse(destination)) {
    return err::kSharingViolation;
  }
  return m_.files.Copy(source, destination);
}

Result<std::uint64_t> SimMachine::Files::FileSize(std::wstring_view pathIn) {
  auto size = m_.files.FileSize(m_.ToolPath(pathIn));
  if (!size) return Result<std::uint64_t>::Fail(err::kFileNotFound);
  return Result<std::uint64_t>::Ok(*size);
}

Result<std::vector<std::uint8_t>> SimMachine::Files::ReadAll(std::wstring_view pathIn, std::uint64_t maxBytes) {
  if (auto e = m_.faults.Take("ReadFile", pathIn)) return Result<std::vector<std::uint8_t>>::Fail(*e);
  auto bytes = m_.files.ReadFile(m_.ToolPath(pathIn));
  if (!bytes) return Result<std::vector<std::uint8_t>>::Fail(err::kFileNotFound);
  if (bytes->size() > maxBytes) return Result<std::vector<std::uint8_t>>::Fail(err::kFileTooLarge);
  return Result<std::vector<std::uint8_t>>::Ok(std::move(*bytes));
}

// ---- processes ----

std::optional<SimMachine::Processes::Resolved> SimMachine::Processes::Resolve(std::wstring_view commandLine) const {
  const std::wstring root = m_.windowsFolder;
  const std::wstring moduleDir = shell::RemoveFileSpec(m_.modulePath);
  const std::wstring cwd = m_.currentDirectory.empty() ? moduleDir : m_.currentDirectory;
  // A 32-bit program on 64-bit Windows reaches SysWOW64 when it names System32.
  auto redirect = [&](const std::wstring& path) { return m_.RedirectedPath(path); };
  // Each candidate is opened as Windows opens a path: a closing dot or blank
  // of the name is dropped ("quiet.exe." starts quiet.exe).
  auto open = [&](const std::wstring& path) { return redirect(PathToOpen(path, cwd.empty() ? L"C:\\" : cwd)); };
  auto find = [&](std::wstring name) -> std::optional<std::wstring> {
    if (shell::Extension(name).empty()) name += L".exe";
    if (name.find(L'\\') != std::wstring::npos) {
      const std::wstring p = open(name);
      if (m_.files.Exists(p) && !m_.files.IsDirectory(p)) return p;
      return std::nullopt;
    }
    // A bare name: the tool's own folder first, then the current folder, System32, Windows.
    for (const std::wstring& dir : {moduleDir, cwd, root + L"\\system32", root}) {
      const std::wstring p = open(dir + L"\\" + name);
      if (m_.files.Exists(p) && !m_.files.IsDirectory(p)) return p;
    }
    return std::nullopt;
  };
  if (!commandLine.empty() && commandLine.front() == L'"') {
    const auto close = commandLine.find(L'"', 1);
    const std::wstring name(
        commandLine.substr(1, close == std::wstring_view::npos ? std::wstring_view::npos : close - 1));
    std::wstring rest = close == std::wstring_view::npos ? L"" : std::wstring(commandLine.substr(close + 1));
    if (!rest.empty() && rest.front() == L' ') rest.erase(0, 1);
    if (auto image = find(name)) return Resolved{*image, rest};
    return std::nullopt;
  }
  // Unquoted: each blank in turn may end the program's path, shortest first,
  // which is how C:\Program Files\x.exe can start C:\Program.exe.
  for (std::size_t end = 0; end <= commandLine.size(); ++end) {
    if (end != commandLine.size() && commandLine[end] != L' ') continue;
    if (end == 0) continue;
    if (auto image = find(std::wstring(commandLine.substr(0, end)))) {
      return Resolved{*image, end < commandLine.size() ? std::wstring(commandLine.substr(end + 1)) : L""};
    }
  }
  return std::nullopt;
}

namespace {
std::wstring Unquote(std::wstring_view s) {
  while (!s.empty() && s.front() == L' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == L' ') s.remove_suffix(1);
  if (s.size() >= 2 && s.front() == L'"' && s.back() == L'"') s = s.substr(1, s.size() - 2);
  return std::wstring(s);
}
}  // namespace

void SimMachine::Processes::RunSystemProgram(const Resolved& program) {
  const std::wstring name = shell::StripPath(program.image);
  if (EqualsNoCase(name, L"rundll32.exe")) {
    constexpr std::wstring_view kEntry = L"setupapi,InstallHinfSection DefaultInstall 128 ";
    if (!StartsWithNoCase(program.arguments, kEntry)) return;
    const std::wstring inf = Unquote(std::wstring_view(program.arguments).substr(kEntry.size()));
    const auto bytes = m_.files.ReadFile(inf);
    if (!bytes) return;
    if (m_.keepInstalledInfs) m_.infsInstalled.push_back(*bytes);
    const bool installer64 = !StartsWithNoCase(program.image, m_.windowsFolder + L"\\SysWOW64\\");
    InfDirectories dirs;
    dirs.windows = m_.windowsFolder;
    dirs.infFile = inf;
    if (auto profile = m_.environment.find(L"USERPROFILE"); profile != m_.environment.end()) {
      dirs.userProfile = profile->second;
    }
    ApplyInf(m_.registry, DecodeTextFile(*bytes, m_.ansiCodePage), installer64, dirs);
  } else if (EqualsNoCase(name, L"regedit.exe")) {
    std::wstring_view args = program.arguments;
    if (!StartsWithNoCase(args, L"/s ")) return;
    const std::wstring file = Unquote(args.substr(3));
    const auto bytes = m_.files.ReadFile(file);
    if (!bytes) return;
    m_.regFilesImported.push_back(file);
    // The editor writes the registry view of its own bitness: the one in
    // SysWOW64 is the 32-bit editor.
    const bool editor64 = !StartsWithNoCase(program.image, m_.windowsFolder + L"\\SysWOW64\\");
    ImportRegFile(m_.registry, *bytes, m_.ansiCodePage, editor64);
  }
}

Result<std::unique_ptr<IProcess>> SimMachine::Processes::Create(std::wstring_view commandLine,
                                                                std::uint32_t creationFlags,
                                                                std::wstring_view currentDirectory) {
  using R = Result<std::unique_ptr<IProcess>>;
  if (auto e = m_.faults.Take("CreateProcess", commandLine)) return R::Fail(*e);
  const auto program = Resolve(commandLine);
  if (!program) return R::Fail(err::kFileNotFound);
  // Only an executable image starts: a text file, even one named .exe, is
  // refused. (A file whose content a machine description does not give reads
  // as zeros and is taken for a program.)
  if (const auto bytes = m_.files.ReadFile(program->image);
      bytes && !bytes->empty() && (*bytes)[0] != 0 &&
      !(bytes->size() >= 2 && (*bytes)[0] == 'M' && (*bytes)[1] == 'Z')) {
    return R::Fail(err::kBadExeFormat);
  }
  if (!currentDirectory.empty() && !m_.files.IsDirectory(currentDirectory)) return R::Fail(err::kDirectoryInvalid);
  m_.started.push_back(
      StartedProgram{std::wstring(commandLine), program->image,
                     currentDirectory.empty() ? shell::RemoveFileSpec(m_.modulePath) : std::wstring(currentDirectory),
                     creationFlags, false});
  std::optional<std::uint32_t> runningId;
  if (m_.keepRunning.contains(shell::StripPath(program->image))) {
    runningId = m_.AddRunningProcess(shell::StripPath(program->image));
  } else if (auto it = m_.programs.find(program->image); it != m_.programs.end()) {
    const auto run = it->second;  // the program may start others
    const std::size_t index = m_.started.size() - 1;
    const std::uint32_t exit = run(commandLine);
    m_.started[index].exitCode = exit;
  } else {
    RunSystemProgram(*program);
  }
  return R::Ok(std::make_unique<SimProcessHandle>(m_, m_.started.size() - 1, runningId));
}

Result<std::unique_ptr<IPsapi>> SimMachine::Processes::LoadPsapi() {
  if (auto e = m_.faults.Take("LoadPsapi")) return Result<std::unique_ptr<IPsapi>>::Fail(*e);
  return Result<std::unique_ptr<IPsapi>>::Ok(std::make_unique<SimPsapi>(m_));
}

Result<std::unique_ptr<IToolhelp>> SimMachine::Processes::LoadToolhelp() {
  if (auto e = m_.faults.Take("LoadToolhelp")) return Result<std::unique_ptr<IToolhelp>>::Fail(*e);
  return Result<std::unique_ptr<IToolhelp>>::Ok(std::make_unique<SimToolhelp>(m_));
}

Result<std::unique_ptr<ITerminableProcess>> SimMachine::Processes::OpenForTermination(std::uint32_t processId) {
  using R = Result<std::unique_ptr<ITerminableProcess>>;
  for (const auto& p : m_.processes) {
    if (p.id != processId || !p.running) continue;
    if (auto e = m_.faults.Take("OpenProcess", p.image)) return R::Fail(*e);
    return R::Ok(std::make_unique<SimTerminable>(m_, processId));
  }
  return R::Fail(err::kInvalidParameter);
}

// ---- the machine's programs ----

std::uint32_t SimMachine::AddRunningProcess(std::wstring_view image, bool queryDenied) {
  const std::uint32_t id = nextProcessId_;
  nextProcessId_ += 4;
  processes.push_back(SimProcess{id, std::wstring(image), queryDenied, true});
  return id;
}

void SimMachine::InstallSystemPrograms() {
  const std::wstring& root = windowsFolder;
  files.WriteFile(root + L"\\system32\\rundll32.exe", std::string_view("MZ"));
  files.WriteFile(root + L"\\regedit.exe", std::string_view("MZ"));
  if (wow64) {
    files.WriteFile(root + L"\\SysWOW64\\rundll32.exe", std::string_view("MZ"));
    files.WriteFile(root + L"\\SysWOW64\\regedit.exe", std::string_view("MZ"));
  }
}

}  // namespace tv::sim
