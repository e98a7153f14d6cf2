#include "platform/sim/sim_devices.h"

#include "platform/sim/ansi.h"
#include "platform/sim/driver_select.h"
#include "platform/sim/sim_programs.h"

#include <algorithm>
#include <cwchar>

namespace tv::sim {

namespace {

constexpr DevInst kRoot = 1;

// A device information set: the devices that matched when it was made.
class SimDeviceSet final : public IDeviceSet {
 public:
  SimDeviceSet(SimMachine& m, std::vector<std::size_t> members) : m_(m), members_(std::move(members)) {
    ++m_.openDeviceSets;
  }
  ~SimDeviceSet() override { --m_.openDeviceSets; }
  SimDeviceSet(const SimDeviceSet&) = delete;
  SimDeviceSet& operator=(const SimDeviceSet&) = delete;

  bool ListDetail() override { return !m_.faults.Take("SetupDiGetDeviceInfoListDetail"); }

  WinError Enum(std::uint32_t index) override {
    if (auto e = m_.faults.Take("SetupDiEnumDeviceInfo")) return *e;
    return index < members_.size() ? err::kSuccess : err::kNoMoreItems;
  }

  Result<std::vector<std::wstring>> HardwareIds(std::uint32_t index) override {
    using R = Result<std::vector<std::wstring>>;
    auto* d = Device(index);
    if (d == nullptr) return R::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceRegistryProperty", d->instanceId)) return R::Fail(*e);
    if (!d->hardwareIds) return R::Fail(err::kInvalidData);
    return R::Ok(*d->hardwareIds);
  }

  Result<std::vector<std::wstring>> CompatibleIds(std::uint32_t index) override {
    using R = Result<std::vector<std::wstring>>;
    auto* d = Device(index);
    if (d == nullptr) return R::Fail(err::kNoSuchDevinst);
    if (d->compatibleIds.empty()) return R::Fail(err::kInvalidData);
    return R::Ok(d->compatibleIds);
  }

  Result<std::wstring> InstanceId(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceInstanceId", d->instanceId)) return Result<std::wstring>::Fail(*e);
    return Result<std::wstring>::Ok(d->instanceId);
  }

  Result<std::wstring> DriverKey(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceRegistryProperty(DRIVER)", d->instanceId)) {
      return Result<std::wstring>::Fail(*e);
    }
    if (d->driverKey.empty()) return Result<std::wstring>::Fail(err::kInvalidData);
    return Result<std::wstring>::Ok(d->driverKey);
  }

  Result<std::wstring> ClassGuid(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    return Result<std::wstring>::Ok(d->classGuid);
  }
  Result<std::wstring> Enumerator(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::wstring>::Fail(err::kNoSuchDevinst);
    return Result<std::wstring>::Ok(d->enumerator);
  }

  WinError SetPropertyChange(std::uint32_t index, std::uint32_t state, std::uint32_t scope, std::uint32_t) override {
    auto* d = Device(index);
    if (d == nullptr) return err::kNoSuchDevinst;
    if (auto e = m_.faults.Take("SetupDiSetClassInstallParams", d->instanceId)) return *e;
    params_[index] = {state, scope};
    return err::kSuccess;
  }

  WinError CallClassInstaller(std::uint32_t function, std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return err::kNoSuchDevinst;
    if (auto e = m_.faults.Take(function == dev::kDifRemove ? "DIF_REMOVE" : "DIF_PROPERTYCHANGE", d->instanceId)) {
      return *e;
    }
    // 64-bit Windows refuses the class installer to a 32-bit process.
    if (m_.Wow64Process()) return err::kInWow64;
    if (function == dev::kDifRemove) {
      d->removed = true;
      // Removing a device deletes its hardware key under Enum (with Device
      // Parameters) and its software key, the driver key under the class.
      const std::wstring enumKey = L"SYSTEM\\CurrentControlSet\\Enum";
      m_.registry.DeleteKeyTree(RegRoot::kLocalMachine, enumKey + L"\\" + d->instanceId);
      // And the keys above it that it leaves empty: the device ID's key goes
      // with its last instance, the enumerator's with its last device.
      // (Windows' own bookkeeping: these are no calls of the tool's.)
      std::wstring parent = d->instanceId;
      for (auto cut = parent.rfind(L'\\'); cut != std::wstring::npos; cut = parent.rfind(L'\\')) {
        parent.resize(cut);
        if (!m_.registry.KeyIsEmptyOfSubkeys(RegRoot::kLocalMachine, enumKey + L"\\" + parent)) break;
        m_.registry.DeleteKeyTree(RegRoot::kLocalMachine, enumKey + L"\\" + parent);
      }
      if (!d->driverKey.empty()) {
        m_.registry.DeleteKeyTree(RegRoot::kLocalMachine,
                                  L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + d->driverKey);
      }
      d->changedByCompanion = m_.process64;
      return err::kSuccess;
    }
    auto it = params_.find(index);
    if (function != dev::kDifPropertyChange || it == params_.end()) return err::kInvalidParameter;
    const bool disable = it->second.first == dev::kDicsDisable;
    if (disable && !d->disableable) return err::kNotDisableable;
    if (d->disabled != disable) {
      d->disabled = disable;
      d->changed = true;
      d->changedByCompanion = m_.process64;
    }
    return err::kSuccess;
  }

