#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_parts.h"

namespace tv::win32 {

struct Win32Platform::Parts {
  explicit Parts(HINSTANCE instance)
      : profile(MakeProfile()),
        registry(MakeRegistry()),
        product(MakeProductInfo()),
        system(MakeSystem(instance)),
        debug(MakeDebugOutput()),
        files(MakeFileSystem()),
        processes(MakeProcesses()),
        devices(MakeDevices()) {}
  std::unique_ptr<IProfile> profile;
  std::unique_ptr<IRegistry> registry;
  std::unique_ptr<IProductInfo> product;
  std::unique_ptr<ISystem> system;
  std::unique_ptr<IDebugOutput> debug;
  std::unique_ptr<IFileSystem> files;
  std::unique_ptr<IProcesses> processes;
  std::unique_ptr<IDevices> devices;
};

Win32Platform::Win32Platform(HINSTANCE instance) : parts_(std::make_unique<Parts>(instance)) {}
Win32Platform::~Win32Platform() = default;

Platform Win32Platform::get() {
  return Platform{*parts_->profile, *parts_->registry, *parts_->product,   *parts_->system,
                  *parts_->debug,   *parts_->files,    *parts_->processes, *parts_->devices};
}

}  // namespace tv::win32
