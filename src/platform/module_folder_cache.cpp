#include "platform/module_folder_cache.h"

#include "platform/shell_path.h"
#include "platform/text.h"

namespace tv {

Result<std::wstring> CModuleFolderCache::ShortPath(std::wstring_view path) {
  if (!moduleFolder_) moduleFolder_ = shell::RemoveFileSpec(inner_.ModulePath());
  // Any other folder (an install folder made by a command) may be made again
  // under another short name: asked each time.
  if (!EqualsNoCase(path, *moduleFolder_)) return inner_.ShortPath(path);
  if (!shortModuleFolder_) {
    auto answer = inner_.ShortPath(path);
    if (!answer) return answer;
    shortModuleFolder_ = *answer;
  }
  return Result<std::wstring>::Ok(*shortModuleFolder_);
}

}  // namespace tv