  Result<std::uint32_t> InstallFlags(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<std::uint32_t>::Fail(err::kNoSuchDevinst);
    if (auto e = m_.faults.Take("SetupDiGetDeviceInstallParams", d->instanceId)) return Result<std::uint32_t>::Fail(*e);
    return Result<std::uint32_t>::Ok(d->changed && d->needsRebootAfterChange ? dev::kDiNeedReboot : 0);
  }

  // A started device has no problem; a disabled one has the problem "disabled".
  Result<DevNodeStatus> Status(std::uint32_t index) override {
    auto* d = Device(index);
    if (d == nullptr) return Result<DevNodeStatus>::Fail(err::kCrNoSuchDevnode);
    if (auto e = m_.faults.Take("CM_Get_DevNode_Status", d->instanceId)) return Result<DevNodeStatus>::Fail(*e);
    DevNodeStatus s;
    s.status = d->disableable ? dev::kDnDisableable : 0;
    if (d->disabled) {
      s.status |= dev::kDnHasProblem;
      s.problem = dev::kProblemDisabled;
    }
    return Result<DevNodeStatus>::Ok(s);
  }

 private:
  SimMachine::SimDevice* Device(std::uint32_t index) {
    if (index >= members_.size()) return nullptr;
    auto& d = m_.devices[members_[index]];
    return d.removed ? nullptr : &d;
  }

  SimMachine& m_;
  std::vector<std::size_t> members_;
  std::map<std::uint32_t, std::pair<std::uint32_t, std::uint32_t>> params_;
};

}  // namespace

Result<std::unique_ptr<IDeviceSet>> SimMachine::Devices::ClassDevs(std::wstring_view classGuid,
                                                                   std::wstring_view enumerator, std::uint32_t flags) {
  using R = Result<std::unique_ptr<IDeviceSet>>;
  if (m_.DllMissing(L"setupapi.dll")) return R::Fail(err::kModNotFound);
  if (auto e = m_.faults.Take("SetupDiGetClassDevs")) return R::Fail(*e);
  // Without a class the set needs DIGCF_ALLCLASSES.
  if (classGuid.empty() && (flags & dev::kDigcfAllClasses) == 0) return R::Fail(err::kInvalidParameter);
  std::vector<std::size_t> members;
  for (std::size_t i = 0; i < m_.devices.size(); ++i) {
    const auto& d = m_.devices[i];
    if (d.removed) continue;
    if ((flags & dev::kDigcfPresent) && !d.present) continue;
    if (!classGuid.empty() && !(flags & dev::kDigcfAllClasses) && !EqualsNoCase(d.classGuid, classGuid)) continue;
    if (!enumerator.empty() && !EqualsNoCase(d.enumerator, enumerator)) continue;
    members.push_back(i);
  }
  return R::Ok(std::make_unique<SimDeviceSet>(m_, std::move(members)));
}

Result<std::unique_ptr<IDeviceSet>> SimMachine::Devices::AllPresentDevices() {
  if (auto e = m_.faults.Take("SetupDiGetClassDevsEx")) return Result<std::unique_ptr<IDeviceSet>>::Fail(*e);
  return ClassDevs(L"", L"", dev::kDigcfPresent | dev::kDigcfAllClasses);
}

Result<DevInst> SimMachine::Devices::LocateRoot() {
  if (m_.DllMissing(L"setupapi.dll")) return Result<DevInst>::Fail(err::kCrCallNotImplemented);
  if (auto e = m_.faults.Take("CM_Locate_DevNode")) return Result<DevInst>::Fail(*e);
  return Result<DevInst>::Ok(kRoot);
}

