// The entry.
#pragma once

#include "runtime/trace.h"
