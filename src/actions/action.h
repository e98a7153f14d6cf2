// The action object: what the commands do to processes, the registry, files
// and drivers. Each family of actions lives in a file of its own beside this one.
#pragma once

#include "app/debug_trace.h"
#include "app/run_context.h"
#include "devices/dev_lookup.h"

namespace tv {

class CAction {
 public:
  explicit CAction(const Platform& platform) : trace(platform), context(platform), lookup(platform) {}

  CDebugTrace trace;
  CRunContext context;
  CDevLookup lookup;
};

}  // namespace tv