std::uint32_t SimMachine::Devices::Reenumerate(DevInst node) {
  if (m_.DllMissing(L"setupapi.dll")) return err::kCrCallNotImplemented;
  if (auto e = m_.faults.Take("CM_Reenumerate_DevNode")) return *e;
  if (node != kRoot) return err::kCrInvalidDevnode;
  ++m_.reenumerations;
  // Each present device gets the best driver of the staged INFs, unless the
  // driver it has ranks as well or better.
  const DriverTarget target = Target();
  std::vector<std::optional<InfText>> staged;
  for (const auto& text : m_.stagedInfTexts) staged.push_back(ParseInf(text));
  for (auto& d : m_.devices) {
    if (d.removed || !d.present || !d.hardwareIds) continue;
    if (!d.installedInf.empty() && !d.driver) continue;  // a driver the description does not rank
    std::optional<std::size_t> from;
    std::optional<DriverNode> best;
    for (std::size_t i = 0; i < staged.size(); ++i) {
      if (!staged[i]) continue;
      const InfDirectories dirs = Dirs(m_.windowsFolder + L"\\inf\\" + m_.stagedInfs[i]);
      const bool signedInf = i < m_.stagedInfSigned.size() && m_.stagedInfSigned[i];
      auto search = FindDriver(*staged[i], dirs, target, *d.hardwareIds, d.compatibleIds, signedInf);
      if (search.best && (!best || RanksBetter(*search.best, *best))) {
        best = std::move(search.best);
        from = i;
      }
    }
    if (!best) continue;
    const std::wstring name = m_.stagedInfs[*from];
    if (d.driver) {
      const DriverNode installed = InstalledNode(d);
      if (!RanksBetter(*best, installed)) {
        m_.driverDecisions.push_back({d.instanceId, name,
                                      L"kept its driver " + NodeText(installed) +
                                          L": it ranks as well as or better "
                                          L"than " +
                                          NodeText(*best) + L" of the staged " + name});
        continue;
      }
    }
    const InfDirectories dirs = Dirs(m_.windowsFolder + L"\\inf\\" + name);
    Install(d, *staged[*from], dirs, *best, name);
    m_.driverDecisions.push_back({d.instanceId, name, L"chose [" + best->modelsSection + L"] " + NodeText(*best)});
  }
  return dev::kCrSuccess;
}

WinError SimMachine::Devices::UpdateDriver(std::wstring_view hardwareId, std::wstring_view infPath,
                                           std::uint32_t flags) {
  if (m_.DllMissing(L"newdev.dll")) return err::kModNotFound;
  if (auto e = m_.faults.Take("UpdateDriverForPlugAndPlayDevices", hardwareId)) return *e;
  // 64-bit Windows refuses a 32-bit process the driver update.
  if (m_.Wow64Process()) return err::kInWow64;
  if (!m_.files.Exists(infPath) || m_.files.IsDirectory(infPath)) return err::kFileNotFound;
  const std::wstring inf(infPath);
  auto decide = [&](std::wstring device, std::wstring text, bool warning = false) {
    m_.driverDecisions.push_back({std::move(device), inf, std::move(text), warning});
  };
  // The update is for present devices that carry that ID among their
  // hardware or compatible IDs.
  std::vector<SimDevice*> devices;
  for (auto& d : m_.devices) {
    if (d.removed || !d.present || !d.hardwareIds) continue;
    const auto carries = [&](const std::vector<std::wstring>& ids) {
      return std::any_of(ids.begin(), ids.end(), [&](const std::wstring& id) { return EqualsNoCase(id, hardwareId); });
    };
    if (carries(*d.hardwareIds) || carries(d.compatibleIds)) devices.push_back(&d);
  }
  if (devices.empty()) {
    decide(std::wstring(hardwareId), L"no present device carries this ID");
    return err::kNoSuchDevinst;
  }
  const auto bytes = m_.files.ReadFile(infPath);
  if (!bytes) return err::kFileNotFound;
  const InfParse parsed = OpenInf(*bytes, m_.ansiCodePage);
  if (!parsed.inf) {
    // An INF that SetupAPI cannot open gives no driver to any device.
    for (auto* d : devices) decide(d->instanceId, L"no driver: " + InfErrorText(parsed));
    return err::kNoSuchDevinst;
  }
  const InfText& text = *parsed.inf;
  const InfDirectories dirs = Dirs(inf);
  const DriverTarget target = Target();
  const std::wstring folder = inf.substr(0, inf.rfind(L'\\') + 1);
  const std::wstring catalog = CatalogFileName(text, dirs, target);
  const bool signedInf =
      !catalog.empty() && m_.files.Exists(folder + catalog) && !m_.files.IsDirectory(folder + catalog);
  bool updated = false;
  for (auto* d : devices) {
    auto search = FindDriver(text, dirs, target, *d->hardwareIds, d->compatibleIds, signedInf);
    if (!search.best) {
      decide(d->instanceId, L"no driver: " + search.why);
      continue;
    }
    const DriverNode& node = *search.best;
    std::vector<std::wstring> missing;
    for (const auto& file : SourceFiles(text, dirs, target, node.actualInstall)) {
      if (!m_.files.Exists(folder + file)) missing.push_back(file);
    }
    if (!missing.empty()) {
      std::wstring list;
      for (const auto& f : missing) list += (list.empty() ? L"" : L", ") + f;
      decide(d->instanceId, L"chose [" + node.modelsSection + L"] " + NodeText(node) +
                                L", but the package lacks what [" + node.actualInstall + L"] copies: " + list +
                                L"; Windows asks for the files in a dialog");
      return WaitOnDialog(L"Windows' dialog that asks for the driver files " + list + L" (\"Files Needed\")");
    }
    if (!signedInf) {
      std::wstring why = catalog.empty() ? L"[Version] names no catalog file"
                                         : L"the catalog " + catalog + L" that [Version] names is not in the package";
      if (target.amd64 && target.major >= 6) {
        why += L"; 64-bit Windows would not load an unsigned kernel driver even if someone let it in";
      }
      decide(d->instanceId, L"chose [" + node.modelsSection + L"] " + NodeText(node) + L", but it is unsigned: " + why +
                                L" (the simulation checks that the catalog is there, not its signature)");
      return WaitOnDialog(L"Windows' dialog that warns of an unsigned driver");
    }
    bool replacesBetter = false;
    if (d->driver) {
      const DriverNode installed = InstalledNode(*d);
      if (!RanksBetter(node, installed)) {
        // Without INSTALLFLAG_FORCE Windows keeps the driver in place.
        if ((flags & 1) == 0) {
          decide(d->instanceId,
                 L"kept its driver " + NodeText(installed) + L": it ranks as well as or better than " + NodeText(node));
          continue;
        }
        replacesBetter = true;
      }
      if (replacesBetter) {
        decide(d->instanceId,
               L"chose [" + node.modelsSection + L"] " + NodeText(node) + L" and, forced, put it over its driver " +
                   NodeText(installed) + L", which ranks as well or better",
               true);
      }
    }
    if (!replacesBetter) decide(d->instanceId, L"chose [" + node.modelsSection + L"] " + NodeText(node));
    // Windows puts the INF in the driver store first and installs from there.
    const std::wstring name = StoreInf(inf, *bytes, true);
    Install(*d, text, dirs, node, name);
    d->installedInf = inf;
    d->changedByCompanion = m_.process64;
    updated = true;
  }
  if (!updated) {
    // Found devices, but none took a driver of this INF: without the force
    // flag because each kept a better one, otherwise because none fits.
    return (flags & 1) == 0 && std::any_of(devices.begin(), devices.end(), [](SimDevice* d) { return d->driver; })
               ? err::kNoMoreItems
               : err::kNoSuchDevinst;
  }
  m_.driverUpdates.push_back(DriverUpdate{std::wstring(hardwareId), inf, m_.process64});
  return err::kSuccess;
}

DriverTarget SimMachine::Devices::Target() const {
  DriverTarget t;
  t.major = m_.os.major;
  t.minor = m_.os.minor;
  t.amd64 = m_.wow64;
  return t;
}

InfDirectories SimMachine::Devices::Dirs(const std::wstring& infFile) const {
  InfDirectories dirs;
  dirs.windows = m_.windowsFolder;
  dirs.infFile = infFile;
  dirs.language = m_.uiLanguage;
  return dirs;
}

WinError SimMachine::Devices::WaitOnDialog(const std::wstring& dialog) {
  // The real update does not return until someone answers: the machine
  // counts the wait, or ends the run there. Answered, it is cancelled.
  ++m_.hungWaits;
  if (m_.endRunAtHang) throw ProgramNeverEnds{L"", dialog};
  return err::kCancelled;
}

DriverNode SimMachine::Devices::InstalledNode(const SimDevice& d) {
  DriverNode node =
      InstalledDriverNode(d.driver->matchingId, {d.driver->date, d.driver->version}, d.driver->signedDriver,
                          d.hardwareIds.value_or(std::vector<std::wstring>{}), d.compatibleIds);
  node.description = d.driver->description;
  node.installSection = d.driver->inf;
  return node;
}

std::wstring SimMachine::Devices::NodeText(const DriverNode& node) {
  wchar_t rank[16];
  std::swprintf(rank, 16, L"0x%04X", node.rank);
  std::wstring text = L"\"" + node.description + L"\" for " + node.matchingId + L" (rank " + rank + L", " +
                      DateText(node.driverVer.date) + L", " + VersionText(node.driverVer.version) +
                      (node.signedDriver ? L"" : L", unsigned") + L")";
  return text;
}

std::wstring SimMachine::Devices::InfErrorText(const InfParse& parsed) {
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%08X", parsed.error);
  std::wstring what;
  switch (parsed.error) {
    case inf_error::kWrongInfStyle: what = L"[Version] has no Signature Windows knows"; break;
    case inf_error::kBadSectionNameLine: what = L"a section name without its closing bracket"; break;
    case inf_error::kSectionNameTooLong: what = L"a section name longer than 255 characters"; break;
    case inf_error::kExpectedSectionName: what = L"a line before the first section"; break;
    default: what = L"unreadable"; break;
  }
  return L"SetupAPI cannot open the INF: " + what + L" (" + code + L")" +
         (parsed.errorLine != 0 ? L" at line " + std::to_wstring(parsed.errorLine) : L"");
}

void SimMachine::Devices::Install(SimDevice& d, const InfText& inf, InfDirectories dirs, const DriverNode& node,
                                  const std::wstring& infName) {
  const std::wstring classes = L"SYSTEM\\CurrentControlSet\\Control\\Class\\";
  auto& r = m_.registry;
  if (d.driverKey.empty()) {
    // The next number under the class that no device has.
    for (unsigned n = 0;; ++n) {
      wchar_t number[8];
      std::swprintf(number, 8, L"%04u", n);
      const std::wstring key = d.classGuid + L"\\" + number;
      const bool taken = std::any_of(m_.devices.begin(), m_.devices.end(),
                                     [&](const SimDevice& other) { return EqualsNoCase(other.driverKey, key); });
      if (!taken && !r.KeyExists(RegRoot::kLocalMachine, classes + key)) {
        d.driverKey = key;
        break;
      }
    }
  }
  const std::wstring driverKey = classes + d.driverKey;
  const auto sz = [](const std::wstring& text) {
    const std::string bytes = EncodeUtf16Le(text + L'\0');
    return RegValue{reg::kTypeSz, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
  };
  const auto version = FindSection(inf, L"Version");
  const auto versionField = [&](std::wstring_view key) {
    const InfLine* line = version != nullptr ? FindLine(*version, key) : nullptr;
    return line != nullptr ? Field(*line, 1, inf, dirs).value_or(L"") : std::wstring();
  };
  r.CreateKey(RegRoot::kLocalMachine, driverKey);
  // What Windows keeps of the driver in its software key.
  std::wstring section = node.actualInstall;
  std::wstring extension;
  if (section.size() > node.installSection.size() && StartsWithNoCase(section, node.installSection)) {
    extension = section.substr(node.installSection.size());
    section.resize(node.installSection.size());
  }
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"InfPath", sz(infName));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"InfSection", sz(section));
  if (!extension.empty()) r.SetValue(RegRoot::kLocalMachine, driverKey, L"InfSectionExt", sz(extension));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"DriverDesc", sz(node.description));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"ProviderName", sz(versionField(L"Provider")));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"DriverDate", sz(DriverDateValue(node.driverVer.date)));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"DriverVersion", sz(VersionText(node.driverVer.version)));
  r.SetValue(RegRoot::kLocalMachine, driverKey, L"MatchingDeviceId", sz(ToLowerAscii(node.matchingId)));
  if (const auto* install = FindSection(inf, node.actualInstall)) {
    dirs.relativeKey = driverKey;
    ApplyInstallSectionRegistry(r, inf, *install, dirs);
  }
  // And of the device in its hardware key.
  const std::wstring enumKey = L"SYSTEM\\CurrentControlSet\\Enum\\" + d.instanceId;
  r.SetValue(RegRoot::kLocalMachine, enumKey, L"Class", sz(versionField(L"Class")));
  r.SetValue(RegRoot::kLocalMachine, enumKey, L"ConfigFlags", RegValue{reg::kTypeDword, {0, 0, 0, 0}});
  r.SetValue(RegRoot::kLocalMachine, enumKey, L"DeviceDesc", sz(node.description));
  r.SetValue(RegRoot::kLocalMachine, enumKey, L"Driver", sz(d.driverKey));
  r.CreateKey(RegRoot::kLocalMachine, enumKey + L"\\Device Parameters");
  d.installedInf = infName;
  d.driver = SimDevice::Driver{infName,         node.driverVer.date, node.driverVer.version,
                               node.matchingId, node.signedDriver,   node.description};
}

std::uint32_t SimMachine::Devices::WaitNoPendingInstallEvents() {
  ++m_.installWaits;
  if (m_.DllMissing(L"setupapi.dll")) return 0xFFFFFFFFU;  // WAIT_FAILED
  if (auto e = m_.faults.Take("CMP_WaitNoPendingInstallEvents")) return *e;
  return 0;
}

WinError SimMachine::Devices::CopyOemInf(std::wstring_view infPath, std::wstring_view) {
  if (m_.DllMissing(L"setupapi.dll")) return err::kModNotFound;
  if (auto e = m_.faults.Take("SetupCopyOEMInf", infPath)) return *e;
  const auto bytes = m_.files.ReadFile(infPath);
  if (!bytes) return err::kFileNotFound;
  // The store takes only an INF that SetupAPI can open: it reads the catalog's name from it.
  const InfParse parsed = OpenInf(*bytes, m_.ansiCodePage);
  if (!parsed.inf) return parsed.error;
  StoreInf(std::wstring(infPath), *bytes, false);
  return err::kSuccess;
}

std::wstring SimMachine::Devices::StoreInf(const std::wstring& infPath, const std::vector<std::uint8_t>& bytes,
                                           bool byUpdate) {
  // An INF whose binary image is already in the store is not copied again:
  // the store keeps its oemNN.inf.
  for (const auto& staged : m_.stagedInfs) {
    if (m_.files.ReadFile(m_.windowsFolder + L"\\inf\\" + staged) == bytes) return staged;
  }
  const std::wstring name = L"oem" + std::to_wstring(m_.stagedInfs.size()) + L".inf";
  m_.files.WriteFile(m_.windowsFolder + L"\\inf\\" + name, bytes);
  m_.stagedInfs.push_back(name);
  m_.stagedInfSources.push_back(infPath);
  m_.stagedInfTexts.push_back(DecodeTextFile(bytes, m_.ansiCodePage));
  m_.stagedByUpdate.push_back(byUpdate);
  // The driver store takes the catalog with the INF: the staged driver is
  // signed when the catalog was beside it.
  bool signedInf = false;
  if (const auto parsed = ParseInf(m_.stagedInfTexts.back())) {
    const std::wstring catalog = CatalogFileName(*parsed, Dirs(infPath), Target());
    signedInf = !catalog.empty() && m_.files.Exists(infPath.substr(0, infPath.rfind(L'\\') + 1) + catalog);
  }
  m_.stagedInfSigned.push_back(signedInf);
  return name;
}

std::size_t SimMachine::AddDevice(std::wstring_view classGuid, std::wstring_view enumerator,
                                  std::vector<std::wstring> hardwareIds, bool present) {
  SimDevice d;
  d.classGuid = std::wstring(classGuid);
  d.enumerator = std::wstring(enumerator);
  d.instanceId =
      std::wstring(enumerator) + L"\\DEV_" + std::to_wstring(devices.size()) + L"\\" + std::to_wstring(devices.size());
  d.driverKey =
      std::wstring(classGuid) + L"\\" + (devices.size() < 10 ? L"000" : L"00") + std::to_wstring(devices.size());
  d.hardwareIds = std::move(hardwareIds);
  d.present = present;
  devices.push_back(std::move(d));
  return devices.size() - 1;
}

}  // namespace tv::sim
